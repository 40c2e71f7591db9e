// The report page: the run's data as JSON in the page frame, with the script and style built into the program.
#include "page/report_page.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "analysis/chromosome_order.h"
#include "base/parallel.h"
#include "base/write_all.h"
#include "page/page_assets.h"

#ifndef VENNRICK_VERSION
#define VENNRICK_VERSION "unknown"
#endif

namespace vennrick {
namespace {

constexpr size_t kLongestText = 200;  // bytes of an ID or p-value text on the page; longer ones are cut

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8Length(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    const unsigned char d = byte(i + 1);
    if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
        return 0;  // overlong, surrogate or beyond U+10FFFF
    return n;
}

// A text cut to at most kLongestText bytes, at a character boundary, with "..." where it was cut.
std::string_view cutText(std::string_view text, bool& cut) {
    cut = text.size() > kLongestText;
    if (!cut) return text;
    size_t end = kLongestText;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void appendCutString(std::string& out, std::string_view text) {
    bool cut = false;
    std::string_view shown = cutText(text, cut);
    if (!cut) return appendJsonString(out, shown);
    appendJsonString(out, std::string(shown) + "...");
}

void appendNumber(std::string& out, double v, int decimals = -1) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    if (decimals < 0) {
        out += shortestText(v);
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string_view t(text);
    if (t.find('.') != std::string_view::npos) {
        while (t.back() == '0') t.remove_suffix(1);
        if (t.back() == '.') t.remove_suffix(1);
    }
    if (t == "-0") t = "0";
    out += t;
}

void appendInt(std::string& out, int64_t v) { out += std::to_string(v); }

void appendKey(std::string& out, const char* key) {
    if (out.back() != '{' && out.back() != '[') out += ',';
    out += '"';
    out += key;
    out += "\":";
}

std::string hexColour(const Colour& c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

std::string base64(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < size; i += 3) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < size) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (i + 1 < size ? uint32_t{bytes[i + 1]} << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < size ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Where the chromosomes lie on the page's genome axis.
struct PageLayout {
    ChromosomeOrder order;
    std::vector<int64_t> start, end, offset;  // by chromosome in order: positions (bp, or ranks) and axis place
    std::vector<int64_t> runFirstRow;         // first kept row of every run, and one past the last at the end
    std::vector<int64_t> runRank;             // by ranks: each run's first rank within its chromosome, from 1
    int64_t length = 1;                       // the axis's extent
    bool byRank = false;                      // no position column: rows placed by their rank in the chromosome
    int64_t scale = 1;                        // kept positions times this are base pairs (-div without a window)
};

// Calls visit(part, run, firstRow, endRow) for the rows of each part of the kept rows, cut into `parts` equal
// ranges, each on a thread of its own.
template <class Visit>
void forRowsInParts(const std::vector<int64_t>& runFirstRow, int64_t rows, unsigned parts, Visit&& visit) {
    runInParallel(parts, [&](unsigned part) {
        const int64_t from = rows * part / parts, to = rows * (part + 1) / parts;
        size_t run = static_cast<size_t>(std::upper_bound(runFirstRow.begin(), runFirstRow.end(), from) - runFirstRow.begin());
        run = run > 0 ? run - 1 : 0;
        for (; run + 1 < runFirstRow.size() && runFirstRow[run] < to; ++run)
            visit(part, run, std::max(runFirstRow[run], from), std::min(runFirstRow[run + 1], to));
    });
}

PageLayout layoutPage(const PlotData& data, const PlotSettings& settings, unsigned threads) {
    PageLayout l;
    l.order = orderChromosomes(data.ID_list);
    const size_t n = l.order.chromosomes.size();
    l.byRank = data.Pos_list.size() != static_cast<size_t>(data.maxX) || settings.poscolumn == 0;
    l.scale = settings.window.posrangeallowed == 1 ? 1 : std::max<int64_t>(settings.divvalue, 1);
    l.runFirstRow.assign(data.ID_list.size() + 1, 0);
    for (size_t r = 0; r < data.ID_list.size(); ++r)
        l.runFirstRow[r + 1] = l.runFirstRow[r] + std::max<int64_t>(data.ID_list[r].count, 0);
    l.start.assign(n, std::numeric_limits<int64_t>::max());
    l.end.assign(n, std::numeric_limits<int64_t>::min());
    if (l.byRank) {
        std::vector<int64_t> seen(n, 0);
        l.runRank.resize(data.ID_list.size());
        for (size_t r = 0; r < data.ID_list.size(); ++r) {
            l.runRank[r] = seen[l.order.ofRun[r]] + 1;
            seen[l.order.ofRun[r]] += std::max<int64_t>(data.ID_list[r].count, 0);
        }
        for (size_t c = 0; c < n; ++c) l.start[c] = 1, l.end[c] = std::max<int64_t>(seen[c], 1);
    } else {
        const unsigned parts = partsFor(data.maxX, threads, 1 << 20, 16);
        std::vector<std::vector<int64_t>> lows(parts, l.start), highs(parts, l.end);
        const int32_t* positions = data.Pos_list.data();
        forRowsInParts(l.runFirstRow, data.maxX, parts, [&](unsigned part, size_t r, int64_t from, int64_t to) {
            int32_t low = std::numeric_limits<int32_t>::max(), high = std::numeric_limits<int32_t>::min();
            for (int64_t i = from; i < to; ++i) low = std::min(low, positions[i]), high = std::max(high, positions[i]);
            const uint32_t c = l.order.ofRun[r];
            if (to > from) {
                lows[part][c] = std::min<int64_t>(lows[part][c], int64_t{low} * l.scale);
                highs[part][c] = std::max<int64_t>(highs[part][c], int64_t{high} * l.scale + l.scale - 1);
            }
        });
        for (unsigned part = 0; part < parts; ++part)
            for (size_t c = 0; c < n; ++c)
                l.start[c] = std::min(l.start[c], lows[part][c]), l.end[c] = std::max(l.end[c], highs[part][c]);
        for (size_t c = 0; c < n; ++c)
            if (l.start[c] > l.end[c]) l.start[c] = l.end[c] = 0;
    }
    int64_t total = 0;
    for (size_t c = 0; c < n; ++c) total += l.end[c] - l.start[c];
    int64_t gap = 0;
    if (n > 1)
        gap = std::max<int64_t>(1, static_cast<int64_t>(std::min(0.005 * static_cast<double>(total),
                                                                 0.2 * static_cast<double>(total) / static_cast<double>(n - 1))));
    int64_t x = 0;
    for (size_t c = 0; c < n; ++c) {
        l.offset.push_back(x);
        x += l.end[c] - l.start[c] + (c + 1 < n ? gap : 0);
    }
    l.length = std::max<int64_t>(x, 1);
    return l;
}

// The run of a kept row.
size_t runOfRow(const PageLayout& l, int64_t row) {
    return static_cast<size_t>(std::upper_bound(l.runFirstRow.begin(), l.runFirstRow.end(), row) - l.runFirstRow.begin()) - 1;
}

// A row's place on its chromosome: its position as read, or its rank.
int64_t placeOfRecord(const PageLayout& l, const HitRecord& h, size_t run) {
    if (l.byRank) return l.runRank[run] + (h.row - l.runFirstRow[run]);
    return h.pos;
}

struct Points {
    std::vector<const HitRecord*> records;
    double floor = std::numeric_limits<double>::infinity();  // the weakest point's value; infinity without points
};

Points choosePoints(const HitRows& strongest, double threshold) {
    Points p;
    for (const HitRecord& h : strongest.records) {
        if (!(h.value >= 0)) continue;  // p above 1, or not a number: not drawn
        if (p.records.size() >= kPagePoints && !(h.value >= threshold)) break;
        p.records.push_back(&h);
        p.floor = h.value;
    }
    return p;
}

// The bins: for each chromosome, one 32-bit mask per bin of `width` positions from its start.
struct Bins {
    int64_t width = 1;
    double top = 1;
    std::vector<std::vector<uint32_t>> masks;
};

Bins binRows(const PlotData& data, const PageLayout& l, double floor, unsigned threads) {
    Bins b;
    b.width = std::max<int64_t>(1, (l.length + kPageBins - 1) / kPageBins);
    const size_t n = l.order.chromosomes.size();
    double top = std::isfinite(floor) ? floor : data.maxY;
    if (!(top > 0) || !std::isfinite(top)) top = 1;
    b.top = top;
    const double perLevel = kPageLevels / top;
    const double* values = data.Value_list.data();
    const unsigned parts = partsFor(data.maxX, threads, 1 << 20, 16);
    // each part its own masks, joined after: a few hundred kilobytes a part
    std::vector<std::vector<std::vector<uint32_t>>> masks(parts, std::vector<std::vector<uint32_t>>(n));
    for (unsigned part = 0; part < parts; ++part)
        for (size_t c = 0; c < n; ++c)
            masks[part][c].assign(static_cast<size_t>((l.end[c] - l.start[c]) / b.width + 1), 0);
    forRowsInParts(l.runFirstRow, data.maxX, parts, [&](unsigned part, size_t r, int64_t from, int64_t to) {
        const size_t c = l.order.ofRun[r];
        uint32_t* m = masks[part][c].data();
        const int64_t start = l.start[c], rankOfFirst = l.byRank ? l.runRank[r] - l.runFirstRow[r] : 0;
        const int64_t last = static_cast<int64_t>(masks[part][c].size()) - 1;
        // a product instead of a division on every row (the division was most of the pass); the index is
        // clamped, so a rounding at a bin's edge moves a row by one bin at most
        const double perBin = 1.0 / static_cast<double>(b.width);
        for (int64_t i = from; i < to; ++i) {
            const double v = values[i];
            if (!(v >= 0 && v <= floor)) continue;  // points, p above 1 and values that are not numbers
            const int64_t place = l.byRank ? rankOfFirst + i : int64_t{data.Pos_list[static_cast<size_t>(i)]} * l.scale;
            const int level = std::min(kPageLevels - 1, static_cast<int>(v * perLevel));
            const int64_t bin = std::clamp<int64_t>(static_cast<int64_t>(static_cast<double>(place - start) * perBin), 0, last);
            m[bin] |= uint32_t{1} << level;
        }
    });
    b.masks = std::move(masks[0]);
    for (unsigned part = 1; part < parts; ++part)
        for (size_t c = 0; c < n; ++c)
            for (size_t i = 0; i < b.masks[c].size(); ++i) b.masks[c][i] |= masks[part][c][i];
    return b;
}

std::string skippedReason(const char* what, const std::string& detail) { return std::string(what) + detail; }

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                case '<': out += "\\u003c"; break;
                case '>': out += "\\u003e"; break;
                case '&': out += "\\u0026"; break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        char esc[8];
                        std::snprintf(esc, sizeof esc, "\\u%04x", c);
                        out += esc;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        const size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
        } else if (n == 3 && c == 0xE2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 3;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    out += '"';
}

std::vector<std::string> pageChromosomes(const PlotData& data) {
    std::vector<std::string> names;
    for (const Chromosome& c : orderChromosomes(data.ID_list).chromosomes) names.push_back(c.id);
    return names;
}

std::string pagePlotData(const PlotData& data, const HitRows& strongest, const PlotSettings& s, unsigned threads) {
    const PageLayout l = layoutPage(data, s, threads);
    const Points points = choosePoints(strongest, static_cast<double>(s.threshold));
    const Bins bins = binRows(data, l, points.floor, threads);

    std::string out = "{";
    appendKey(out, "positions");
    out += l.byRank ? "\"rank\"" : "\"bp\"";
    appendKey(out, "pointsShown");
    appendInt(out, static_cast<int64_t>(points.records.size()));
    appendKey(out, "hitsShown");
    appendInt(out, static_cast<int64_t>(std::count_if(points.records.begin(), points.records.end(), [&](const HitRecord* h) {
                  return h->value >= static_cast<double>(s.threshold);
              })));
    appendKey(out, "chromosomes");
    out += '[';
    for (size_t c = 0; c < l.order.chromosomes.size(); ++c) {
        const Chromosome& ch = l.order.chromosomes[c];
        if (c > 0) out += ',';
        out += '{';
        appendKey(out, "name");
        appendCutString(out, ch.id);
        appendKey(out, "start");
        appendInt(out, l.start[c]);
        appendKey(out, "end");
        appendInt(out, l.end[c]);
        appendKey(out, "offset");
        appendInt(out, l.offset[c]);
        appendKey(out, "rows");
        appendInt(out, ch.rows);
        out += '}';
    }
    out += ']';
    appendKey(out, "genomeLength");
    appendInt(out, l.length);

    // The points, as columns.
    std::vector<size_t> runs(points.records.size());
    for (size_t k = 0; k < points.records.size(); ++k) runs[k] = runOfRow(l, points.records[k]->row);
    appendKey(out, "points");
    out += '{';
    appendKey(out, "chr");
    out += '[';
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) out += ',';
        appendInt(out, l.order.ofRun[runs[k]]);
    }
    out += ']';
    appendKey(out, "pos");
    out += '[';
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) out += ',';
        appendInt(out, placeOfRecord(l, *points.records[k], runs[k]));
    }
    out += ']';
    appendKey(out, "id");
    out += '[';
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) out += ',';
        appendCutString(out, strongest.id(*points.records[k]));
    }
    out += ']';
    appendKey(out, "p");
    out += '[';
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) out += ',';
        if (s.logpyes == 1) appendJsonString(out, pValueOfLog(points.records[k]->value));
        else appendCutString(out, strongest.pText(*points.records[k]));
    }
    out += ']';
    appendKey(out, "logp");
    out += '[';
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) out += ',';
        appendNumber(out, points.records[k]->value, 4);
    }
    out += "]}";

    appendKey(out, "bins");
    out += '{';
    appendKey(out, "width");
    appendInt(out, bins.width);
    appendKey(out, "levels");
    appendInt(out, kPageLevels);
    appendKey(out, "top");
    appendNumber(out, bins.top);
    appendKey(out, "cells");
    out += '[';
    for (size_t c = 0; c < bins.masks.size(); ++c) {
        if (c > 0) out += ',';
        std::vector<unsigned char> bytes(bins.masks[c].size() * 4);
        for (size_t i = 0; i < bins.masks[c].size(); ++i) {
            const uint32_t m = bins.masks[c][i];
            bytes[4 * i] = static_cast<unsigned char>(m), bytes[4 * i + 1] = static_cast<unsigned char>(m >> 8),
            bytes[4 * i + 2] = static_cast<unsigned char>(m >> 16), bytes[4 * i + 3] = static_cast<unsigned char>(m >> 24);
        }
        out += '"' + base64(bytes.data(), bytes.size()) + '"';
    }
    out += "]}";

    out += '}';
    return out;
}

