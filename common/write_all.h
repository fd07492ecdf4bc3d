// Writing a whole buffer to a descriptor: write(2) may take only part of it.
#pragma once

#include <string_view>

namespace kyto {

// Writes all of data, retrying short writes and EINTR. Returns 0, or the errno of the failure.
int writeAll(int fd, std::string_view data);

}  // namespace kyto
