// Chromosome names as tables write them: the shown name and the number of a chromosome ID.
#include "base/chromosome_names.h"

#include <cctype>

#include "base/text.h"

namespace vennrick {
namespace {

std::string_view withoutChr(std::string_view id) {
    if (id.size() > 3 && equalNoCase(id.substr(0, 3), "CHR")) id.remove_prefix(3);
    return id;
}

constexpr std::string_view kNamed[] = {"X", "Y", "XY", "MT"};  // plink's 23, 24, 25, 26

std::optional<int64_t> plainNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && digits.size() > 1)) return std::nullopt;
    int64_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

}  // namespace

std::optional<int64_t> chromosomeNumber(std::string_view id) {
    id = withoutChr(id);
    if (std::optional<int64_t> number = plainNumber(id)) return number;
    for (size_t k = 0; k < std::size(kNamed); ++k)
        if (equalNoCase(id, kNamed[k])) return static_cast<int64_t>(23 + k);
    if (equalNoCase(id, "M")) return 26;
    return std::nullopt;
}

std::string shownChromosome(std::string_view id) {
    const std::string_view bare = withoutChr(id);
    if (const std::optional<int64_t> number = chromosomeNumber(bare)) {
        if (*number >= 23 && *number <= 26) return std::string(kNamed[*number - 23]);
        if (plainNumber(bare)) return std::string(bare);
    }
    return std::string(bare);
}

}  // namespace vennrick
