// Gathering the rows of the regional plots from the parsed pieces, in file order.
#include "reading/region_gathering.h"

#include <algorithm>
#include <cstring>

#include "base/numbers.h"

namespace vennrick {
namespace {

constexpr size_t kMostWaiting = size_t{1} << 20;  // rows waiting for a hit; beyond, the oldest are let go

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The fields of the line [p, end), cut as the row parser cuts them.
void cutFields(const char* p, const char* end, const Delimiter& d, std::vector<std::string_view>& fields) {
    fields.clear();
    if (d.whitespaceRuns) {
        for (;;) {
            while (p < end && isBlank(*p)) ++p;
            if (p == end) return;
            const char* fieldEnd = p;
            while (fieldEnd < end && !isBlank(*fieldEnd)) ++fieldEnd;
            fields.emplace_back(p, static_cast<size_t>(fieldEnd - p));
            p = fieldEnd;
        }
    }
    for (;;) {
        const char* delim = static_cast<const char*>(std::memchr(p, d.ch, static_cast<size_t>(end - p)));
        const char* fieldEnd = delim != nullptr ? delim : end;
        fields.emplace_back(p, static_cast<size_t>(fieldEnd - p));
        if (delim == nullptr) return;
        p = delim + 1;
    }
}

std::string_view fieldOf(const std::vector<std::string_view>& fields, int32_t column) {
    return column >= 1 && static_cast<size_t>(column) <= fields.size() ? trimSpace(fields[column - 1]) : std::string_view();
}

uint32_t clipped(size_t n) { return static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX / 8)); }

// Keeps the row [line, line + length) of chromosome chrom.
void takeRow(RegionGathering& g, std::string_view chrom, const char* line, uint32_t length, int64_t row, int32_t pos,
             double value) {
    cutFields(line, line + length, g.delim, g.fields);
    const std::string_view parts[] = {chrom, fieldOf(g.fields, g.idColumn), fieldOf(g.fields, g.pColumn),
                                      fieldOf(g.fields, g.a1Column), fieldOf(g.fields, g.a2Column)};
    RegionRow r;
    r.row = row;
    r.pos = pos;
    r.value = value;
    r.textAt = g.rows.texts.size();
    uint32_t* lengths[] = {&r.chrLength, &r.idLength, &r.pLength, &r.a1Length, &r.a2Length};
    for (size_t k = 0; k < 5; ++k) {
        *lengths[k] = clipped(parts[k].size());
        g.rows.texts.append(parts[k].data(), *lengths[k]);
    }
    g.rows.records.push_back(r);
}

const char* bytesOf(const RegionGathering& g, uint64_t piece, const char* base) {
    if (piece == g.pieceNumber) return base;
    for (const RegionGathering::KeptBytes& k : g.kept)
        if (k.piece == piece) return k.bytes.data() - k.offset;
    return nullptr;
}

// A hit: every waiting row within reach of it is kept (the rows of its chromosome still waiting are all behind
// it, in a table sorted by position, and those beyond reach were let go).
void takeWaiting(RegionGathering& g, std::string_view chrom, int32_t hitPos, const char* base) {
    for (size_t i = g.head; i < g.waiting.size(); ++i) {
        const RegionGathering::Waiting& w = g.waiting[i];
        if (int64_t{hitPos} - w.pos > g.reach || int64_t{w.pos} - hitPos > g.reach) continue;
        const char* bytes = bytesOf(g, w.piece, base);
        if (bytes != nullptr) takeRow(g, chrom, bytes + w.start, w.length, w.row, w.pos, w.value);
    }
    g.waiting.clear();
    g.head = 0;
}

void newChromosome(RegionGathering& g, std::string_view id) {
    g.chrom.assign(id);
    g.haveChrom = true;
    g.forward = false;
    g.waiting.clear();
    g.head = 0;
    g.lastPos = INT32_MIN;
    g.runWindows.clear();
    for (size_t w = 0; w < g.windows.size(); ++w)
        if (withoutChrPrefix(g.windows[w].chrom) == withoutChrPrefix(id)) g.runWindows.push_back(w);
}

}  // namespace

