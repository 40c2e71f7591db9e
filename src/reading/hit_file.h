// The hit file: written aside through a write buffer with checked writes and put in place whole when the read
// ends; and the guard that refuses a run whose outputs would overwrite its data file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "base/write_all.h"
#include "settings/settings.h"

namespace vennrick {

// The open hit file: hit rows are written through a large buffer to a whole file (base/write_all.h).
struct HitFile {
    WholeFile file;            // fd -1 once closed; error: errno of the first failed write, reported on close
    std::vector<char> buffer;  // bytes not yet written
};

// Whether a write to the hit file has failed.
inline bool hitsFailed(const HitFile& hits) { return hits.file.error != 0; }

// Starts the hit file: refused, with the reason, where an open for writing would be refused.
Outcome<HitFile> openHitFile(const std::string& path);

// Adds bytes to the hit file; a failed write is remembered and reported by closeHitFile.
void appendHits(HitFile& hits, const char* bytes, size_t size);

// The fatal outcome of a failed write, naming the file and the system's reason.
Fatal writeFailure(const HitFile& hits);

// Writes out what the hit file still holds and puts it in place under its name, whole: at the end of the read,
// or where the read stops (the hit rows before a bad row are kept). A failed write or close is fatal, and
// the name then keeps what it held before the run.
std::optional<Fatal> closeHitFile(HitFile& hits);

// Refuses a run whose hit file, image files or lead loci file would overwrite the data file (same device and
// inode), standard input included.
std::optional<Fatal> refuseOverwritingData(const PlotSettings& settings);

}  // namespace vennrick
