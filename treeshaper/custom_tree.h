// Writing custom browse-tree files: one section of the template, keeping only chosen attributes.
#pragma once

#include <cstddef>
#include <string>

#include "attribute_ids.h"

namespace kyto::treeshaper {

// Rebuilds the section `type` from the template, keeping the attribute elements whose ID is among
// the first `count` ids, and saves it into the output file: a new file gets the whole template,
// an existing one has only its section of that name replaced.
void generateCustomTree(const AttributeIdList& ids, const std::string& type, std::size_t count,
                        const std::string& outputName);

}  // namespace kyto::treeshaper
