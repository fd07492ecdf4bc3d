// Where a read gets its bytes, and what it says when it fails: a regular file within the size
// limit, or bytes in memory, fed to an XmlStream, with the failure told in a FileReport.
#pragma once

#include <expat.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "xml_node.h"
#include "xml_stream.h"

namespace kyto::xml {

// Makes a parser read the declarations of the document's internal subset as XML 1.0 has them,
// through its parameter entities too, and never an external entity: a reference to one in content
// stays as written.
void readOwnDeclarations(XML_Parser parser);

// As readOwnDeclarations, and refuses a document that needs declarations from outside the file
// (an external subset or external parameter entities, unless it says it is standalone): such a
// document can't be read as its author meant, since nothing outside the file is ever read.
void refuseOutsideDeclarations(XML_Parser parser);

// Feeds the regular file at path to stream. False when it could not be read whole (report then
// tells why: unreadable, or over kMostXmlFileBytes) or the parse failed (see reportFailure).
bool feedFile(const char* path, XmlStream& stream, XMLNode::FileReport& report);

// The size of the regular file at path, for sizing what is made of it; 0 when it can't be known
// or is over kMostXmlFileBytes. A file that changes meanwhile is still read as it then is.
std::size_t fileSizeHint(const char* path);

// Feeds bytes in memory, as feedFile feeds a file's; without whole, they are the start of a longer
// text, which may end anywhere.
bool feedBytes(std::string_view bytes, XmlStream& stream, XMLNode::FileReport& report,
               bool whole = true);

// What the stream's failure says of the document.
void reportFailure(const XmlStream& stream, XMLNode::FileReport& report);

// "PATH:LINE: problem" or "PATH: problem", control characters as '?'.
std::string diagnosticOf(const char* path, const XMLNode::FileReport& report);

}  // namespace kyto::xml
