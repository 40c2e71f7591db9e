// Lead loci: clumping the hits by distance, and the .leads table.
#include "analysis/lead_loci.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "base/write_all.h"

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

// A place of a chromosome with its hit and how strong that is; ordered strongest first, then earlier hit.
struct Ranked {
    uint64_t key;  // strengthKey of the hit's value
    size_t hit;
    size_t place;
    bool operator<(const Ranked& o) const { return key != o.key ? key < o.key : hit < o.hit; }
};

// The working lists of one chromosome, reused from one chromosome to the next.
struct Stretch {
    std::vector<int32_t> posAt;  // by place: the position
    std::vector<size_t> next;    // by place: itself when free, else a link towards the first free place after it
    std::vector<Ranked> free;    // places that may still be free
};

// The first free place at or after k, halving the paths it walks.
size_t firstFree(std::vector<size_t>& next, size_t k) {
    while (next[k] != k) {
        next[k] = next[next[k]];
        k = next[k];
    }
    return k;
}

// The first place at position lo or beyond, for lo at most the position of place: searched from place
// backwards in growing steps, so that a narrow window touches only the memory next to its lead.
size_t firstAtOrAfter(const std::vector<int32_t>& posAt, size_t place, int64_t lo) {
    size_t found = place, step = 1;  // posAt[found] >= lo
    while (step <= found && posAt[found - step] >= lo) found -= step, step *= 2;
    const auto begin = posAt.begin() + static_cast<ptrdiff_t>(step <= found ? found - step : 0);
    return static_cast<size_t>(std::lower_bound(begin, posAt.begin() + static_cast<ptrdiff_t>(found), lo,
                                                [](int32_t pos, int64_t bound) { return pos < bound; }) -
                               posAt.begin());
}

// Clumps the hits of chromosome, hitAt[0..n) by place, adding its loci strongest first. The free places
// are taken in rounds: the strongest of them, a number that doubles from round to round, are sorted and each
// leads a locus unless an earlier one took it. A few loci cost a few small sorts and a pass or two over the
// places; every hit a locus of its own costs one sort of them all, in pieces.
void clumpChromosome(const std::vector<PlacedHit>& hits, uint32_t chromosome, const size_t* hitAt, size_t n,
                     int32_t window, Stretch& s, std::vector<Locus>& loci) {
    s.posAt.resize(n);
    s.next.resize(n + 1);
    s.free.resize(n);
    for (size_t k = 0; k < n; ++k) {
        s.posAt[k] = hits[hitAt[k]].pos;
        s.next[k] = k;
        s.free[k] = {strengthKey(hits[hitAt[k]].value), hitAt[k], k};
    }
    s.next[n] = n;
    for (size_t round = std::max<size_t>(n / 64, 256); !s.free.empty(); round *= 2) {
        const auto taken = [&](const Ranked& r) { return firstFree(s.next, r.place) != r.place; };
        s.free.erase(std::remove_if(s.free.begin(), s.free.end(), taken), s.free.end());
        const auto strongest = s.free.begin() + static_cast<ptrdiff_t>(std::min(round, s.free.size()));
        std::nth_element(s.free.begin(), strongest, s.free.end());
        std::sort(s.free.begin(), strongest);
        for (auto lead = s.free.begin(); lead != strongest; ++lead) {
            if (taken(*lead)) continue;
            const int64_t lo = int64_t{s.posAt[lead->place]} - window, hi = int64_t{s.posAt[lead->place]} + window;
            // The lead is free and lies at or after from, so the first free place from there is the locus's first.
            size_t k = firstFree(s.next, firstAtOrAfter(s.posAt, lead->place, lo));
            Locus locus;
            locus.lead = lead->hit;
            locus.chromosome = chromosome;
            locus.start = s.posAt[k];
            for (; k < n && s.posAt[k] <= hi; k = firstFree(s.next, k)) {
                locus.end = s.posAt[k];
                ++locus.hits;
                s.next[k] = k + 1;
            }
            loci.push_back(locus);
        }
        s.free.erase(s.free.begin(), strongest);
    }
}

}  // namespace

std::vector<Locus> clumpHits(const std::vector<PlacedHit>& hits, int32_t window) {
    // Loci never cross chromosomes: each chromosome is clumped on its own, in lists that fit the caches.
    std::vector<Locus> loci;
    std::vector<size_t> bounds = {0};  // the loci of chromosome c are [bounds[c], bounds[c + 1])
    {
        const std::vector<size_t> byPlace = placeOrder(hits);
        Stretch stretch;
        for (size_t begin = 0, end = 0; begin < byPlace.size(); begin = end) {
            const uint32_t chromosome = hits[byPlace[begin]].chromosome;
            while (end < byPlace.size() && hits[byPlace[end]].chromosome == chromosome) ++end;
            clumpChromosome(hits, chromosome, byPlace.data() + begin, end - begin, window, stretch, loci);
            bounds.push_back(loci.size());
        }
    }
    // Each chromosome's loci come strongest first: merged in pairs of neighbours, all of them do. The merge
    // works on the leads' strength keys (place: the locus's index), not on the hits themselves.
    std::vector<Ranked> order(loci.size());
    for (size_t i = 0; i < loci.size(); ++i) order[i] = {strengthKey(hits[loci[i].lead].value), loci[i].lead, i};
    auto at = [&](size_t c) { return order.begin() + static_cast<ptrdiff_t>(bounds[std::min(c, bounds.size() - 1)]); };
    for (size_t width = 1; width + 1 < bounds.size(); width *= 2)
        for (size_t c = 0; c + width + 1 < bounds.size(); c += 2 * width)
            std::inplace_merge(at(c), at(c + width), at(c + 2 * width));
    std::vector<Locus> strongestFirst(loci.size());
    for (size_t i = 0; i < order.size(); ++i) strongestFirst[i] = loci[order[i].place];
    return strongestFirst;
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
    leads.locusOfHit = locusOfEachHit(placed, leads.loci, window);
    leads.chromosomeOfHit.resize(placed.size());
    for (size_t i = 0; i < placed.size(); ++i) leads.chromosomeOfHit[i] = placed[i].chromosome;
    return leads;
}