std::string pageData(const PageRun& run) {
    const PlotSettings& s = *run.settings;
    const ReadSummary& summary = *run.summary;
    const double threshold = static_cast<double>(s.threshold);

    std::string out = "{";
    appendKey(out, "format");
    out += "1";
    appendKey(out, "version");
    appendJsonString(out, VENNRICK_VERSION);
    appendKey(out, "title");
    appendJsonString(out, plotTitle(s));
    appendKey(out, "input");
    appendJsonString(out, s.Filename);
    appendKey(out, "command");
    out += '[';
    for (size_t i = 0; i < run.commandLine.size(); ++i) {
        if (i > 0) out += ',';
        appendJsonString(out, run.commandLine[i]);
    }
    out += ']';
    appendKey(out, "threshold");
    char thresholdText[32];
    std::snprintf(thresholdText, sizeof thresholdText, "%.7g", threshold);
    out += std::isfinite(threshold) ? thresholdText : "null";
    appendKey(out, "suggestive");
    if (s.suggestive > 0) appendNumber(out, s.suggestive); else out += "null";
    appendKey(out, "colors");
    out += "[\"" + hexColour(s.colours.first) + "\",\"" + hexColour(s.colours.second) + "\",\"" + hexColour(s.colours.hit) + "\"]";

    appendKey(out, "summary");
    out += '{';
    appendKey(out, "read");
    appendInt(out, static_cast<int64_t>(summary.rows));
    appendKey(out, "kept");
    appendInt(out, run.kept);
    appendKey(out, "skipped");
    out += '[';
    const std::pair<std::string, uint64_t> reasons[] = {
        {skippedReason("missing p-value ", "(" + s.Missing + ")"), summary.counts.missing},
        {"p = 0", summary.counts.zero},
        {"chromosome not selected", summary.counts.unselected},
        {"outside the position window", summary.counts.outsideWindow}};
    bool firstReason = true;
    for (const auto& [reason, count] : reasons) {
        if (count == 0) continue;
        if (!firstReason) out += ',';
        firstReason = false;
        out += '[';
        appendCutString(out, reason);
        out += ',';
        appendInt(out, static_cast<int64_t>(count));
        out += ']';
    }
    out += ']';
    appendKey(out, "hits");
    appendInt(out, static_cast<int64_t>(summary.counts.hits));
    appendKey(out, "loci");
    if (run.leads) appendInt(out, static_cast<int64_t>(run.leads->loci.size())); else out += "null";
    appendKey(out, "lambda");
    if (run.lambda) appendJsonString(out, *run.lambda); else out += "null";
    out += '}';
    // the plot's part, without its braces
    if (run.plotJson.size() > 2) {
        out += ',';
        out.append(run.plotJson, 1, run.plotJson.size() - 2);
    }

    appendKey(out, "leads");
    if (run.leads && run.hitRows) {
        const LeadLoci& leads = *run.leads;
        std::unordered_map<std::string_view, size_t> indexOf;  // chromosome names by their place on the page
        for (size_t c = 0; c < run.chromosomeNames.size(); ++c) indexOf.emplace(run.chromosomeNames[c], c);
        const HitRows& hits = *run.hitRows;
        std::vector<const Locus*> inOrder;
        for (const Locus& locus : leads.loci) inOrder.push_back(&locus);
        out += '[';
        bool firstLocus = true;
        for (const Locus* locus : inOrder) {
            const HitRecord& lead = hits.records[locus->lead];
            const auto found = indexOf.find(leads.chromosomes[locus->chromosome]);
            if (found == indexOf.end()) continue;
            if (!firstLocus) out += ',';
            firstLocus = false;
            const double value = run.leadValues[static_cast<size_t>(locus - leads.loci.data())];
            out += '{';
            appendKey(out, "chr");
            appendInt(out, static_cast<int64_t>(found->second));
            appendKey(out, "pos");
            appendInt(out, lead.pos);
            appendKey(out, "id");
            appendCutString(out, hits.id(lead));
            if (lead.labelLength > 0) {  // -labelcolumn: the text the figure names the lead by
                appendKey(out, "label");
                appendCutString(out, hits.label(lead));
            }
            appendKey(out, "p");
            if (s.logpyes == 1) appendJsonString(out, pValueOfLog(value)); else appendCutString(out, hits.pText(lead));
            appendKey(out, "logp");
            appendNumber(out, value, 4);
            appendKey(out, "start");
            appendInt(out, locus->start);
            appendKey(out, "end");
            appendInt(out, locus->end);
            appendKey(out, "hits");
            appendInt(out, static_cast<int64_t>(locus->hits));
            out += '}';
        }
        out += ']';
    } else {
        out += "null";
    }
    appendKey(out, "leadWindow");
    appendInt(out, s.leadwindow);

    appendKey(out, "images");
    out += '{';
    appendKey(out, "qq");
    if (!run.qqPng.empty()) {
        out += "\"data:image/png;base64,";
        out += base64(reinterpret_cast<const unsigned char*>(run.qqPng.data()), run.qqPng.size());
        out += '"';
    } else {
        out += "null";
    }
    appendKey(out, "qqAlt");
    appendJsonString(out, "QQ plot: observed against expected \xe2\x88\x92log10(p) of the kept rows, with the diagonal and "
                          "the 95% band" + (run.lambda ? "; genomic inflation factor \xce\xbb = " + *run.lambda : std::string()));
    appendKey(out, "regional");
    out += "[]}";
    out += '}';
    return out;
}

std::string pageHtml(std::string_view dataJson) {
    const std::string_view frame = reportHtmlAsset();
    const std::pair<std::string_view, std::string_view> fills[] = {
        {"/*@VENNRICK_STYLE@*/", reportCssAsset()}, {"@VENNRICK_DATA@", dataJson}, {"/*@VENNRICK_SCRIPT@*/", reportJsAsset()}};
    std::string page;
    page.reserve(frame.size() + dataJson.size() + reportCssAsset().size() + reportJsAsset().size());
    size_t at = 0;
    for (const auto& [mark, fill] : fills) {
        const size_t found = frame.find(mark, at);
        if (found == std::string_view::npos) continue;  // not in the frame: the build's test of the assets fails
        page.append(frame, at, found - at);
        page.append(fill);
        at = found + mark.size();
    }
    page.append(frame, at, std::string_view::npos);
    return page;
}

std::optional<Fatal> writePage(const std::string& path, const std::string& html) {
    if (writeWholeFile(path, html.data(), html.size())) return std::nullopt;
    return Fatal{"", "cannot write the report page '" + path + "': " + std::strerror(errno)};
}

}  // namespace vennrick
