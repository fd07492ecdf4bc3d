#include "atomic_save.h"

#include <libxml/xmlsave.h>

#include <string>

namespace kyto::treeshaper {

namespace {

int appendTo(void* context, const char* data, int length) {
  static_cast<std::string*>(context)->append(data, static_cast<std::size_t>(length));
  return length;
}

// The bytes xmlSaveFile would write: no reformatting, in the document's own encoding.
bool serialise(xmlDoc* doc, std::string& bytes) {
  const char* encoding = reinterpret_cast<const char*>(doc->encoding);
  xmlSaveCtxtPtr context = xmlSaveToIO(appendTo, nullptr, &bytes, encoding, XML_SAVE_AS_XML);
  if (context == nullptr) return false;
  const bool dumped = xmlSaveDoc(context, doc) >= 0;
  const bool flushed = xmlSaveClose(context) >= 0;
  return dumped && flushed;
}

}  // namespace

bool saveDocumentAtomically(xmlDoc* doc, const WriteTarget& target) {
  std::string bytes;
  return serialise(doc, bytes) && replaceTarget(target, bytes) == 0;
}

}  // namespace kyto::treeshaper
