// Reading genes from GTF, GFF3 and BED files, and stacking them on rows.
#include "region/genes.h"


#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "base/numbers.h"
#include "base/text.h"
#include "reading/table_source.h"

namespace vennrick {
namespace {

std::vector<std::string_view> tabFields(std::string_view line) {
    std::vector<std::string_view> f;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        f.push_back(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
        if (tab == std::string_view::npos) break;
        from = tab + 1;
    }
    if (f.size() == 1) {  // a BED file separated by blanks
        f.clear();
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ') ++i;
            const size_t start = i;
            while (i < line.size() && line[i] != ' ') ++i;
            if (i > start) f.push_back(line.substr(start, i - start));
        }
    }
    return f;
}

// Bytes readable after the end of every line that FileLines hands out (their content is not the line's).
constexpr size_t kLineSlack = 64;

// The tabs among the 64 bytes from p on (bit i for p[i]).
inline uint64_t tabBits(const char* p) {
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    uint64_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(
                    _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), tab)))}
                << (16 * i);
    return bits;
#else
    uint64_t bits = 0;
    for (int i = 0; i < 64; ++i) bits |= uint64_t{p[i] == '\t'} << i;
    return bits;
#endif
}

// The first nine tab-separated fields of a line that has a tab (the ninth up to the next tab or the line's end);
// how many of them there are. The tabs of the first eight fields are found 64 bytes at a time (kLineSlack bytes
// after the line must be readable).
size_t nineFields(std::string_view line, std::string_view* f) {
    const char* const begin = line.data();
    const size_t length = line.size();
    size_t count = 0, from = 0;
    for (size_t at = 0; at < length && count < 8; at += 64) {
        uint64_t tabs = tabBits(begin + at);
        if (length - at < 64) tabs &= (uint64_t{1} << (length - at)) - 1;
        for (; tabs != 0 && count < 8; tabs &= tabs - 1) {
            const size_t tab = at + static_cast<size_t>(__builtin_ctzll(tabs));
            f[count++] = std::string_view(begin + from, tab - from);
            from = tab + 1;
        }
    }
    if (count < 8) {
        f[count++] = std::string_view(begin + from, length - from);
        return count;
    }
    const char* tab = static_cast<const char*>(std::memchr(begin + from, '\t', length - from));
    const size_t nineEnd = tab != nullptr ? static_cast<size_t>(tab - begin) : length;
    f[8] = std::string_view(begin + from, nineEnd - from);
    return 9;
}

// The lines of the file, read in large blocks as the data source hands them out, decompressed (the last line may
// lack its line end; a '\r' before the line end is dropped), each with kLineSlack readable bytes after it.
class FileLines {
public:
    explicit FileLines(DataSource& source) : source_(source), buf_(kBlock + kLineSlack) {}
    // 1: a line; 0: the end; -1: the file cannot be read on (failure() says why).
    int next(std::string_view& line) {
        for (;;) {
            const char* from = buf_.data() + at_;
            const char* nl = static_cast<const char*>(std::memchr(from, '\n', have_ - at_));
            if (nl == nullptr && !eof_) {
                if (at_ > 0) {
                    std::memmove(buf_.data(), from, have_ - at_);
                    have_ -= at_;
                    at_ = 0;
                }
                if (have_ + kLineSlack == buf_.size()) buf_.resize(2 * buf_.size());
                Outcome<size_t> got = readBlock(source_, buf_.data() + have_, buf_.size() - kLineSlack - have_);
                if (Fatal* fatal = std::get_if<Fatal>(&got)) {
                    failure_ = std::move(*fatal);
                    return -1;
                }
                eof_ = std::get<size_t>(got) == 0;
                have_ += std::get<size_t>(got);
                continue;
            }
            if (nl == nullptr && at_ == have_) return 0;
            const size_t length = nl != nullptr ? static_cast<size_t>(nl - from) : have_ - at_;
            at_ += nl != nullptr ? length + 1 : length;
            line = std::string_view(from, length);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            return 1;
        }
    }
    const std::optional<Fatal>& failure() const { return failure_; }

private:
    static constexpr size_t kBlock = size_t{1} << 20;
    DataSource& source_;
    std::vector<char> buf_;
    size_t at_ = 0, have_ = 0;
    bool eof_ = false;
    std::optional<Fatal> failure_;
};

