// Writing a tree to a file.
#include <libxml/xmlsave.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string_view>

#include "common/atomic_file.h"
#include "xml_node.h"
#include "xml_tree.h"

using kyto::xmlnode::isDocument;

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

struct BufferDeleter {
  void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
using Buffer = std::unique_ptr<xmlBuffer, BufferDeleter>;

// Serializes a document top (with its declaration) or an element subtree into buffer.
bool serialize(void* node, int format, xmlBuffer* buffer) {
  xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, "UTF-8", format != 0 ? XML_SAVE_FORMAT : 0);
  if (save == nullptr) return false;
  long rc = isDocument(node) ? xmlSaveDoc(save, static_cast<xmlDocPtr>(node))
                             : xmlSaveTree(save, static_cast<xmlNodePtr>(node));
  return xmlSaveClose(save) >= 0 && rc >= 0;
}

}  // namespace

int XMLNode::writeToFile(const char* path, const char* /*encoding*/, int format) const {
  Tree* tree = liveTree();
  if (tree == nullptr || path == nullptr) return EINVAL;
  // The file is always UTF-8. Recording that in the document keeps non-ASCII text as written
  // rather than as character references when only an element subtree is saved.
  if (tree->doc->encoding == nullptr)
    tree->doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
  Buffer buffer(xmlBufferCreate());
  if (buffer == nullptr || !serialize(node_, format, buffer.get())) return ENOMEM;
  std::string_view body(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                        static_cast<size_t>(xmlBufferLength(buffer.get())));
  try {
    if (isDocument(node_)) return kyto::replaceFileAtomically(path, body);
    std::string content;
    content.reserve(kDeclaration.size() + body.size() + 1);
    content.append(kDeclaration).append(body).append("\n");
    return kyto::replaceFileAtomically(path, content);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}
