// Reading a region of an indexed VCF or BCF panel and computing r2 with the lead from its genotype calls.
#include "region/ld_panel.h"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#define VENNRICK_X86 1
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/parallel.h"
#include "reading/bgzip_inflater.h"
#include "reading/line_buffer.h"
#include "region/panel_calls.h"
#include "settings/region_options.h"

namespace vennrick {
namespace {

bool sameAllele(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

// The panel opened for one region (or a part of it): file, header and index, closed on every way out.
struct Panel {
    htsFile* fp = nullptr;
    bcf_hdr_t* hdr = nullptr;
    hts_idx_t* idx = nullptr;  // BCF
    tbx_t* tbx = nullptr;      // VCF
    bcf1_t* rec = nullptr;
    kstring_t line = {0, 0, nullptr};
    int32_t* gt = nullptr;
    int ngt = 0;
    int fd = -1;                  // the VCF panel, for the inflater
    BgzipInflaterPtr inflater;    // the window's blocks inflated on threads (VCF panels, with threads)
    ~Panel() {
        inflater.reset();  // stops its threads before their descriptor is closed
        if (fd >= 0) close(fd);
        free(gt);
        free(line.s);
        if (rec) bcf_destroy(rec);
        if (tbx) tbx_destroy(tbx);
        if (idx) hts_idx_destroy(idx);
        if (hdr) bcf_hdr_destroy(hdr);
        if (fp) hts_close(fp);
    }
};

// The lines of a VCF panel's window as text, read from the first block the index gives for the window on, in file
// order (by the BGZF reader, or by an inflater that inflates the blocks ahead on threads of its own), up to the first line starting past the window or naming another chromosome: the lines the index's own
// iterator gives, without its copy and its walk over every line. A line starting before the window is the window's
// when it reaches into it, as the index reckons: by the length of its REF, or by an END in its INFO.
class WindowLines {
public:
    // reachingIn: a line starting before the window is its when it reaches into it (else never: the part of a
    // window after another).
    WindowLines(BGZF* fp, BgzipInflater* inflater, std::string chrom, int64_t beg, int64_t end, bool reachingIn)
        : fp_(fp), inflater_(inflater), chrom_(std::move(chrom)), beg_(beg), end_(end), reachingIn_(reachingIn),
          buf_(kBlock) {}

    // 1: the next line (without its line end) and its position; 0: no more; -1: the file is damaged.
    int next(std::string_view& line, int64_t& pos) {
        for (;;) {
            const int got = nextLine(buf_, line, [&](char* to, size_t room) -> int64_t {
                return inflater_ != nullptr ? readInflated(*inflater_, to, room) : bgzf_read(fp_, to, room);
            });
            if (got <= 0) return got;
            const int placed = place(line, pos);
            if (placed != 2) return placed;
        }
    }

private:
    // 1: a line of the window; 2: a line before it; 0: past it; -1: a line the index could not place.
    int place(std::string_view line, int64_t& pos) const {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return -1;
        if (line.substr(0, tab) != chrom_) return 0;
        size_t i = tab + 1;
        if (i >= line.size() || line[i] < '1' || line[i] > '9') return -1;
        pos = 0;
        for (; i < line.size() && i <= tab + 10 && line[i] >= '0' && line[i] <= '9'; ++i) pos = pos * 10 + (line[i] - '0');
        if (i >= line.size() || line[i] != '\t') return -1;
        const int64_t beg = pos - 1;
        if (beg >= end_) return 0;
        if (beg >= beg_) return 1;
        if (!reachingIn_) return 2;
        // Starting before the window: its end, from its REF (the fourth field) and an END in INFO (the eighth).
        std::string_view fields[8];
        size_t count = 0, from = 0;
        while (count < 8) {
            const size_t cut = line.find('\t', from);
            fields[count++] = line.substr(from, cut == std::string_view::npos ? std::string_view::npos : cut - from);
            if (cut == std::string_view::npos) break;
            from = cut + 1;
        }
        if (count < 4 || fields[3].empty()) return -1;
        int64_t end = beg + static_cast<int64_t>(fields[3].size());
        if (count == 8) {
            const std::string info(fields[7]);
            const char* at = nullptr;
            if (info.compare(0, 4, "END=") == 0) at = info.c_str() + 4;
            else if (const size_t found = info.find(";END="); found != std::string::npos) at = info.c_str() + found + 5;
            if (at != nullptr && *at != '.') {
                const long long value = std::strtoll(at, nullptr, 0);
                if (value > beg) end = value;
            }
        }
        return end > beg_ ? 1 : 2;
    }

    static constexpr size_t kBlock = size_t{1} << 20;
    BGZF* fp_;
    BgzipInflater* inflater_;  // when not null, the text comes from it
    std::string chrom_;
    int64_t beg_, end_;  // the window, from 0, end excluded
    bool reachingIn_;
    LineBuffer buf_;
};

std::string siteText(const std::string& chrom, int64_t pos, const std::string_view* alleles, int count) {
    std::string text = chrom + ":" + std::to_string(pos) + " ";
    text += alleles[0];
    for (int k = 1; k < count; ++k) (text += k == 1 ? "/" : ",") += alleles[k];
    return text;
}

constexpr uint32_t kNone = UINT32_MAX;  // a variant not resolved (yet)

// Variants from which another part of the window, read on a thread of its own, pays for itself.
constexpr int64_t kVariantsPerPart = 128;

// What every part of a window reads by: the request, the panel's samples, the variants by position and where
// each variant's planes are.
struct PanelScan {
    explicit PanelScan(const PanelRequest& request) : q(request) {}
    const PanelRequest& q;
    bool isBcf = false;
    bool fromText = false;                 // a VCF whose calls are read from its text
    bool avx2 = false;
    bool subset = false;                   // -ldsamples: the BCF records are cut to the samples kept
    size_t columns = 0;                    // sample columns of a line
    size_t words = 0;                      // words of a plane
    std::vector<uint32_t> keptColumns;     // the columns of the samples kept
    std::vector<uint64_t> keptBits;        // the same as bits of a plane
    std::string panelChrom;                // the chromosome as the panel names it
    std::vector<size_t> order;             // the variants by position
    std::vector<int32_t> sortedPos;        // their positions
    int32_t leadPos = 0;
    std::vector<uint32_t> slot;            // per variant: its planes' place among its part's packed; kNone
};

struct ItrClose {
    void operator()(hts_itr_t* itr) const { hts_itr_destroy(itr); }
};

// A part of the window: the sites starting in [beg, end) (from 0; the first part also takes sites starting before
// it that reach into it), and the variants order[lo..hi) whose positions fall there.
struct PanelPart {
    int64_t beg = 0, end = 0;
    size_t lo = 0, hi = 0;
    std::unique_ptr<hts_itr_t, ItrClose> itr;
    std::vector<uint64_t> packed;            // the planes of its resolved variants, one after another
    std::string nearBelow, nearAbove, atLead;  // sites near the lead, for a lead not found
    const char* problem = nullptr;           // why its reading stopped
};

// Opens the panel and reads its header; the problem, or nullptr.
const char* openPanel(const PanelRequest& q, Panel& p) {
    p.fp = hts_open(q.path.c_str(), "r");
    if (p.fp == nullptr) return "cannot be opened";
    const htsFormat* format = hts_get_format(p.fp);
    if (format->format != bcf && format->format != vcf) return "is not a VCF or BCF file";
    if (format->format == vcf && format->compression != bgzf) return "is not compressed with bgzip, so it cannot be indexed";
    p.hdr = bcf_hdr_read(p.fp);
    if (p.hdr == nullptr) return "its header cannot be read (a damaged file?)";
    return nullptr;
}

// Reads a part of the window from the panel p (opened, its header's samples set), resolving its variants: their
// planes in part.packed, their places in scan.slot. threads > 1: the part's blocks are inflated on that many threads
// (VCF). The problem, or nullptr.
const char* readPart(PanelScan& scan, PanelPart& part, bool first, unsigned threads, Panel& p) {
    const PanelRequest& q = scan.q;
    const size_t words = scan.words;
    const bool noLines = part.itr->finished || part.itr->n_off == 0;
    if (!scan.isBcf && !noLines && threads > 1) {
        // The part's blocks inflated ahead of the reading on threads of their own, from the block it starts in (the
        // bytes of that block before it are let go); without a thread, by the BGZF reader.
        const uint64_t start = part.itr->off[0].u;
        p.fd = open(q.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (p.fd >= 0) p.inflater = startBgzipInflater(p.fd, threads, start >> 16);
        for (size_t skip = start & 0xFFFF; p.inflater != nullptr && skip > 0;) {
            char scratch[4096];
            const int64_t got = readInflated(*p.inflater, scratch, std::min(skip, sizeof scratch));
            if (got <= 0) return "is damaged: its region cannot be reached";
            skip -= static_cast<size_t>(got);
        }
    }
    WindowLines lines(hts_get_bgzfp(p.fp), p.inflater.get(), scan.panelChrom, part.beg, part.end, first);
    if (!scan.isBcf && !noLines && p.inflater == nullptr &&
        bgzf_seek(hts_get_bgzfp(p.fp), static_cast<int64_t>(part.itr->off[0].u), SEEK_SET) < 0)
        return "is damaged: its region cannot be reached";
    p.rec = bcf_init();
    const auto posBegin = scan.sortedPos.begin() + static_cast<std::ptrdiff_t>(part.lo);
    const auto posEnd = scan.sortedPos.begin() + static_cast<std::ptrdiff_t>(part.hi);
    const int32_t leadPos = scan.leadPos;
    std::vector<uint64_t>& packed = part.packed;
    packed.reserve((part.hi - part.lo) * 3 * words);
    int64_t belowPos = INT64_MIN, abovePos = INT64_MAX;
    TextSite site;
    std::string_view line;  // the VCF line being read
    // The line read by htslib, for a line not of the plain form (or every line where GT is declared otherwise).
    auto parseRecord = [&] {
        p.line.l = 0;
        return kputsn(line.data(), line.size(), &p.line) >= 0 && vcf_parse1(&p.line, p.hdr, p.rec) >= 0;
    };
    std::vector<std::string_view> recordAlleles;
    int got;
    for (;;) {
        bool text = false;  // the line is read from its text (site); else htslib has read it (p.rec)
        if (scan.isBcf) {
            got = bcf_itr_next(p.fp, part.itr.get(), p.rec);
            if (got >= 0 && !first && p.rec->pos < part.beg) continue;  // a site of the part before
            // The iterator's records hold every sample: those of -ldsamples are taken out here.
            if (got >= 0 && scan.subset && bcf_subset_format(p.hdr, p.rec) != 0) got = -2;
        } else {
            std::string_view view;
            int64_t pos = 0;
            const int read = noLines ? 0 : lines.next(view, pos);
            got = read > 0 ? 0 : read == 0 ? -1 : -2;
            if (got >= 0) {
                const bool wanted = std::binary_search(posBegin, posEnd, static_cast<int32_t>(pos)) || pos == leadPos ||
                                    (pos < leadPos && pos >= belowPos) || (pos > leadPos && pos <= abovePos);
                if (!wanted) continue;
                line = view;
                text = scan.fromText && cutSite(view, site);
                if (!text && !parseRecord()) {
                    got = -2;
                    break;
                }
            }
        }
        if (got < 0) break;
        const int64_t pos = text ? site.pos : p.rec->pos + 1;
        const bool near = (pos < leadPos && pos >= belowPos) || (pos > leadPos && pos <= abovePos) || pos == leadPos;
        auto range = std::equal_range(posBegin, posEnd, static_cast<int32_t>(pos));
        if (range.first == range.second && !near) continue;
        if (!text) {
            bcf_unpack(p.rec, BCF_UN_STR);
            recordAlleles.assign(p.rec->d.allele, p.rec->d.allele + p.rec->n_allele);
        }
        const std::vector<std::string_view>& alleles = text ? site.alleles : recordAlleles;
        if (near) {
            const std::string where = siteText(scan.panelChrom, pos, alleles.data(), static_cast<int>(alleles.size()));
            if (pos < leadPos) belowPos = pos, part.nearBelow = where;
            else if (pos > leadPos) { if (pos < abovePos) abovePos = pos, part.nearAbove = where; }
            else part.atLead += (part.atLead.empty() ? "" : "; ") + where;
        }
        if (range.first == range.second) continue;
        bool haveCalls = false;
        for (auto it = range.first; it != range.second; ++it) {
            const size_t j = scan.order[static_cast<size_t>(it - scan.sortedPos.begin())];
            if (scan.slot[j] != kNone) continue;
            const LdVariant& v = q.variants[j];
            int allele = 0;  // the ALT allele counted; 0: every non-reference allele
            if (!v.allele1.empty() && !v.allele2.empty()) {
                for (size_t k = 1; k < alleles.size() && allele == 0; ++k)
                    if ((sameAllele(alleles[0], v.allele1) && sameAllele(alleles[k], v.allele2)) ||
                        (sameAllele(alleles[0], v.allele2) && sameAllele(alleles[k], v.allele1)))
                        allele = static_cast<int>(k);
                if (allele == 0) continue;
            }
            packed.resize(packed.size() + 3 * words);
            uint64_t* planes = packed.data() + packed.size() - 3 * words;
            PlaneWriter writer(planes, words);
            if (text && textDosages(site, scan.columns, allele, scan.avx2, writer)) {
                if (scan.subset)  // the columns -ldsamples leaves out take no part
                    for (size_t plane = 0; plane < 3; ++plane)
                        for (size_t w = 0; w < words; ++w) planes[plane * words + w] &= scan.keptBits[w];
            } else if (text) {
                // Not of the plain form: htslib reads the line, as every line of a panel it cannot be read from.
                if (!parseRecord()) {
                    got = -2;
                    break;
                }
                text = false;
            }
            if (!text) {
                if (!haveCalls) {
                    const int n = bcf_get_genotypes(p.hdr, p.rec, &p.gt, &p.ngt);
                    if (n <= 0) {  // no GT: the site says nothing
                        packed.resize(packed.size() - 3 * words);
                        break;
                    }
                    haveCalls = true;
                }
                recordDosages(p.gt, p.ngt, scan.keptColumns, allele, planes, words);
            }
            scan.slot[j] = static_cast<uint32_t>(packed.size() / (3 * words) - 1);
        }
        if (got < -1) break;
    }
    return got < -1 ? "is damaged: a record of the region cannot be read" : nullptr;
}

}  // namespace

PanelR2 panelR2(const PanelRequest& q) {
    const auto started = std::chrono::steady_clock::now();
    PanelR2 out;
    out.r2.assign(q.variants.size(), std::nan(""));
    const std::string name = "-ldref '" + q.path + "'";
    auto fail = [&](std::string why) {
        out.warnings.push_back(name + ": " + why + "; the region " + q.chrom + ":" + std::to_string(q.start) + "-" +
                               std::to_string(q.end) + " is drawn without r2");
        return out;
    };
    hts_set_log_level(HTS_LOG_OFF);  // its problems are told in one line of ours
    Panel p;
    const char* problem = openPanel(q, p);
    if (problem != nullptr) return fail(problem);
    const htsFormat* format = hts_get_format(p.fp);
    PanelScan scan(q);
    scan.isBcf = format->format == bcf;
    if (!q.samplesFile.empty()) {
        const int missing = bcf_hdr_set_samples(p.hdr, q.samplesFile.c_str(), 1);
        if (missing < 0) return fail("the samples of -ldsamples '" + q.samplesFile + "' cannot be read");
        if (missing > 0)
            out.warnings.push_back(name + ": sample " + std::to_string(missing) + " of -ldsamples '" + q.samplesFile +
                                   "' is not in the panel; the others are used");
    }
    const size_t samples = static_cast<size_t>(bcf_hdr_nsamples(p.hdr));
    if (samples == 0) return fail("has no samples (or none of -ldsamples)");
    // A VCF's calls are read from its text: its sample columns (all of them; those kept by -ldsamples have a bit in
    // keep) when the header declares GT as the usual string.
    const uint8_t* keep = p.hdr->keep_samples;
    scan.subset = keep != nullptr;
    scan.columns = keep != nullptr ? static_cast<size_t>(p.hdr->nsamples_ori) : samples;
    // The dosages are packed by column: a sample left out has no bit in any plane, so takes no part, like a missing
    // call.
    scan.words = (scan.columns + 63) / 64;
    scan.keptBits.assign(scan.words, 0);
    for (size_t c = 0; c < scan.columns; ++c)
        if (keep == nullptr || (keep[c >> 3] >> (c & 7) & 1)) {
            scan.keptColumns.push_back(static_cast<uint32_t>(c));
            scan.keptBits[c >> 6] |= uint64_t{1} << (c & 63);
        }
    if (scan.keptColumns.size() != samples) return fail("its samples cannot be told apart (a damaged header?)");
    const int gtId = bcf_hdr_id2int(p.hdr, BCF_DT_ID, "GT");
#ifdef VENNRICK_X86
    scan.avx2 = __builtin_cpu_supports("avx2");
#endif
    scan.fromText = !scan.isBcf && gtId >= 0 && bcf_hdr_idinfo_exists(p.hdr, BCF_HL_FMT, gtId) &&
                    bcf_hdr_id2type(p.hdr, BCF_HL_FMT, gtId) == BCF_HT_STR;

    // The chromosome as the panel names it: as the table does, or with "chr" added or taken away.
    const std::string bare(withoutChrPrefix(q.chrom));
    const std::string names[] = {q.chrom, bare, "chr" + bare};
    int tid = -1;
    if (scan.isBcf) {
        p.idx = bcf_index_load(q.path.c_str());
        if (p.idx == nullptr) return fail("its index (.csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = bcf_hdr_name2id(p.hdr, n.c_str())) >= 0) scan.panelChrom = n;
    } else {
        p.tbx = tbx_index_load(q.path.c_str());
        if (p.tbx == nullptr) return fail("its index (.tbi or .csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = tbx_name2id(p.tbx, n.c_str())) >= 0) scan.panelChrom = n;
    }
    if (tid < 0) {
        int count = 0;
        const char** seqs = scan.isBcf ? bcf_hdr_seqnames(p.hdr, &count) : tbx_seqnames(p.tbx, &count);
        std::string some;
        for (int i = 0; i < count && i < 5; ++i) some += (i ? ", " : "") + std::string(seqs[i]);
        free(seqs);
        return fail("has no chromosome '" + q.chrom + "' (its chromosomes: " + (some.empty() ? "none" : some) +
                    (count > 5 ? ", ..." : "") + ")");
    }

    // The variants by position; each is resolved by the first site that is its.
    std::vector<int32_t> positions;
    for (const LdVariant& v : q.variants) positions.push_back(v.pos);
    scan.order.resize(q.variants.size());
    for (size_t i = 0; i < scan.order.size(); ++i) scan.order[i] = i;
    if (!std::is_sorted(positions.begin(), positions.end()))
        std::stable_sort(scan.order.begin(), scan.order.end(), [&](size_t a, size_t b) { return positions[a] < positions[b]; });
    for (size_t i : scan.order) scan.sortedPos.push_back(positions[i]);
    scan.leadPos = q.variants[q.lead].pos;
    scan.slot.assign(q.variants.size(), kNone);

    // The window cut into parts of about as many variants, read at the same time, each by a reader of its own: a
    // site is read by the part its position falls in (lines starting before the window, by the first), and a
    // variant can only be resolved by a site of its position, so the parts need nothing of each other. On a window
    // of thousands of variants, inflating the blocks is half the work, and each part inflates only its own.
    const unsigned count = partsFor(static_cast<int64_t>(q.variants.size()), q.threads, kVariantsPerPart, 64);
    const int64_t windowBeg = int64_t{q.start} - 1 < 0 ? 0 : q.start - 1;  // from 0
    std::vector<PanelPart> parts;
    for (unsigned k = 0; k < count; ++k) {
        const size_t lo = static_cast<size_t>(partBegin(static_cast<int64_t>(q.variants.size()), k, count));
        const int64_t beg = k == 0 ? windowBeg : std::max<int64_t>(int64_t{scan.sortedPos[lo]} - 1, windowBeg);
        if (k > 0 && beg >= int64_t{q.end}) break;                // variants past the window: no site to read
        if (!parts.empty() && beg <= parts.back().beg) continue;  // one position throughout: no part of its own
        if (!parts.empty()) parts.back().end = beg;
        PanelPart part;
        part.beg = beg;
        part.end = int64_t{q.end};
        part.lo = lo;
        parts.push_back(std::move(part));
    }
    for (size_t k = 0; k < parts.size(); ++k) {
        PanelPart& part = parts[k];
        part.hi = k + 1 < parts.size() ? parts[k + 1].lo : q.variants.size();
        part.itr.reset(scan.isBcf ? bcf_itr_queryi(p.idx, tid, part.beg, part.end) : tbx_itr_queryi(p.tbx, tid, part.beg, part.end));
        if (part.itr == nullptr) return fail("its index cannot be searched for the region");
    }
    runInParallel(static_cast<unsigned>(parts.size()), [&](unsigned k) {
        PanelPart& part = parts[k];
        if (k == 0) {
            part.problem = readPart(scan, part, k == 0, parts.size() == 1 ? q.threads : 1, p);
            return;
        }
        Panel own;
        part.problem = openPanel(q, own);
        if (part.problem == nullptr && !q.samplesFile.empty() &&
            bcf_hdr_set_samples(own.hdr, q.samplesFile.c_str(), 1) < 0)
            part.problem = "its header cannot be read (a damaged file?)";
        if (part.problem == nullptr) part.problem = readPart(scan, part, false, 1, own);
    });
    for (const PanelPart& part : parts)
        if (part.problem != nullptr) return fail(part.problem);

    if (scan.slot[q.lead] == kNone) {
        // The nearest sites below the lead are those of the last part that has one, above it of the first.
        std::string nearBelow, nearAbove, atLead;
        for (const PanelPart& part : parts) {
            if (!part.nearBelow.empty()) nearBelow = part.nearBelow;
            if (nearAbove.empty()) nearAbove = part.nearAbove;
            if (!part.atLead.empty()) atLead += (atLead.empty() ? "" : "; ") + part.atLead;
        }
        const LdVariant& lead = q.variants[q.lead];
        std::string what = "the lead " + (lead.id.empty() ? std::string() : std::string(lead.id) + " ") + "(" + q.chrom +
                           ":" + std::to_string(lead.pos) +
                           (lead.allele1.empty() ? "" : " " + std::string(lead.allele1) + "/" + std::string(lead.allele2)) +
                           ") is not in the panel";
        if (!atLead.empty()) what += "; at its position the panel has " + atLead + " (other alleles)";
        std::string nearest = nearBelow.empty() ? nearAbove : nearAbove.empty() ? nearBelow : nearBelow + " and " + nearAbove;
        what += nearest.empty() ? "; the panel has no site in the region (another build?)"
                                : "; nearest panel sites: " + nearest;
        return fail(what);
    }
    out.leadFound = true;
    // The planes of a resolved variant, in the packed planes of the part that read it.
    std::vector<uint32_t> partOf(q.variants.size(), 0);
    for (uint32_t k = 0; k < parts.size(); ++k)
        for (size_t i = parts[k].lo; i < parts[k].hi; ++i) partOf[scan.order[i]] = k;
    const size_t stride = 3 * scan.words;
    auto planes = [&](size_t j) { return parts[partOf[j]].packed.data() + size_t{scan.slot[j]} * stride; };
    const uint64_t* x = planes(q.lead);
    for (size_t j = 0; j < q.variants.size(); ++j)
        if (scan.slot[j] != kNone) out.r2[j] = j == q.lead ? 1.0 : planesR2(x, planes(j), scan.words);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return out;
}

}  // namespace vennrick
