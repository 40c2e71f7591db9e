// Reading genes from GTF, GFF3 and BED files, and stacking them on rows.
#include "region/genes.h"

#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "base/numbers.h"
#include "base/text.h"
#include "reading/line_buffer.h"
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
    explicit FileLines(DataSource& source) : source_(source), buf_(kBlock, kLineSlack) {}
    // 1: a line; 0: the end; -1: the file cannot be read on (failure() says why).
    int next(std::string_view& line) {
        return nextLine(buf_, line, [&](char* to, size_t room) -> int64_t {
            Outcome<size_t> got = readBlock(source_, to, room);
            if (Fatal* fatal = std::get_if<Fatal>(&got)) {
                failure_ = std::move(*fatal);
                return -1;
            }
            return static_cast<int64_t>(std::get<size_t>(got));
        });
    }
    const std::optional<Fatal>& failure() const { return failure_; }

private:
    static constexpr size_t kBlock = size_t{1} << 20;
    DataSource& source_;
    LineBuffer buf_;
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

// Transcripts and exons are taken this far from a window; read through an index, a window's lines are those of its
// span widened by it.
constexpr int64_t kFeatureReach = 2500000;

struct Transcript {
    std::string gene;  // gene ID
    bool canonical = false;
    std::vector<Exon> exons;
    size_t order = 0;  // 1 for the first transcript met in the file, 2 for the next, ...
};

struct Reading {
    const std::vector<RegionWindow>& windows;
    const std::vector<std::string>& biotypes;
    std::vector<Gene> genes;
    std::unordered_map<std::string, size_t> geneById;   // gene ID -> index in genes
    std::unordered_map<std::string, Transcript> transcripts;
    bool anyName = true;
    uint64_t unnamed = 0;
    std::string key = {};  // a transcript ID being looked up: copied into the map only for a new transcript
};

// The transcript of an ID, numbered in the order of the file when it is new.
Transcript& transcriptOf(Reading& r, std::string_view id) {
    Transcript& t = r.transcripts[r.key.assign(id)];
    if (t.order == 0) t.order = r.transcripts.size();
    return t;
}

