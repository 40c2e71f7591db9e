// --help and --version: the usage from the table of switches, and the versions of the tool and its libraries.
#include "run/about.h"

#include <QtGlobal>
#include <bzlib.h>
#include <htslib/hts.h>
#include <isa-l.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include "settings/switch_table.h"

namespace vennrick {

std::optional<std::string> aboutText(const std::vector<std::string>& args) {
    if (args.size() != 2) return std::nullopt;
    if (args[1] == "--help" || args[1] == "-h") return usageText();
    if (args[1] == "--version") return versionText();
    return std::nullopt;
}

std::string versionText() {
    // Versions of the libraries as loaded at run time where they tell it; ISA-L only has its headers'.
    const std::string bzip2 = BZ2_bzlibVersion();  // "1.0.8, 13-Jul-2019"
    return std::string("vennrick ") + VENNRICK_VERSION + "\n" +
           "Qt " + qVersion() + "\n" +
           "htslib " + hts_version() + "\n" +
           "ISA-L " + std::to_string(ISAL_MAJOR_VERSION) + "." + std::to_string(ISAL_MINOR_VERSION) + "." +
           std::to_string(ISAL_PATCH_VERSION) + "\n" +
           "zlib " + zlibVersion() + "\n" +
           "zstd " + ZSTD_versionString() + "\n" +
           "xz (liblzma) " + lzma_version_string() + "\n" +
           "bzip2 " + bzip2.substr(0, bzip2.find(',')) + "\n";
}

}  // namespace vennrick
