// Saving a document so that the file on disk is either the old one or the complete new one.
#pragma once

#include <string>

#include <libxml/tree.h>

namespace kyto::treeshaper {

// Serialises doc byte for byte as xmlSaveFile does (no reformatting, the document's encoding)
// and replaces target with it atomically (see kyto::replaceResolvedFile): target is a path
// that kyto::resolveWriteTarget gave. On failure the target is untouched and false is returned.
bool saveDocumentAtomically(xmlDoc* doc, const std::string& target);

}  // namespace kyto::treeshaper
