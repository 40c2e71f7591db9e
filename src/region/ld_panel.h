// r2 from a reference panel (-ldref): a bgzipped, indexed VCF or a BCF read for just the region's window, the
// genotypes of its samples (or those of -ldsamples) as hard calls. A VCF's calls are read straight from its text
// (htslib's parser reads only a line of another form, and every BCF record); the calls are packed as bits, and r2
// is counted on them with popcounts (region/panel_calls.h). A window of many variants is read in parts at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "region/ld_table.h"

namespace vennrick {

struct PanelRequest {
    std::string path;         // the panel
    std::string samplesFile;  // one sample ID a line; empty: every sample
    std::string chrom;        // as the table names it; "chr1" and "1" find each other
    int32_t start = 0, end = 0;      // the window, inclusive
    std::vector<LdVariant> variants;  // the region's rows, by position
    size_t lead = 0;                  // index of the lead in variants
    unsigned threads = 1;             // > 1: the window's blocks are inflated on that many threads (VCF)
};

struct PanelR2 {
    std::vector<double> r2;             // per variant; NaN where it is not known
    std::vector<std::string> warnings;  // lines for standard error (without "vennrick: ")
    bool leadFound = false;
    double seconds = 0;                 // time taken
};

// r2 of every variant with the lead: the squared correlation, over the samples called at both, of the counts of
// the variant's allele. A panel site is a variant's when its position is the variant's and, where the variant's
// alleles are known, when its REF and one of its ALT alleles are the variant's two (either way round); that ALT
// allele is the one counted. Where the alleles are not known, the site's first record counts its non-reference
// alleles. Phased and unphased calls count alike, a haploid call counts its allele twice, a call with a missing
// allele is missing, and no site is dropped for its FILTER value.
// A problem (the panel cannot be read, its index is damaged, the chromosome is not in it, the lead is not in it)
// comes back as warnings, with every r2 unknown.
PanelR2 panelR2(const PanelRequest& request);

}  // namespace vennrick
