// Lead loci: the hit rows clumped by distance into independent signals, each led by its strongest hit, and the
// .leads table that lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"

namespace vennrick {

// A hit as the clumping sees it.
struct PlacedHit {
    uint32_t chromosome = 0;  // rank of its chromosome ID
    int32_t pos = 0;          // position as read
    double value = 0;         // -log10(p)
};

struct Locus {
    size_t lead = 0;          // index of the lead hit
    uint32_t chromosome = 0;  // rank of its chromosome ID
    int32_t start = 0;        // smallest position of its hits
    int32_t end = 0;          // largest position of its hits
    uint64_t hits = 0;        // hits in the locus, >= 1
};

// Clumps hits by distance: the strongest hit not yet in a locus (the largest value; on equal values the earlier
// hit) leads a new locus, which every hit of its chromosome within +-window of the lead's position takes that
// is in no locus yet; until no hit is left. Returns the loci strongest lead first. Sorting bounds the cost:
// O(n log n) for n hits, whatever the window.
std::vector<Locus> clumpHits(const std::vector<PlacedHit>& hits, int32_t window);

struct LeadLoci {
    std::vector<Locus> loci;                    // strongest lead first; lead indexes HitRows::records
    std::vector<std::string_view> chromosomes;  // IDs by rank: the order of their first runs of kept rows
                                                // (views into the ID_list the loci were found in)
    std::vector<uint32_t> locusOfHit;           // by hit record: the index in loci of the locus it joined
    std::vector<uint32_t> chromosomeOfHit;      // by hit record: the rank of its chromosome ID
};

// By hit: the locus each hit joined, the strongest locus of its chromosome whose lead lies within +-window
// (two leads of one chromosome lie more than window apart, so at most two are near a hit).
std::vector<uint32_t> locusOfEachHit(const std::vector<PlacedHit>& hits, const std::vector<Locus>& loci,
                                     int32_t window);

// The lead loci of the hit records, whose rows are rows of data.
LeadLoci findLeadLoci(const HitRows& hits, const PlotData& data, int32_t window);

// Calls write(text) with the .leads table, in pieces of about a megabyte: a header line and one line per locus
// in genome order (its chromosome's rank, then the lead's position), tab-separated: CHR LEAD_POS LEAD_ID LEAD_P
// LEAD_LOG10P LOCUS_START LOCUS_END HITS. The column the table holds (p, or -log10(p) with logp) is written as
// read; the other is computed from it with enough digits to read back as the same number. A tab inside a text
// becomes a space.
void writeLeadsTable(const LeadLoci& leads, const HitRows& hits, const PlotData& data, bool logp,
                     const std::function<void(const std::string&)>& write);

// Writes the table as the file at path, with checked writes; leaves no damaged file behind.
std::optional<Fatal> writeLeadsFile(const std::string& path, const LeadLoci& leads, const HitRows& hits,
                                    const PlotData& data, bool logp);

// 10^-value as decimal text with 17 significant digits, trailing zeros dropped; exact in its exponent however
// small the number ("1e-400" for 400).
std::string pValueOfLog(double value);

// The shortest decimal text that reads back as the same double; 0 for both zeros.
std::string shortestText(double value);

// The same text written at out, which has room for kShortestRoom characters; its length. For a text per row
// without a string per row.
constexpr size_t kShortestRoom = 32;
size_t writeShortest(double value, char* out);

// The name of a locus: its lead's variant ID, or CHR:POS when the lead has none.
std::string leadName(const LeadLoci& leads, const HitRows& hits, const Locus& locus);

// The line for standard error after the table has been written.
std::string leadsSummary(size_t hits, size_t loci, int32_t window, const std::string& path);

}  // namespace vennrick