std::vector<uint32_t> locusOfEachHit(const std::vector<PlacedHit>& hits, const std::vector<Locus>& loci,
                                     int32_t window) {
    // The loci's leads by place: (chromosome, position) key and the locus's index.
    std::vector<std::pair<uint64_t, uint32_t>> leadsByPlace(loci.size());
    for (size_t i = 0; i < loci.size(); ++i)
        leadsByPlace[i] = {placeKey(hits[loci[i].lead]), static_cast<uint32_t>(i)};
    std::sort(leadsByPlace.begin(), leadsByPlace.end());
    std::vector<uint32_t> locusOf(hits.size(), UINT32_MAX);
    for (size_t h = 0; h < hits.size(); ++h) {
        const uint64_t key = placeKey(hits[h]);
        auto at = std::lower_bound(leadsByPlace.begin(), leadsByPlace.end(), std::make_pair(key, uint32_t{0}));
        // The nearest leads on either side, and one more each way for safety.
        const auto from = at - std::min<ptrdiff_t>(at - leadsByPlace.begin(), 2);
        const auto to = leadsByPlace.end() - at > 2 ? at + 2 : leadsByPlace.end();
        for (auto l = from; l != to; ++l) {
            const PlacedHit& lead = hits[loci[l->second].lead];
            if (lead.chromosome != hits[h].chromosome) continue;
            if (std::llabs(int64_t{lead.pos} - hits[h].pos) <= window) locusOf[h] = std::min(locusOf[h], l->second);
        }
    }
    return locusOf;
}

size_t writeShortest(double value, char* out) {
    if (value == 0) {
        out[0] = '0';
        return 1;
    }
    const auto [end, ec] = std::to_chars(out, out + kShortestRoom, value);
    if (ec == std::errc()) return static_cast<size_t>(end - out);
    std::memcpy(out, "nan", 3);
    return 3;
}

std::string shortestText(double value) {
    char text[kShortestRoom];
    return std::string(text, writeShortest(value, text));
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

void writeLeadsTable(const LeadLoci& leads, const HitRows& hits, const PlotData& data, bool logp,
                     const std::function<void(const std::string&)>& write) {
    // Genome order: by chromosome rank, then lead position (two loci never share a lead position).
    std::vector<std::pair<uint64_t, size_t>> inGenomeOrder(leads.loci.size());
    for (size_t i = 0; i < leads.loci.size(); ++i) {
        const Locus& locus = leads.loci[i];
        inGenomeOrder[i] = {placeKey({locus.chromosome, hits.records[locus.lead].pos, 0}), i};
    }
    std::sort(inGenomeOrder.begin(), inGenomeOrder.end());
    constexpr size_t kPiece = size_t{1} << 20;
    std::string text = "CHR\tLEAD_POS\tLEAD_ID\tLEAD_P\tLEAD_LOG10P\tLOCUS_START\tLOCUS_END\tHITS\n";
    auto field = [&](std::string_view value) {
        const size_t at = text.size();
        text += value;
        std::replace(text.begin() + static_cast<ptrdiff_t>(at), text.end(), '\t', ' ');
        text += '\t';
    };
    auto number = [&](int64_t value, char after) {
        char digits[24];
        text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
        text += after;
    };
    for (const auto& [key, index] : inGenomeOrder) {
        const Locus& locus = leads.loci[index];
        const HitRecord& lead = hits.records[locus.lead];
        const double value = data.Value_list[static_cast<size_t>(lead.row)];
        field(leads.chromosomes[locus.chromosome]);
        number(lead.pos, '\t');
        field(hits.id(lead));
        field(logp ? pValueOfLog(value) : hits.pText(lead));
        field(logp ? hits.pText(lead) : shortestText(value));
        number(locus.start, '\t');
        number(locus.end, '\t');
        number(static_cast<int64_t>(locus.hits), '\n');
        if (text.size() >= kPiece) write(text), text.clear();
    }
    write(text);
}

std::optional<Fatal> writeLeadsFile(const std::string& path, const LeadLoci& leads, const HitRows& hits,
                                    const PlotData& data, bool logp) {
    WholeFile file = createWholeFile(path);
    writeLeadsTable(leads, hits, data, logp,
                    [&](const std::string& text) { writePiece(file, text.data(), text.size()); });
    if (finishWholeFile(file)) return std::nullopt;
    return Fatal{"", "cannot write the lead loci file '" + path + "': " + std::strerror(errno)};
}

std::string leadName(const LeadLoci& leads, const HitRows& hits, const Locus& locus) {
    const HitRecord& lead = hits.records[locus.lead];
    if (lead.labelLength > 0) return std::string(hits.label(lead));
    if (lead.idLength > 0) return std::string(hits.id(lead));
    return std::string(leads.chromosomes[locus.chromosome]) + ":" + std::to_string(lead.pos);
}

std::string leadsSummary(size_t hits, size_t loci, int32_t window, const std::string& path) {
    return "lead loci: " + std::to_string(hits) + (hits == 1 ? " hit" : " hits") + " in " + std::to_string(loci) +
           (loci == 1 ? " locus" : " loci") + " (-leadwindow " + std::to_string(window) + " bp), written to '" + path +
           "'";
}

}  // namespace vennrick