// Everything taken so far let go, for the file to be read again.
void forgetTaken(Reading& r) {
    r.genes.clear();
    r.geneById.clear();
    r.transcripts.clear();
    r.unnamed = 0;
}

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
    bool near = false;
    for (const RegionWindow& w : r.windows)
        near |= start <= w.end + kFeatureReach && end >= w.start - kFeatureReach &&
                withoutChrPrefix(w.chrom) == withoutChrPrefix(chrom);
    if (!near) return;
    if (feature == "exon") {
        std::string_view tid = gff3 ? attribute(attrs, "Parent", true) : attribute(attrs, "transcript_id", false);
        if (tid.empty()) return;
        Transcript& t = transcriptOf(r, tid);
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
        Transcript& t = transcriptOf(r, tid);
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

enum class Kind { unknown, features, bed };

// The reading of a file's lines, one at a time, whatever reads them: its kind told by its first feature line, each
// line checked and handed to the features or the BED lines.
struct LineReader {
    Reading& r;
    const std::string& name;
    Kind kind = Kind::unknown;
    std::vector<std::string_view> chroms;  // of the windows: a feature of another chromosome is only checked for damage
    std::vector<std::string_view> f;
    std::string problem;  // set when a line stops the reading
    uint64_t number = 0;  // of the line being read, from 1, when the whole file is read
    std::string span;     // the span being read through the index ("chr1:1-2000"), else empty

    LineReader(Reading& reading, const std::string& fileName) : r(reading), name(fileName) {
        for (const RegionWindow& w : r.windows)
            if (std::find(chroms.begin(), chroms.end(), withoutChrPrefix(w.chrom)) == chroms.end())
                chroms.push_back(withoutChrPrefix(w.chrom));
    }

    // Whether a line holds nothing to read (empty, a comment, a track or browser line).
    static bool blank(std::string_view text) {
        return text.empty() || text[0] == '#' || text.substr(0, 5) == "track" || text.substr(0, 7) == "browser";
    }

    // The line being read, for a message: "line 12", or "a line of chr1:1-2000" when read through the index.
    std::string where() const { return span.empty() ? "line " + std::to_string(number) : "a line of " + span; }

    // Takes a line (kLineSlack readable bytes after it); false when it stops the reading (problem says why).
    bool take(std::string_view text) {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (blank(text)) return true;
        if (kind == Kind::features && text.find('\t') != std::string_view::npos) {
            // A feature line, cut no further than its nine fields; its attributes are read only for the features
            // a window may take.
            std::string_view nine[9];
            const size_t count = nineFields(text, nine);
            int32_t a = 0, b = 0;
            if (count < 9 || !parseIntInBuffer(nine[3], a) || !parseIntInBuffer(nine[4], b) || b < a) {
                problem = name + ": " + where() + " is damaged (" +
                          (count < 9 ? "too few fields" : "its start and end are not positions") + ")";
                return false;
            }
            if (std::find(chroms.begin(), chroms.end(), withoutChrPrefix(nine[0])) == chroms.end()) return true;
            const std::string_view feature = nine[2], attrs = nine[8];
            if (feature != "gene" && feature != "pseudogene" && feature != "ncRNA_gene" && feature != "exon" &&
                feature != "transcript" && feature != "mRNA" &&
                !(attrs.find('=') != std::string_view::npos && attrs.find('"') == std::string_view::npos))
                return true;  // a GTF feature of another type (CDS, UTR, codons): nothing of a gene
            takeFeature(r, nine, a, b);
            return true;
        }
        f = tabFields(text);
        if (kind == Kind::unknown) {
            if (f.size() >= 9 && parseInt(f[3]) && parseInt(f[4])) kind = Kind::features;
            else if (f.size() >= 3 && f.size() != 9 && parseInt(f[1]) && parseInt(f[2])) kind = Kind::bed;
            else {
                problem = name + ": " + where() +
                          " is neither a GTF/GFF3 feature (9 tab-separated fields) nor a BED interval";
                return false;
            }
        }
        const size_t need = kind == Kind::features ? 9 : 3;
        const std::optional<int32_t> a = f.size() >= need ? parseInt(f[kind == Kind::features ? 3 : 1]) : std::nullopt;
        const std::optional<int32_t> b = f.size() >= need ? parseInt(f[kind == Kind::features ? 4 : 2]) : std::nullopt;
        if (!a || !b || *b < *a) {
            problem = name + ": " + where() + " is damaged (" +
                      (f.size() < need ? "too few fields" : "its start and end are not positions") + ")";
            return false;
        }
        if (kind == Kind::features) {
            takeFeature(r, f.data(), *a, *b);
        } else if (!takeBed(r, f, *a, *b)) {
            problem = name + ": " + where() + " has damaged exon lists (fields 10 to 12)";
            return false;
        }
        return true;
    }
};

// The whole file read line by line, decompressed as a table is; false when it stops the reading (in.problem).
bool readWholeFile(const std::string& path, unsigned threads, LineReader& in) {
    // Plain, gzip (inflated with ISA-L), bgzip (on several threads when given them), zstd, xz or bzip2.
    Outcome<DataSource> opened = openDataSource(path, threads);
    if (std::holds_alternative<Fatal>(opened)) {
        in.problem = in.name + ": cannot be opened";
        return false;
    }
    DataSource& source = std::get<DataSource>(opened);
    FileLines lines(source);
    std::string_view text;
    int got;
    while ((got = lines.next(text)) > 0) {
        ++in.number;
        if (!in.take(text)) return false;
    }
    if (got < 0) {
        // Content the data source refuses (an archive, a variant file) is named; anything else that stops the
        // reading is damage.
        const std::string detail = lines.failure() ? lines.failure()->detail : std::string();
        const size_t is = detail.find("' is "), notTable = detail.find(", not a table");
        if (!source.failed && is != std::string::npos && notTable != std::string::npos && notTable > is)
            in.problem = in.name + ": is " + detail.substr(is + 5, notTable - is - 5) + ", not a GTF, GFF3 or BED file";
        else
            in.problem = in.name + ": the file is damaged (it cannot be read to its end)";
        return false;
    }
    return true;
}

// A bgzip file with its index, opened for reading windows of it; closed on every way out.
struct IndexedFile {
    htsFile* fp = nullptr;
    tbx_t* tbx = nullptr;
    hts_itr_t* itr = nullptr;
    kstring_t line = {0, 0, nullptr};
    ~IndexedFile() {
        free(line.s);
        if (itr) hts_itr_destroy(itr);
        if (tbx) tbx_destroy(tbx);
        if (fp) hts_close(fp);
    }
    // The line just read with kLineSlack readable bytes after it.
    std::string_view text() {
        ks_resize(&line, line.l + kLineSlack + 1);
        return std::string_view(line.s, line.l);
    }
};

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The digits at the start of a column (from 1) of a tab-separated line, as a number; 0 when there are none.
int64_t leadingNumber(std::string_view line, int column) {
    size_t at = 0;
    for (int k = 1; k < column && at != std::string_view::npos; ++k)
        if ((at = line.find('\t', at)) != std::string_view::npos) ++at;
    int64_t value = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) value = value * 10 + (line[at] - '0');
    return value;
}

