// Writing a whole buffer to a file descriptor, or as a whole file, shared by the hit file, the image file and
// the lead loci.
#pragma once

#include <cstddef>
#include <string>

namespace vennrick {

// Writes all size bytes, retrying short and interrupted writes. False on the first failed write (errno
// tells why; a write of 0 bytes counts as a failure).
bool writeAll(int fd, const char* bytes, size_t size);

// Creates (or empties) the file at path and writes the bytes with checked writes. A file that could not be
// completed is emptied and, unless the name is a link to it, removed, so that no damaged file is left behind.
// False on failure, with errno telling why.
bool writeWholeFile(const std::string& path, const char* bytes, size_t size);

}  // namespace vennrick
