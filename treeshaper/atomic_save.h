// Saving a document so that the file on disk is either the old one or the complete new one.
#pragma once

#include <libxml/tree.h>

#include "common/atomic_file.h"

namespace kyto::treeshaper {

// Serialises doc byte for byte as xmlSaveFile does (no reformatting, the document's encoding)
// and replaces target with it atomically (see kyto::replaceTarget). On failure the target is
// untouched and false is returned.
bool saveDocumentAtomically(xmlDoc* doc, const WriteTarget& target);

}  // namespace kyto::treeshaper