enum class Indexed { read, absent, unusable };

// Reads the lines of the windows through the index beside a bgzip file (FILE.tbi or FILE.csi): every line that
// overlaps a window widened by the reach of transcripts and exons, once, in file order, so that the lines taken are
// those the whole file would give. absent: no index (or not bgzip); unusable: an index that does not fit the file
// (why in note); both leave the whole file to be read. read with in.problem set: a line stops the reading.
Indexed readThroughIndex(const std::string& path, LineReader& in, std::string& note) {
    if (!fileExists(path + ".tbi") && !fileExists(path + ".csi")) return Indexed::absent;
    hts_set_log_level(HTS_LOG_OFF);  // its problems are told in one line of ours
    IndexedFile x;
    x.fp = hts_open(path.c_str(), "r");
    if (x.fp == nullptr || hts_get_format(x.fp)->compression != bgzf) return Indexed::absent;
    x.tbx = tbx_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (x.tbx == nullptr) {
        note = in.name + ": its index cannot be read (a damaged index?); the whole file is read";
        return Indexed::unusable;
    }
    // The kind from the file's first line (the index leaves the header out).
    std::string_view first;
    int got;
    while ((got = hts_getline(x.fp, KS_SEP_LINE, &x.line)) >= 0) {
        ++in.number;
        first = x.text();
        if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
        if (!LineReader::blank(first)) break;
    }
    if (got < -1) {
        in.problem = in.name + ": the file is damaged (it cannot be read to its end)";
        return Indexed::read;
    }
    if (got == -1) return Indexed::read;  // no feature at all
    if (!in.take(first)) return Indexed::read;
    forgetTaken(in.r);  // the line comes again with its window
    // The index must place the lines as the kind does: GTF/GFF3 by columns 4 and 5 from 1, BED by 2 and 3 from 0.
    const tbx_conf_t& c = x.tbx->conf;
    const bool bedIndex = (c.preset & TBX_UCSC) != 0;
    if (c.sc != 1 || (in.kind == Kind::features && (c.bc != 4 || c.ec != 5 || bedIndex)) ||
        (in.kind == Kind::bed && (c.bc != 2 || c.ec != 3 || !bedIndex))) {
        note = in.name + ": its index was not made for a " + (in.kind == Kind::bed ? "BED" : "GTF or GFF3") +
               " file; the whole file is read";
        return Indexed::unusable;
    }
    // The widened windows of each chromosome the index knows ("chr1" and "1" find each other), merged, in the
    // file's order.
    std::vector<std::string> seqNames;
    int count = 0;
    const char** seqs = tbx_seqnames(x.tbx, &count);
    for (int i = 0; i < count; ++i) seqNames.emplace_back(seqs[i]);
    free(seqs);
    const int64_t reach = in.kind == Kind::features ? kFeatureReach : 0;
    std::vector<std::pair<int, std::pair<int64_t, int64_t>>> spans;  // index id, 1-based inclusive span
    for (const RegionWindow& w : in.r.windows) {
        for (int id = 0; id < count; ++id)
            if (withoutChrPrefix(seqNames[static_cast<size_t>(id)]) == withoutChrPrefix(w.chrom))
                spans.push_back({id, {std::max<int64_t>(1, w.start - reach), int64_t{w.end} + reach}});
    }
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int, std::pair<int64_t, int64_t>>> merged;
    for (const auto& s : spans)
        if (!merged.empty() && merged.back().first == s.first && s.second.first <= merged.back().second.second + 1)
            merged.back().second.second = std::max(merged.back().second.second, s.second.second);
        else
            merged.push_back(s);
    for (size_t k = 0; k < merged.size(); ++k) {
        const int id = merged[k].first;
        const auto [beg, end] = merged[k].second;
        // A line reaching back into the span before (of its chromosome) came with that span already.
        const int64_t earlierEnd = k > 0 && merged[k - 1].first == id ? merged[k - 1].second.second : INT64_MIN;
        if (x.itr) hts_itr_destroy(x.itr);
        in.span = seqNames[static_cast<size_t>(id)] + ":" + std::to_string(beg) + "-" + std::to_string(end);
        x.itr = tbx_itr_queryi(x.tbx, id, beg - 1, end);
        if (x.itr == nullptr) {
            in.problem = in.name + ": its index cannot be searched (a damaged index?)";
            return Indexed::read;
        }
        while ((got = tbx_itr_next(x.fp, x.tbx, x.itr, &x.line)) >= 0) {
            const std::string_view text = x.text();
            // Its start (from 1) as the index reads it, from 0 in a BED file.
            if (earlierEnd != INT64_MIN && leadingNumber(text, c.bc) + (bedIndex ? 1 : 0) <= earlierEnd) continue;
            if (!in.take(text)) return Indexed::read;
        }
        // The index's reader stops at a line it cannot place: an empty line, which a whole read skips, or a
        // damaged one, which a whole read names by its number.
        if (got < -1) {
            note = in.name + ": " + in.where() + " cannot be read through its index; the whole file is read";
            return Indexed::unusable;
        }
    }
    return Indexed::read;
}

}  // namespace

