// Lead loci: clumping the hits by distance, and the .leads table.
#include "lead_loci.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "write_all.h"

namespace vennrick {
namespace {

// Ascending in chromosome rank, then position.
uint64_t placeKey(const PlacedHit& hit) {
    return (uint64_t{hit.chromosome} << 32) | (static_cast<uint32_t>(hit.pos) ^ 0x80000000u);
}

// Ascending as the value descends; both zeros alike; NaN (never a hit) last.
uint64_t strengthKey(double value) {
    if (std::isnan(value)) return UINT64_MAX;
    if (value == 0) value = 0.0;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint64_t ascending = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
    return ~ascending;
}

// The hits in place order: by chromosome rank, then position, then row. A table sorted by chromosome and
// position is in place order already, and costs no sort.
std::vector<size_t> placeOrder(const std::vector<PlacedHit>& hits) {
    std::vector<size_t> order(hits.size());
    for (size_t i = 0; i < hits.size(); ++i) order[i] = i;
    auto before = [&](size_t a, size_t b) { return placeKey(hits[a]) < placeKey(hits[b]); };
    if (!std::is_sorted(order.begin(), order.end(), before)) std::stable_sort(order.begin(), order.end(), before);
    return order;
}

// The places of one chromosome in a tournament tree: each node knows the free place below it with the
// strongest hit, and how many places below it are free. A locus takes a whole range of places at once, so a
// chromosome costs one pass to build and a few descents per locus, without sorting its hits by strength.
// Lists are kept from one chromosome to the next.
struct PlaceTree {
    static constexpr size_t kNone = SIZE_MAX;
    const size_t* hitAt = nullptr;  // by place: the hit
    std::vector<uint64_t> keyAt;    // by place: strengthKey of the hit's value
    std::vector<int32_t> posAt;     // by place: the position
    size_t leaves = 1;              // a power of two >= the places; node 1 is the root, leaf k is node leaves + k
    std::vector<size_t> best;       // by node: the free place with the strongest hit below it, or kNone
    std::vector<size_t> freeCount;  // by node: free places below it

    // The stronger of two places (kNone for none): the larger value, then the earlier hit.
    size_t stronger(size_t a, size_t b) const {
        if (a == kNone || b == kNone) return a == kNone ? b : a;
        return keyAt[a] != keyAt[b] ? (keyAt[a] < keyAt[b] ? a : b) : (hitAt[a] < hitAt[b] ? a : b);
    }

    void build(const std::vector<PlacedHit>& hits, const size_t* places, size_t n) {
        hitAt = places;
        keyAt.resize(n);
        posAt.resize(n);
        for (size_t k = 0; k < n; ++k) {
            keyAt[k] = strengthKey(hits[hitAt[k]].value);
            posAt[k] = hits[hitAt[k]].pos;
        }
        for (leaves = 1; leaves < n;) leaves *= 2;
        best.assign(2 * leaves, kNone);
        freeCount.assign(2 * leaves, 0);
        for (size_t k = 0; k < n; ++k) best[leaves + k] = k, freeCount[leaves + k] = 1;
        for (size_t node = leaves - 1; node >= 1; --node) update(node);
    }

    void update(size_t node) {
        best[node] = stronger(best[2 * node], best[2 * node + 1]);
        freeCount[node] = freeCount[2 * node] + freeCount[2 * node + 1];
    }

    // Takes the free places of [from, to). A node with nothing free below it is never entered again, so what
    // lies below a node taken whole needs no update.
    void take(size_t from, size_t to, size_t node, size_t lo, size_t hi) {
        if (freeCount[node] == 0 || hi <= from || to <= lo) return;
        if (from <= lo && hi <= to) {
            best[node] = kNone;
            freeCount[node] = 0;
            return;
        }
        const size_t mid = (lo + hi) / 2;
        take(from, to, 2 * node, lo, mid);
        take(from, to, 2 * node + 1, mid, hi);
        update(node);
    }

