// Writing custom browse-tree files: one section of the template, keeping only chosen attributes.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <string>

#include "attributes.h"
#include "common/atomic_file.h"

namespace kyto::treeshaper {

// Rebuilds the section `type` from the template, keeping the attribute elements whose ID is among
// the first `count` ids, and saves it into the output file: a new file gets the whole template
// document (its DTD included), an existing one has only its section of that name replaced.
// Writers of one directory take turns, so concurrent adds lose nothing. True when the file was
// written; false, after its message where there is one, when nothing was.
bool generateCustomTree(const AttributeIdList& ids, const std::string& type, std::size_t count,
                        const std::string& outputName);

// Serialises doc byte for byte as xmlSaveFile does (no reformatting, the document's encoding)
// and replaces target with it atomically (see kyto::replaceTarget). On failure the target is
// untouched and false is returned.
bool saveDocumentAtomically(xmlDoc* doc, const WriteTarget& target);

}  // namespace kyto::treeshaper
