// Reading the -highlight list and looking rows up in it.
#include "reading/highlight_list.h"

#include <algorithm>

#include "base/chromosome_names.h"
#include "base/numbers.h"
#include "base/text.h"
#include "reading/table_source.h"

namespace vennrick {
namespace {

uint64_t hashBytes(std::string_view text, uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

uint64_t placeHash(int32_t chrom, int32_t pos) {
    uint64_t h = (static_cast<uint64_t>(static_cast<uint32_t>(chrom)) << 32) | static_cast<uint32_t>(pos);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

size_t slotCount(size_t entries) {
    size_t n = 16;
    while (n < entries * 2) n *= 2;
    return n;
}

std::string_view stripBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

int32_t findHighlightId(const HighlightList& list, std::string_view id) {
    if (list.idSlots.empty()) return -1;
    const size_t mask = list.idSlots.size() - 1;
    for (size_t s = hashBytes(id) & mask;; s = (s + 1) & mask) {
        const int32_t e = list.idSlots[s];
        if (e < 0) return -1;
        if (list.entries[static_cast<size_t>(e)] == id) return e;
    }
}

int32_t findHighlightPlace(const HighlightList& list, int32_t chrom, int32_t pos) {
    if (list.placeSlots.empty() || chrom < 0) return -1;
    const size_t mask = list.placeSlots.size() - 1;
    for (size_t s = placeHash(chrom, pos) & mask;; s = (s + 1) & mask) {
        const int32_t p = list.placeSlots[s];
        if (p < 0) return -1;
        const HighlightList::Place& place = list.places[static_cast<size_t>(p)];
        if (place.chrom == chrom && place.pos == pos) return place.entry;
    }
}

int32_t highlightChrom(const HighlightList& list, std::string_view id, bool tableNames) {
    const std::string key = tableNames ? shownChromosome(id) : std::string(id);
    const auto at = std::find(list.chroms.begin(), list.chroms.end(), key);
    return at == list.chroms.end() ? -1 : static_cast<int32_t>(at - list.chroms.begin());
}

HighlightList makeHighlightList(std::string_view text) {
    HighlightList list;
    for (std::string_view line : splitAtAny(text, "\n")) {
        line = stripBlanks(line);
        if (line.empty() || line.front() == '#') continue;
        list.entries.emplace_back(line);
    }
    std::sort(list.entries.begin(), list.entries.end());
    list.entries.erase(std::unique(list.entries.begin(), list.entries.end()), list.entries.end());
    const size_t n = list.entries.size();
    list.sameAs.resize(n);
    list.idSlots.assign(slotCount(n), -1);
    const size_t idMask = list.idSlots.size() - 1;
    for (size_t e = 0; e < n; ++e) {
        list.sameAs[e] = static_cast<int32_t>(e);
        size_t s = hashBytes(list.entries[e]) & idMask;
        while (list.idSlots[s] >= 0) s = (s + 1) & idMask;
        list.idSlots[s] = static_cast<int32_t>(e);
        // CHR:POS: one colon, a chromosome before it and a whole number from 0 after it.
        const std::string_view entry = list.entries[e];
        const size_t colon = entry.find(':');
        if (colon == std::string_view::npos || colon == 0 || entry.find(':', colon + 1) != std::string_view::npos)
            continue;
        const std::optional<int32_t> pos = parseInt(entry.substr(colon + 1));
        if (!pos || *pos < 0) continue;
        // Compared as a figure shows it, so that chr1:100 and 1:100 are one place under -names yes; the exact text
        // is kept too for tables compared as text.
        for (const std::string& chrom : {std::string(entry.substr(0, colon)), shownChromosome(entry.substr(0, colon))}) {
            auto at = std::find(list.chroms.begin(), list.chroms.end(), chrom);
            if (at == list.chroms.end()) at = list.chroms.insert(at, chrom);
            const auto c = static_cast<int32_t>(at - list.chroms.begin());
            bool known = false;
            for (const HighlightList::Place& p : list.places)
                if (p.chrom == c && p.pos == *pos) {
                    if (p.entry != static_cast<int32_t>(e)) list.sameAs[e] = p.entry;
                    known = true;
                }
            if (!known) list.places.push_back({c, *pos, static_cast<int32_t>(e)});
        }
    }
    list.placeSlots.assign(slotCount(list.places.size()), -1);
    const size_t placeMask = list.placeSlots.size() - 1;
    for (size_t p = 0; p < list.places.size(); ++p) {
        size_t s = placeHash(list.places[p].chrom, list.places[p].pos) & placeMask;
        while (list.placeSlots[s] >= 0) s = (s + 1) & placeMask;
        list.placeSlots[s] = static_cast<int32_t>(p);
    }
    return list;
}

Outcome<HighlightList> readHighlightList(const std::string& path) {
    Outcome<DataSource> opened = openDataSource(path, 1);
    if (Fatal* fatal = std::get_if<Fatal>(&opened)) {
        const size_t at = fatal->detail.find("the data file ");
        if (at != std::string::npos) fatal->detail.replace(at, 14, "the list ");
        fatal->detail = "-highlight: " + fatal->detail;
        return *fatal;
    }
    DataSource& source = std::get<DataSource>(opened);
    std::string text;
    char buffer[65536];
    constexpr size_t kMostBytes = size_t{1} << 30;  // a list of IDs, not a table: more is refused
    for (;;) {
        Outcome<size_t> got = readBlock(source, buffer, sizeof buffer);
        if (Fatal* fatal = std::get_if<Fatal>(&got)) {
            fatal->detail = "-highlight: " + fatal->detail;
            return *fatal;
        }
        const size_t n = std::get<size_t>(got);
        if (n == 0) break;
        if (text.size() + n > kMostBytes)
            return Fatal{"", "-highlight '" + path + "': more than 1 GiB; it should list variants, one a line"};
        text.append(buffer, n);
    }
    return makeHighlightList(text);
}

int64_t highlightMissing(const HighlightList& list, const std::vector<HighlightMatch>& matches) {
    std::vector<char> found(list.entries.size(), 0);
    for (const HighlightMatch& m : matches) found[static_cast<size_t>(m.entry)] = 1;
    int64_t missing = 0;
    for (size_t e = 0; e < found.size(); ++e)
        missing += found[e] == 0 && found[static_cast<size_t>(list.sameAs[e])] == 0;
    return missing;
}

}  // namespace vennrick
