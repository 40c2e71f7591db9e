// The hit file: hit rows written through a large buffer with checked writes, and the guard that keeps the
// outputs of a run off its data file.
#include "reading/hit_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>


namespace vennrick {
namespace {

constexpr size_t kHitBufferBytes = size_t{1} << 20;  // hit rows are written in pieces of about this size

void flushHits(HitFile& hits) {
    writePiece(hits.file, hits.buffer.data(), hits.buffer.size());
    hits.buffer.clear();
}

}  // namespace

void appendHits(HitFile& hits, const char* bytes, size_t size) {
    if (hits.buffer.size() + size > kHitBufferBytes) {
        flushHits(hits);
        if (size >= kHitBufferBytes) return writePiece(hits.file, bytes, size);
    }
    hits.buffer.insert(hits.buffer.end(), bytes, bytes + size);
}

Fatal writeFailure(const HitFile& hits) {
    return Fatal{"", "cannot write the hit file '" + hits.file.path + "': " + std::strerror(hits.file.error)};
}

Outcome<HitFile> openHitFile(const std::string& path) {
    HitFile hits;
    hits.file = createWholeFile(path);
    if (hits.file.fd < 0)
        return Fatal{"", "cannot open the hit file '" + path + "' for writing: " + std::strerror(hits.file.error)};
    hits.buffer.reserve(kHitBufferBytes);
    return hits;
}

std::optional<Fatal> refuseOverwritingData(const PlotSettings& settings) {
    struct stat dataFile;
    const int found =
        readsStandardInput(settings) ? fstat(STDIN_FILENO, &dataFile) : stat(settings.Filename.c_str(), &dataFile);
    if (found != 0) return std::nullopt;  // reported when it is opened
    std::vector<std::string> outputs = {settings.Outname, imageFileName(settings)};
    if (settings.qqyes == 1) outputs.push_back(qqImageFileName(settings));
    if (settings.leadsyes == 1) outputs.push_back(settings.Outname + ".leads");
    if (settings.htmlyes == 1) outputs.push_back(pageFileName(settings));
    if (settings.reportJson) outputs.push_back(reportFileName(settings));
    for (const std::string& name : outputs) {
        struct stat outFile;
        if (stat(name.c_str(), &outFile) == 0 && outFile.st_dev == dataFile.st_dev && outFile.st_ino == dataFile.st_ino)
            return Fatal{"", "refusing to run: writing '" + name + "' would overwrite the data file '" +
                                 settings.Filename + "'"};
    }
    return std::nullopt;
}

std::optional<Fatal> closeHitFile(HitFile& hits) {
    if (hits.file.fd < 0) return std::nullopt;
    flushHits(hits);
    hits.buffer = std::vector<char>();
    if (finishWholeFile(hits.file)) return std::nullopt;
    return writeFailure(hits);
}

}  // namespace vennrick
