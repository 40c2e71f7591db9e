// r2 from a table of variant pairs (-ld), such as association tools write with --r2: the pairs that have a region's
// lead on one side, matched to the table's rows by position, and by ID where both have one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"

namespace vennrick {

// A variant of a region as r2 is looked up for it.
struct LdVariant {
    int32_t pos = 0;
    std::string_view id;       // empty: none
    std::string_view allele1;  // empty: not known
    std::string_view allele2;
};

// A lead that pairs are kept for.
struct LdLead {
    std::string chrom;
    int32_t pos = 0;
    std::string id;
};

// The other side of a pair with a lead.
struct LdPartner {
    int32_t pos = 0;
    std::string id;
    double r2 = 0;
};

struct LdTable {
    std::vector<std::vector<LdPartner>> partners;  // for each lead, in the order given
    uint64_t pairs = 0;                            // pairs read
};

// Reads the pairs of the file (plain, gzip or bgzip; whitespace or tab separated) with a header line naming
// CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2 (or #CHROM_A POS_A ID_A CHROM_B POS_B ID_B and PHASED_R2 or UNPHASED_R2),
// keeping those with one of the leads on one side. A file that cannot be read or has no such header is fatal for
// the r2 of every region (the message names the file and the problem).
Outcome<LdTable> readLdTable(const std::string& path, const std::vector<LdLead>& leads);

// The r2 of each variant with the lead whose partners are given: NaN where the table has none; 1 for the lead
// itself (index lead).
std::vector<double> tableR2(const std::vector<LdPartner>& partners, const std::vector<LdVariant>& variants, size_t lead);

// Whether two IDs name different variants: both given (neither empty nor ".") and different.
bool idsDiffer(std::string_view a, std::string_view b);

}  // namespace vennrick
