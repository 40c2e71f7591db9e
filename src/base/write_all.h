// Writing a whole buffer to a file descriptor, and whole files: every output of a run is written aside, to a
// temporary file in the destination's folder, and renamed over its name only when complete. A full disk, a
// write error, a kill or a crash never leaves a partial file under the name, and the file that was there
// before stays as it was; two runs writing the same name leave one whole file or the other.
#pragma once

#include <cstddef>
#include <string>

namespace vennrick {

// Writes all size bytes, retrying short and interrupted writes. False on the first failed write (errno
// tells why; a write of 0 bytes counts as a failure).
bool writeAll(int fd, const char* bytes, size_t size);

// The start of the name of every temporary file: a run killed before it could clean up leaves
// ".vennrick-partial-PID-N" files, recognisable by name, in the folders of its outputs.
constexpr const char* kPartialPrefix = ".vennrick-partial-";

// A file written whole, piece by piece.
//
// The name is refused exactly when an ordinary open for writing would refuse it (a directory, a read-only
// file for a user without the right, a missing folder), with that open's reason. A name that is a symbolic
// link stays a link: the file it points to is the one replaced. A name that is not a regular file (a device
// such as /dev/null or /dev/full, a pipe) is written in place, as is a writable file in a folder where no
// temporary file can be made.
struct WholeFile {
    std::string path;       // the name as given, for messages
    std::string target;     // the file replaced: path, or the file its links lead to
    std::string temporary;  // the file written aside; empty when written in place
    int fd = -1;            // -1 when it could not be created
    int error = 0;          // errno of the first failure; 0 while all is well
};

// Creates the file's temporary (or opens the name itself, see above).
WholeFile createWholeFile(const std::string& path);

// Appends bytes; after a failure it does nothing.
void writePiece(WholeFile& file, const char* bytes, size_t size);

// Completes the file: renames the temporary over the name. False, with errno telling why, when it could not
// be completed; the temporary is then removed and the name keeps what it held (a file written in place is
// emptied and, when regular, removed, as nothing whole can be left there).
bool finishWholeFile(WholeFile& file);

// Removes the temporary without touching the name: the file is given up.
void abandonWholeFile(WholeFile& file);

// The whole file at path holding the bytes, as the calls above make it.
bool writeWholeFile(const std::string& path, const char* bytes, size_t size);

}  // namespace vennrick
