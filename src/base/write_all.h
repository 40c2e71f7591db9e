// Writing a whole buffer to a file descriptor, or a whole file, with checked writes: shared by the hit file,
// the image file and the lead loci file.
#pragma once

#include <cstddef>
#include <string>

namespace vennrick {

// Writes all size bytes, retrying short and interrupted writes. False on the first failed write (errno
// tells why; a write of 0 bytes counts as a failure).
bool writeAll(int fd, const char* bytes, size_t size);

// A file written whole, piece by piece. A file that could not be completed is emptied and, unless the name
// is a link to it, removed, so that no damaged file is left behind.
struct WholeFile {
    std::string path;
    int fd = -1;    // -1 when it could not be created
    int error = 0;  // errno of the first failure; 0 while all is well
};

// Creates (or empties) the file at path.
WholeFile createWholeFile(const std::string& path);

// Appends bytes; after a failure it does nothing.
void writePiece(WholeFile& file, const char* bytes, size_t size);

// Closes the file; false, with errno telling why, when it could not be completed (it is then removed).
bool finishWholeFile(WholeFile& file);

// The whole file at path holding the bytes, as the three calls above make it.
bool writeWholeFile(const std::string& path, const char* bytes, size_t size);

}  // namespace vennrick
