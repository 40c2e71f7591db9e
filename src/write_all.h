// Writing a whole buffer to a file descriptor, shared by the hit file and the image file.
#pragma once

#include <cstddef>

namespace vennrick {

// Writes all size bytes, retrying short and interrupted writes. False on the first failed write (errno
// tells why; a write of 0 bytes counts as a failure).
bool writeAll(int fd, const char* bytes, size_t size);

}  // namespace vennrick