Outcome<GeneFile> readGenes(const std::string& path, const std::vector<RegionWindow>& windows,
                            const std::vector<std::string>& biotypes, unsigned threads) {
    const std::string name = "-genes '" + path + "'";
    Reading r{windows, biotypes, {}, {}, {}, true, 0};
    LineReader in(r, name);
    GeneFile file;
    std::string note;
    const Indexed indexed = readThroughIndex(path, in, note);
    if (!note.empty()) file.warnings.push_back(note);
    if (indexed != Indexed::read) {
        forgetTaken(r);
        in.kind = Kind::unknown;
        in.number = 0;
        in.span.clear();
        readWholeFile(path, threads, in);
    }
    if (!in.problem.empty()) return Fatal{"", in.problem};
    const Kind kind = in.kind;
    if (kind == Kind::features) {
        // Each gene's exons: those of its canonical transcript, or else of the one with the most exon bases; of two
        // alike, the one met first in the file (not the first in the map's order, which depends on what else was
        // read), so that a file read whole or through its index gives the same exons.
        std::map<size_t, std::tuple<bool, int64_t, size_t>> best;  // gene -> canonical, bases, ~order
        for (auto& [tid, t] : r.transcripts) {
            auto g = r.geneById.find(t.gene);
            if (g == r.geneById.end() || t.exons.empty()) continue;
            int64_t bases = 0;
            for (const Exon& e : t.exons) bases += int64_t{e.end} - e.start + 1;
            const std::tuple<bool, int64_t, size_t> rank{t.canonical, bases, ~t.order};
            auto [it, fresh] = best.emplace(g->second, rank);
            if (fresh || rank > it->second) {
                it->second = rank;
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