    // The first free place at or after from (first) or the last before to (!first); kNone when there is none.
    size_t edgeFree(size_t bound, bool first, size_t node, size_t lo, size_t hi) const {
        if (freeCount[node] == 0 || (first ? hi <= bound : bound <= lo)) return kNone;
        if (hi - lo == 1) return lo;
        const size_t mid = (lo + hi) / 2;
        const size_t nearSide = first ? 2 * node : 2 * node + 1, farSide = first ? 2 * node + 1 : 2 * node;
        const size_t nearLo = first ? lo : mid, nearHi = first ? mid : hi, farLo = first ? mid : lo, farHi = first ? hi : mid;
        const size_t found = edgeFree(bound, first, nearSide, nearLo, nearHi);
        return found != kNone ? found : edgeFree(bound, first, farSide, farLo, farHi);
    }
};

// Clumps the hits of one chromosome, hitAt[0..n) by place, adding its loci.
void clumpChromosome(const std::vector<PlacedHit>& hits, const size_t* hitAt, size_t n, int32_t window, PlaceTree& t,
                     std::vector<Locus>& loci) {
    t.build(hits, hitAt, n);
    auto positionAtLeast = [&](int64_t bound) {
        return static_cast<size_t>(std::lower_bound(t.posAt.begin(), t.posAt.end(), bound,
                                                    [](int32_t pos, int64_t b) { return pos < b; }) -
                                   t.posAt.begin());
    };
    while (t.best[1] != PlaceTree::kNone) {
        const size_t lead = t.best[1];
        const int64_t pos = t.posAt[lead];
        const size_t from = positionAtLeast(pos - window), to = positionAtLeast(pos + window + 1);
        Locus locus;
        locus.lead = hitAt[lead];
        locus.chromosome = hits[locus.lead].chromosome;
        locus.start = t.posAt[t.edgeFree(from, true, 1, 0, t.leaves)];
        locus.end = t.posAt[t.edgeFree(to, false, 1, 0, t.leaves)];
        const size_t freeBefore = t.freeCount[1];
        t.take(from, to, 1, 0, t.leaves);
        locus.hits = freeBefore - t.freeCount[1];
        loci.push_back(locus);
    }
}

std::string withoutTabs(std::string_view text) {
    std::string s(text);
    std::replace(s.begin(), s.end(), '\t', ' ');
    return s;
}

}  // namespace

std::vector<Locus> clumpHits(const std::vector<PlacedHit>& hits, int32_t window) {
    // Loci never cross chromosomes: each chromosome is clumped on its own, in lists that fit the caches.
    const std::vector<size_t> byPlace = placeOrder(hits);
    std::vector<Locus> loci;
    PlaceTree tree;
    for (size_t begin = 0, end = 0; begin < byPlace.size(); begin = end) {
        const uint32_t chromosome = hits[byPlace[begin]].chromosome;
        while (end < byPlace.size() && hits[byPlace[end]].chromosome == chromosome) ++end;
        clumpChromosome(hits, byPlace.data() + begin, end - begin, window, tree, loci);
    }
    std::sort(loci.begin(), loci.end(), [&](const Locus& a, const Locus& b) {
        const uint64_t ka = strengthKey(hits[a.lead].value), kb = strengthKey(hits[b.lead].value);
        return ka != kb ? ka < kb : a.lead < b.lead;
    });
    return loci;
}

LeadLoci findLeadLoci(const HitRows& hits, const PlotData& data, int32_t window) {
    LeadLoci leads;
    std::unordered_map<std::string_view, uint32_t> rankOf;
    std::vector<PlacedHit> placed;
    placed.reserve(hits.records.size());
    size_t run = 0;
    int64_t runEnd = 0;
    uint32_t rank = 0;
    for (const HitRecord& h : hits.records) {
        while (h.row >= runEnd && run < data.ID_list.size()) {
            const std::string_view id = data.ID_list[run].id;
            auto [at, added] = rankOf.emplace(id, static_cast<uint32_t>(leads.chromosomes.size()));
            if (added) leads.chromosomes.push_back(id);
            rank = at->second;
            runEnd += std::max<int64_t>(data.ID_list[run].count, 0);
            ++run;
        }
        placed.push_back({rank, h.pos, data.Value_list[static_cast<size_t>(h.row)]});
    }
    leads.loci = clumpHits(placed, window);
    return leads;
}

std::string shortestText(double value) {
    if (value == 0) return "0";
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

std::string pValueOfLog(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "0" : "inf";
    // p = 10^-value = m x 10^e with e = floor(-value) and m = 10^(-value - e) in [1, 10).
    const double e = std::floor(-value);
    char mantissa[40];
    std::snprintf(mantissa, sizeof mantissa, "%.16e", std::pow(10.0, -value - e));
    char* exponentMark = std::strchr(mantissa, 'e');
    const double exponent = e + std::strtod(exponentMark + 1, nullptr);  // 1 when m rounded up to 10
    char* last = exponentMark - 1;
    while (*last == '0') --last;
    if (*last == '.') --last;
    char exponentText[400];
    std::snprintf(exponentText, sizeof exponentText, "%.0f", exponent);
    return std::string(mantissa, last + 1) + (exponent == 0 ? std::string() : "e" + std::string(exponentText));
}

std::string leadsTable(const LeadLoci& leads, const HitRows& hits, const PlotData& data, bool logp) {
    std::vector<const Locus*> inGenomeOrder;
    inGenomeOrder.reserve(leads.loci.size());
    for (const Locus& locus : leads.loci) inGenomeOrder.push_back(&locus);
    auto leadPos = [&](const Locus* l) { return hits.records[l->lead].pos; };
    std::sort(inGenomeOrder.begin(), inGenomeOrder.end(), [&](const Locus* a, const Locus* b) {
        return a->chromosome != b->chromosome ? a->chromosome < b->chromosome : leadPos(a) < leadPos(b);
    });
    std::string table = "CHR\tLEAD_POS\tLEAD_ID\tLEAD_P\tLEAD_LOG10P\tLOCUS_START\tLOCUS_END\tHITS\n";
    for (const Locus* locus : inGenomeOrder) {
        const HitRecord& lead = hits.records[locus->lead];
        const double value = data.Value_list[static_cast<size_t>(lead.row)];
        const std::string asRead(hits.pText(lead));
        table += withoutTabs(leads.chromosomes[locus->chromosome]) + '\t' + std::to_string(lead.pos) + '\t' +
                 withoutTabs(hits.id(lead)) + '\t' + (logp ? pValueOfLog(value) : asRead) + '\t' +
                 (logp ? asRead : shortestText(value)) + '\t' + std::to_string(locus->start) + '\t' +
                 std::to_string(locus->end) + '\t' + std::to_string(locus->hits) + '\n';
    }
    return table;
}

std::optional<Fatal> writeLeadsFile(const std::string& path, const std::string& table) {
    if (writeWholeFile(path, table.data(), table.size())) return std::nullopt;
    return Fatal{"", "cannot write the lead loci file '" + path + "': " + std::strerror(errno)};
}

std::string leadName(const LeadLoci& leads, const HitRows& hits, const Locus& locus) {
    const HitRecord& lead = hits.records[locus.lead];
    if (lead.idLength > 0) return std::string(hits.id(lead));
    return std::string(leads.chromosomes[locus.chromosome]) + ":" + std::to_string(lead.pos);
}

std::string leadsSummary(size_t hits, size_t loci, int32_t window, const std::string& path) {
    return "lead loci: " + std::to_string(hits) + (hits == 1 ? " hit" : " hits") + " in " + std::to_string(loci) +
           (loci == 1 ? " locus" : " loci") + " (-leadwindow " + std::to_string(window) + " bp), written to '" +
           path + "'";
}

}  // namespace vennrick
