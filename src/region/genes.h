// Genes of the regional plots (-genes): read from a GTF, a GFF3 or a BED file for the regions' windows only,
// with the exons of each gene's canonical (or else longest) transcript; and genes stacked on rows so that
// neither their lines nor their names overlap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "settings/region_options.h"

namespace vennrick {

struct Exon {
    int32_t start = 0, end = 0;  // 1-based, inclusive
};

struct Gene {
    std::string chrom;
    int32_t start = 0, end = 0;  // 1-based, inclusive
    char strand = '.';           // '+', '-' or '.'
    std::string name;
    std::string biotype;         // empty when the file has none
    std::vector<Exon> exons;     // of the canonical or longest transcript; empty when the file has none
};

struct GeneFile {
    std::vector<Gene> genes;             // overlapping one of the windows, in file order
    std::vector<std::string> warnings;   // for standard error (without "vennrick: ")
};

// Reads the genes of the file (plain, gzip, bgzip, zstd, xz or bzip2; its kind told by its content) that overlap a
// window and have one of the biotypes (every biotype for an empty list; a file without biotypes is taken whole). A
// file that cannot be read to its end or is of no known kind is fatal for the genes of every region. threads > 1
// lets the file be decompressed on threads of its own.
Outcome<GeneFile> readGenes(const std::string& path, const std::vector<RegionWindow>& windows,
                            const std::vector<std::string>& biotypes, unsigned threads = 1);

// A gene as the stacking sees it: the pixels it takes across, its line and its name together.
struct GeneSpan {
    double left = 0, right = 0;
};

// Rows for the spans, from 0: each span on the first row where it keeps gap pixels from every span there,
// spans taken from the left. Two spans on a row never overlap nor come closer than gap.
std::vector<int> stackGenes(const std::vector<GeneSpan>& spans, double gap);

}  // namespace vennrick
