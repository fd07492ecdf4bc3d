// Saving a document so that the file on disk is either the old one or the complete new one.
#pragma once

#include <string>

#include <libxml/tree.h>

namespace kyto::treeshaper {

// Serialises doc byte for byte as xmlSaveFile does (no reformatting, the document's encoding)
// into a temporary file beside the target, syncs it and renames it over the target. A symbolic
// link at the target is kept and the file it points to is replaced (or created); an existing file
// keeps its mode. On failure the temporary file is removed, the target is untouched and false is
// returned.
bool saveDocumentAtomically(xmlDoc* doc, const std::string& targetPath);

}  // namespace kyto::treeshaper