RegionGathering startRegionGathering(const PlotSettings& s) {
    RegionGathering g;
    if (!regionsAsked(s.region) || s.poscolumn == 0) return g;
    g.on = true;
    g.delim = s.Delim;
    g.pColumn = s.column;
    g.idColumn = s.snpcolumn;
    g.a1Column = s.region.allele1column;
    g.a2Column = s.region.allele2column;
    g.windows = s.region.windows;
    g.leads = s.region.leads;
    g.reach = std::max<int64_t>(s.region.flank, s.leadwindow);
    g.threshold = static_cast<double>(s.threshold);
    return g;
}

void gatherRegionRows(RegionGathering& g, const char* base, const PieceResult& res, int64_t firstRow) {
    size_t i = 0;
    for (const IdRun& run : res.runs) {
        if (!g.haveChrom || run.id != g.chrom) newChromosome(g, run.id);
        const size_t end = i + static_cast<size_t>(run.count);
        if (!g.leads && g.runWindows.empty()) {
            i = end;
            continue;
        }
        for (; i < end; ++i) {
            const int32_t pos = res.rowPos[i];
            const double value = res.values[i];
            const int64_t row = firstRow + static_cast<int64_t>(i);
            bool inWindow = false;
            for (size_t w : g.runWindows)
                inWindow |= pos >= g.windows[w].start && pos <= g.windows[w].end;
            if (!g.leads) {
                if (inWindow) takeRow(g, g.chrom, base + res.rowStart[i], res.rowLength[i], row, pos, value);
                continue;
            }
            g.rows.positionsBack += pos < g.lastPos;
            g.lastPos = pos;
            if (value >= g.threshold) {
                takeWaiting(g, g.chrom, pos, base);
                takeRow(g, g.chrom, base + res.rowStart[i], res.rowLength[i], row, pos, value);
                g.forwardUntil = std::max(g.forward ? g.forwardUntil : INT64_MIN, int64_t{pos} + g.reach);
                g.forward = true;
            } else if (inWindow || (g.forward && pos <= g.forwardUntil && int64_t{pos} >= g.forwardUntil - 2 * g.reach)) {
                takeRow(g, g.chrom, base + res.rowStart[i], res.rowLength[i], row, pos, value);
            } else {
                // Stored field by field: a whole entry built aside and copied in stalled the loop on every row.
                RegionGathering::Waiting& w = g.waiting.emplace_back();
                w.row = row;
                w.piece = g.pieceNumber;
                w.start = res.rowStart[i];
                w.length = res.rowLength[i];
                w.pos = pos;
                w.value = value;
                while (g.head < g.waiting.size() &&
                       (int64_t{pos} - g.waiting[g.head].pos > g.reach || g.waiting.size() - g.head > kMostWaiting)) {
                    g.rows.dropped += int64_t{pos} - g.waiting[g.head].pos <= g.reach;
                    ++g.head;
                }
                if (g.head > 4096 && g.head * 2 > g.waiting.size()) {
                    g.waiting.erase(g.waiting.begin(), g.waiting.begin() + static_cast<std::ptrdiff_t>(g.head));
                    g.head = 0;
                }
            }
        }
    }
    if (g.leads) {
        // The bytes of this piece that waiting rows point into are kept; those of pieces no row waits in go.
        uint64_t from = UINT64_MAX, to = 0;
        for (size_t k = g.head; k < g.waiting.size(); ++k)
            if (g.waiting[k].piece == g.pieceNumber) {
                from = std::min<uint64_t>(from, g.waiting[k].start);
                to = std::max<uint64_t>(to, uint64_t{g.waiting[k].start} + g.waiting[k].length);
            }
        const uint64_t oldest = g.head < g.waiting.size() ? g.waiting[g.head].piece : g.pieceNumber + 1;
        while (!g.kept.empty() && g.kept.front().piece < oldest) g.kept.pop_front();
        if (from < to) g.kept.push_back({g.pieceNumber, from, std::string(base + from, base + to)});
    }
    ++g.pieceNumber;
}

}  // namespace vennrick