// The value of an attribute: GTF (key "value";) or GFF3 (key=value;). Empty when absent.
std::string_view attribute(std::string_view attrs, std::string_view key, bool gff3) {
    size_t at = 0;
    while (at < attrs.size()) {
        while (at < attrs.size() && (attrs[at] == ' ' || attrs[at] == ';')) ++at;
        size_t end = attrs.find(';', at);
        if (end == std::string_view::npos) end = attrs.size();
        std::string_view item = attrs.substr(at, end - at);
        at = end + 1;
        const size_t cut = gff3 ? item.find('=') : item.find(' ');
        if (cut == std::string_view::npos || item.substr(0, cut) != key) continue;
        std::string_view value = item.substr(cut + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

// Whether a GTF or GFF3 attribute list holds a tag, as tag "X" (GTF) or tag=X,Y (GFF3).
bool hasTag(std::string_view attrs, std::string_view tag, bool gff3) {
    if (gff3) {
        const std::string_view tags = attribute(attrs, "tag", true);
        for (std::string_view t : splitAtAny(tags, ","))
            if (t == tag) return true;
        return false;
    }
    return attrs.find("tag \"" + std::string(tag) + "\"") != std::string_view::npos;
}

// "%2C" and the like in a GFF3 value.
std::string unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Transcript {
    std::string gene;  // gene ID
    bool canonical = false;
    std::vector<Exon> exons;
};

struct Reading {
    const std::vector<RegionWindow>& windows;
    const std::vector<std::string>& biotypes;
    std::vector<Gene> genes;
    std::unordered_map<std::string, size_t> geneById;   // gene ID -> index in genes
    std::unordered_map<std::string, Transcript> transcripts;
    bool anyName = true;
    uint64_t unnamed = 0;
};

bool overlaps(const std::vector<RegionWindow>& windows, std::string_view chrom, int64_t start, int64_t end) {
    for (const RegionWindow& w : windows)
        if (start <= w.end && end >= w.start && withoutChrPrefix(w.chrom) == withoutChrPrefix(chrom)) return true;
    return false;
}

bool typeWanted(const std::vector<std::string>& types, std::string_view biotype) {
    return types.empty() || biotype.empty() || std::find(types.begin(), types.end(), biotype) != types.end();
}

// A GTF or GFF3 line of nine fields.
void takeFeature(Reading& r, const std::string_view* f, int64_t start, int64_t end) {
    const std::string_view chrom = f[0], feature = f[2], attrs = f[8];
    const bool gff3 = attrs.find('=') != std::string_view::npos && attrs.find('"') == std::string_view::npos;
    const std::string_view geneKey = gff3 ? "ID" : "gene_id";
    if (feature == "gene" || feature == "pseudogene" || feature == "ncRNA_gene") {
        if (!overlaps(r.windows, chrom, start, end)) return;
        std::string_view biotype = attribute(attrs, "gene_type", gff3);
        if (biotype.empty()) biotype = attribute(attrs, "gene_biotype", gff3);
        if (biotype.empty()) biotype = attribute(attrs, "biotype", gff3);
        if (!typeWanted(r.biotypes, biotype)) return;
        std::string_view name = attribute(attrs, "gene_name", gff3);
        if (name.empty() && gff3) name = attribute(attrs, "Name", true);
        if (name.empty()) name = attribute(attrs, "gene", gff3);
        const std::string id(attribute(attrs, geneKey, gff3));
        if (name.empty()) ++r.unnamed;
        Gene g;
        g.chrom = std::string(chrom);
        g.start = static_cast<int32_t>(start);
        g.end = static_cast<int32_t>(end);
        g.strand = f[6].size() == 1 ? f[6][0] : '.';
        g.name = gff3 ? unescaped(name.empty() ? std::string_view(id) : name) : std::string(name.empty() ? std::string_view(id) : name);
        g.biotype = std::string(biotype);
        r.geneById[id] = r.genes.size();
        r.genes.push_back(std::move(g));
        return;
    }
    // Transcripts and exons: only near a window (a transcript longer than this reach is drawn without exons).
    constexpr int64_t kReach = 2500000;
    bool near = false;
    for (const RegionWindow& w : r.windows)
        near |= start <= w.end + kReach && end >= w.start - kReach && withoutChrPrefix(w.chrom) == withoutChrPrefix(chrom);
    if (!near) return;
    if (feature == "exon") {
        std::string_view tid = gff3 ? attribute(attrs, "Parent", true) : attribute(attrs, "transcript_id", false);
        if (tid.empty()) return;
        Transcript& t = r.transcripts[std::string(tid)];
        t.exons.push_back(Exon{static_cast<int32_t>(start), static_cast<int32_t>(end)});
        if (!gff3 && t.gene.empty()) {
            t.gene = std::string(attribute(attrs, "gene_id", false));
            t.canonical = hasTag(attrs, "Ensembl_canonical", false);
        }
        return;
    }
    if (feature == "transcript" || feature == "mRNA" || (gff3 && !attribute(attrs, "Parent", true).empty())) {
        const std::string_view tid = gff3 ? attribute(attrs, "ID", true) : attribute(attrs, "transcript_id", false);
        if (tid.empty()) return;
        Transcript& t = r.transcripts[std::string(tid)];
        t.gene = std::string(gff3 ? attribute(attrs, "Parent", true) : attribute(attrs, "gene_id", false));
        t.canonical = hasTag(attrs, "Ensembl_canonical", gff3) || hasTag(attrs, "MANE_Select", gff3);
    }
}

// A BED line: chrom, 0-based start, end, name, [score, strand, thickStart, thickEnd, rgb, count, sizes, starts].
bool takeBed(Reading& r, const std::vector<std::string_view>& f, int64_t start0, int64_t end) {
    if (!overlaps(r.windows, f[0], start0 + 1, end)) return true;
    Gene g;
    g.chrom = std::string(f[0]);
    g.start = static_cast<int32_t>(start0 + 1);
    g.end = static_cast<int32_t>(end);
    g.name = f.size() >= 4 ? std::string(f[3]) : std::string();
    if (g.name.empty()) ++r.unnamed;
    g.strand = f.size() >= 6 && f[5].size() == 1 ? f[5][0] : '.';
    if (f.size() >= 12) {
        const std::vector<std::string_view> sizes = splitAtAny(f[10], ","), starts = splitAtAny(f[11], ",");
        const std::optional<int32_t> count = parseInt(f[9]);
        if (!count || *count < 0 || sizes.size() < static_cast<size_t>(*count) || starts.size() < static_cast<size_t>(*count))
            return false;
        for (int32_t k = 0; k < *count; ++k) {
            const std::optional<int32_t> size = parseInt(sizes[k]), at = parseInt(starts[k]);
            if (!size || !at || *size < 0 || *at < 0) return false;
            g.exons.push_back(Exon{static_cast<int32_t>(start0 + *at + 1), static_cast<int32_t>(start0 + *at + *size)});
        }
    }
    r.genes.push_back(std::move(g));
    return true;
}

}  // namespace

Outcome<GeneFile> readGenes(const std::string& path, const std::vector<RegionWindow>& windows,
                            const std::vector<std::string>& biotypes, unsigned threads) {
    const std::string name = "-genes '" + path + "'";
    // Plain, gzip (inflated with ISA-L), bgzip (on several threads when given them), zstd, xz or bzip2.
    Outcome<DataSource> opened = openDataSource(path, threads);
    if (std::holds_alternative<Fatal>(opened)) return Fatal{"", name + ": cannot be opened"};
    DataSource& source = std::get<DataSource>(opened);
    Reading r{windows, biotypes, {}, {}, {}, true, 0};
    FileLines lines(source);
    enum class Kind { unknown, features, bed } kind = Kind::unknown;
    uint64_t number = 0;
    std::string problem;
    // The chromosomes of the windows: a feature of another chromosome is only checked for damage.
    std::vector<std::string_view> chroms;
    for (const RegionWindow& w : windows)
        if (std::find(chroms.begin(), chroms.end(), withoutChrPrefix(w.chrom)) == chroms.end())
            chroms.push_back(withoutChrPrefix(w.chrom));
    std::vector<std::string_view> f;
    std::string_view text;
    int got;
    while ((got = lines.next(text)) > 0) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.empty() || text[0] == '#' || text.substr(0, 5) == "track" || text.substr(0, 7) == "browser") continue;
        if (kind == Kind::features && text.find('\t') != std::string_view::npos) {
            // A feature line, cut no further than its nine fields; its attributes are read only for the features
            // a window may take.
            std::string_view nine[9];
            const size_t count = nineFields(text, nine);
            int32_t a = 0, b = 0;
            if (count < 9 || !parseIntInBuffer(nine[3], a) || !parseIntInBuffer(nine[4], b) || b < a) {
                problem = name + ": line " + std::to_string(number) + " is damaged (" +
                          (count < 9 ? "too few fields" : "its start and end are not positions") + ")";
                break;
            }
            if (std::find(chroms.begin(), chroms.end(), withoutChrPrefix(nine[0])) == chroms.end()) continue;
            const std::string_view feature = nine[2], attrs = nine[8];
            if (feature != "gene" && feature != "pseudogene" && feature != "ncRNA_gene" && feature != "exon" &&
                feature != "transcript" && feature != "mRNA" &&
                !(attrs.find('=') != std::string_view::npos && attrs.find('"') == std::string_view::npos))
                continue;  // a GTF feature of another type (CDS, UTR, codons): nothing of a gene
            takeFeature(r, nine, a, b);
            continue;
        }
        f = tabFields(text);
        if (kind == Kind::unknown) {
            if (f.size() >= 9 && parseInt(f[3]) && parseInt(f[4])) kind = Kind::features;
            else if (f.size() >= 3 && f.size() != 9 && parseInt(f[1]) && parseInt(f[2])) kind = Kind::bed;
            else {
                problem = name + ": line " + std::to_string(number) +
                          " is neither a GTF/GFF3 feature (9 tab-separated fields) nor a BED interval";
                break;
            }
        }
        const size_t need = kind == Kind::features ? 9 : 3;
        const std::optional<int32_t> a = f.size() >= need ? parseInt(f[kind == Kind::features ? 3 : 1]) : std::nullopt;
        const std::optional<int32_t> b = f.size() >= need ? parseInt(f[kind == Kind::features ? 4 : 2]) : std::nullopt;
        if (!a || !b || *b < *a) {
            problem = name + ": line " + std::to_string(number) + " is damaged (" +
                      (f.size() < need ? "too few fields" : "its start and end are not positions") + ")";
            break;
        }
        if (kind == Kind::features) {
            takeFeature(r, f.data(), *a, *b);
        } else if (!takeBed(r, f, *a, *b)) {
            problem = name + ": line " + std::to_string(number) + " has damaged exon lists (fields 10 to 12)";
            break;
        }
    }
    if (problem.empty() && got < 0) {
        // Content the data source refuses (an archive, a variant file) is named; anything else that stops the
        // reading is damage.
        const std::string detail = lines.failure() ? lines.failure()->detail : std::string();
        const size_t is = detail.find("' is "), notTable = detail.find(", not a table");
        if (!source.failed && is != std::string::npos && notTable != std::string::npos && notTable > is)
            problem = name + ": is " + detail.substr(is + 5, notTable - is - 5) + ", not a GTF, GFF3 or BED file";
        else
            problem = name + ": the file is damaged (it cannot be read to its end)";
    }
    if (!problem.empty()) return Fatal{"", problem};
    GeneFile file;
    if (kind == Kind::features) {
        // Each gene's exons: those of its canonical transcript, or else of the one with the most exon bases.
        std::map<size_t, std::pair<bool, int64_t>> best;
        for (auto& [tid, t] : r.transcripts) {
            auto g = r.geneById.find(t.gene);
            if (g == r.geneById.end() || t.exons.empty()) continue;
            int64_t bases = 0;
            for (const Exon& e : t.exons) bases += int64_t{e.end} - e.start + 1;
            auto [it, fresh] = best.emplace(g->second, std::make_pair(t.canonical, bases));
            if (fresh || std::make_pair(t.canonical, bases) > it->second) {
                it->second = {t.canonical, bases};
                r.genes[g->second].exons = t.exons;
            }
        }
    }
    for (Gene& g : r.genes) std::sort(g.exons.begin(), g.exons.end(), [](const Exon& x, const Exon& y) { return x.start < y.start; });
    if (r.unnamed > 0)
        file.warnings.push_back(name + ": " + rowCount(r.unnamed, "gene") + " of the regions without a name (gene_name or Name), drawn with " +
                                (kind == Kind::bed ? "none" : "their IDs"));
    file.genes = std::move(r.genes);
    return file;
}

std::vector<int> stackGenes(const std::vector<GeneSpan>& spans, double gap) {
    std::vector<size_t> order(spans.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return spans[a].left < spans[b].left; });
    std::vector<int> rows(spans.size(), 0);
    std::vector<double> rowEnd;  // the right end of the last span of each row
    for (size_t i : order) {
        size_t row = 0;
        while (row < rowEnd.size() && !(spans[i].left >= rowEnd[row] + gap)) ++row;
        if (row == rowEnd.size()) rowEnd.push_back(spans[i].right);
        else rowEnd[row] = spans[i].right;
        rows[i] = static_cast<int>(row);
    }
    return rows;
}

}  // namespace vennrick
