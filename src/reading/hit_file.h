// The hit file: the open file with its write buffer, appending and closing with checked writes; and the
// guard that refuses a run whose outputs would overwrite its data file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "settings/settings.h"

namespace vennrick {

// The open hit file: hit rows are written through a large buffer.
struct HitFile {
    int fd = -1;               // open descriptor; -1 once closed
    std::string path;          // for messages
    std::vector<char> buffer;  // bytes not yet written
    bool failed = false;       // a write has failed; the error is reported on close
    int error = 0;             // errno of the first failed write
};

// Creates (or empties) the hit file for writing.
Outcome<HitFile> openHitFile(const std::string& path);

// Adds bytes to the hit file; a failed write is remembered and reported by closeHitFile.
void appendHits(HitFile& hits, const char* bytes, size_t size);

// The fatal outcome of a failed write, naming the file and the system's reason.
Fatal writeFailure(const HitFile& hits);

// Writes out what the hit file still holds and closes it; a failed write or close is fatal.
std::optional<Fatal> closeHitFile(HitFile& hits);

// Refuses a run whose hit file, image files or lead loci file would overwrite the data file (same device and
// inode), standard input included.
std::optional<Fatal> refuseOverwritingData(const PlotSettings& settings);

}  // namespace vennrick
