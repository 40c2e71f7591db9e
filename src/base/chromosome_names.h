// Chromosome names as tables write them: "chr1" and "1" are one chromosome, and plink's codes 23, 24, 25 and 26
// are X, Y, XY and MT. Used where -names yes reads a table by its header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vennrick {

// The name as a figure shows it: without a leading "chr" (any letter case), plink's 23, 24, 25, 26 as X, Y, XY,
// MT, "M" as MT, X, Y, XY and MT in capitals; any other name as it is.
std::string shownChromosome(std::string_view id);

// The number a -chr range counts the chromosome by: the digits after an optional "chr" (no sign, no leading
// zero), or 23, 24, 25, 26 for X, Y, XY, MT (and M); nullopt for any other name.
std::optional<int64_t> chromosomeNumber(std::string_view id);

}  // namespace vennrick
