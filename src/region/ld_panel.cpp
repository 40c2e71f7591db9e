// Reading a region of an indexed VCF or BCF panel and computing r2 with the lead from its genotype calls.
#include "region/ld_panel.h"

#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "settings/region_options.h"

namespace vennrick {
namespace {

bool sameAllele(const char* a, std::string_view b) {
    return std::strlen(a) == b.size() && strncasecmp(a, b.data(), b.size()) == 0;
}

// The panel opened for one region: file, header, index and iterator, closed on every way out.
struct Panel {
    htsFile* fp = nullptr;
    bcf_hdr_t* hdr = nullptr;
    hts_idx_t* idx = nullptr;  // BCF
    tbx_t* tbx = nullptr;      // VCF
    hts_itr_t* itr = nullptr;
    bcf1_t* rec = nullptr;
    kstring_t line = {0, 0, nullptr};
    int32_t* gt = nullptr;
    int ngt = 0;
    ~Panel() {
        free(gt);
        free(line.s);
        if (rec) bcf_destroy(rec);
        if (itr) hts_itr_destroy(itr);
        if (tbx) tbx_destroy(tbx);
        if (idx) hts_idx_destroy(idx);
        if (hdr) bcf_hdr_destroy(hdr);
        if (fp) hts_close(fp);
    }
};

// The position of a VCF line, read from its second field; 0 when there is none.
int64_t linePosition(const kstring_t& line) {
    const char* tab = static_cast<const char*>(std::memchr(line.s, '\t', line.l));
    if (tab == nullptr) return 0;
    int64_t pos = 0;
    for (const char* p = tab + 1; p < line.s + line.l && *p >= '0' && *p <= '9'; ++p) pos = pos * 10 + (*p - '0');
    return pos;
}

std::string siteText(const std::string& chrom, const bcf1_t* rec) {
    std::string text = chrom + ":" + std::to_string(rec->pos + 1) + " " + rec->d.allele[0];
    for (int k = 1; k < rec->n_allele; ++k) text += (k == 1 ? "/" : ",") + std::string(rec->d.allele[k]);
    return text;
}

}  // namespace

double dosageR2(const int8_t* x, const int8_t* y, size_t samples) {
    int64_t n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (size_t s = 0; s < samples; ++s) {
        const int a = x[s], b = y[s];
        if ((a | b) < 0) continue;
        ++n;
        sx += a;
        sy += b;
        sxx += a * a;
        syy += b * b;
        sxy += a * b;
    }
    if (n == 0) return std::nan("");
    const double vx = static_cast<double>(n) * sxx - static_cast<double>(sx) * sx;
    const double vy = static_cast<double>(n) * syy - static_cast<double>(sy) * sy;
    if (!(vx > 0) || !(vy > 0)) return std::nan("");
    const double c = static_cast<double>(n) * sxy - static_cast<double>(sx) * sy;
    return std::min(1.0, c * c / (vx * vy));
}

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
    p.fp = hts_open(q.path.c_str(), "r");
    if (p.fp == nullptr) return fail("cannot be opened");
    const htsFormat* format = hts_get_format(p.fp);
    const bool isBcf = format->format == bcf;
    if (format->format != bcf && format->format != vcf) return fail("is not a VCF or BCF file");
    if (format->format == vcf && format->compression != bgzf)
        return fail("is not compressed with bgzip, so it cannot be indexed");
    p.hdr = bcf_hdr_read(p.fp);
    if (p.hdr == nullptr) return fail("its header cannot be read (a damaged file?)");
    if (!q.samplesFile.empty()) {
        const int missing = bcf_hdr_set_samples(p.hdr, q.samplesFile.c_str(), 1);
        if (missing < 0) return fail("the samples of -ldsamples '" + q.samplesFile + "' cannot be read");
        if (missing > 0)
            out.warnings.push_back(name + ": sample " + std::to_string(missing) + " of -ldsamples '" + q.samplesFile +
                                   "' is not in the panel; the others are used");
    }
    const size_t samples = static_cast<size_t>(bcf_hdr_nsamples(p.hdr));
    if (samples == 0) return fail("has no samples (or none of -ldsamples)");

    // The chromosome as the panel names it: as the table does, or with "chr" added or taken away.
    const std::string bare(withoutChrPrefix(q.chrom));
    const std::string names[] = {q.chrom, bare, "chr" + bare};
    int tid = -1;
    std::string panelChrom;
    if (isBcf) {
        p.idx = bcf_index_load(q.path.c_str());
        if (p.idx == nullptr) return fail("its index (.csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = bcf_hdr_name2id(p.hdr, n.c_str())) >= 0) panelChrom = n;
    } else {
        p.tbx = tbx_index_load(q.path.c_str());
        if (p.tbx == nullptr) return fail("its index (.tbi or .csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = tbx_name2id(p.tbx, n.c_str())) >= 0) panelChrom = n;
    }
    if (tid < 0) {
        int count = 0;
        const char** seqs = isBcf ? bcf_hdr_seqnames(p.hdr, &count) : tbx_seqnames(p.tbx, &count);
        std::string some;
        for (int i = 0; i < count && i < 5; ++i) some += (i ? ", " : "") + std::string(seqs[i]);
        free(seqs);
        return fail("has no chromosome '" + q.chrom + "' (its chromosomes: " + (some.empty() ? "none" : some) +
                    (count > 5 ? ", ..." : "") + ")");
    }
    p.itr = isBcf ? bcf_itr_queryi(p.idx, tid, int64_t{q.start} - 1 < 0 ? 0 : q.start - 1, int64_t{q.end})
                : tbx_itr_queryi(p.tbx, tid, int64_t{q.start} - 1 < 0 ? 0 : q.start - 1, int64_t{q.end});
    if (p.itr == nullptr) return fail("its index cannot be searched for the region");
    p.rec = bcf_init();

    // The variants by position; each is resolved by the first site that is its.
    std::vector<int32_t> positions;
    for (const LdVariant& v : q.variants) positions.push_back(v.pos);
    const bool sorted = std::is_sorted(positions.begin(), positions.end());
    std::vector<size_t> order(q.variants.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (!sorted) std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return positions[a] < positions[b]; });
    std::vector<int32_t> sortedPos;
    for (size_t i : order) sortedPos.push_back(positions[i]);
    std::vector<char> resolved(q.variants.size(), 0);
    std::vector<int8_t> dosages(q.variants.size() * samples, -1);
    const int32_t leadPos = q.variants[q.lead].pos;
    std::string nearBelow, nearAbove, atLead;
    int64_t belowPos = INT64_MIN, abovePos = INT64_MAX;
    uint64_t sites = 0;
    int got;
    for (;;) {
        if (isBcf) {
            got = bcf_itr_next(p.fp, p.itr, p.rec);
        } else {
            got = tbx_itr_next(p.fp, p.tbx, p.itr, &p.line);
            if (got >= 0) {
                const int64_t pos = linePosition(p.line);
                const bool wanted = std::binary_search(sortedPos.begin(), sortedPos.end(), static_cast<int32_t>(pos)) ||
                                    pos == leadPos || (pos < leadPos && pos >= belowPos) ||
                                    (pos > leadPos && pos <= abovePos);
                if (!wanted) {
                    ++sites;
                    continue;
                }
                if (vcf_parse1(&p.line, p.hdr, p.rec) < 0) {
                    got = -2;
                    break;
                }
            }
        }
        if (got < 0) break;
        ++sites;
        const int64_t pos = p.rec->pos + 1;
        const bool near = (pos < leadPos && pos >= belowPos) || (pos > leadPos && pos <= abovePos) || pos == leadPos;
        auto range = std::equal_range(sortedPos.begin(), sortedPos.end(), static_cast<int32_t>(pos));
        if (range.first == range.second && !near) continue;
        bcf_unpack(p.rec, BCF_UN_STR);
        if (near) {
            const std::string text = siteText(panelChrom, p.rec);
            if (pos < leadPos) belowPos = pos, nearBelow = text;
            else if (pos > leadPos) { if (pos < abovePos) abovePos = pos, nearAbove = text; }
            else atLead += (atLead.empty() ? "" : "; ") + text;
        }
        if (range.first == range.second) continue;
        bool haveCalls = false;
        for (auto it = range.first; it != range.second; ++it) {
            const size_t j = order[static_cast<size_t>(it - sortedPos.begin())];
            if (resolved[j]) continue;
            const LdVariant& v = q.variants[j];
            int allele = 0;  // the ALT allele counted; 0: every non-reference allele
            if (!v.allele1.empty() && !v.allele2.empty()) {
                for (int k = 1; k < p.rec->n_allele && allele == 0; ++k) {
                    const char* ref = p.rec->d.allele[0];
                    const char* alt = p.rec->d.allele[k];
                    if ((sameAllele(ref, v.allele1) && sameAllele(alt, v.allele2)) ||
                        (sameAllele(ref, v.allele2) && sameAllele(alt, v.allele1)))
                        allele = k;
                }
                if (allele == 0) continue;
            }
            if (!haveCalls) {
                const int n = bcf_get_genotypes(p.hdr, p.rec, &p.gt, &p.ngt);
                if (n <= 0) break;  // no GT: the site says nothing
                haveCalls = true;
            }
            const int ploidy = p.ngt / static_cast<int>(samples);
            int8_t* d = dosages.data() + j * samples;
            for (size_t s = 0; s < samples; ++s) {
                const int32_t* call = p.gt + s * static_cast<size_t>(ploidy);
                int count = 0, called = 0;
                bool missing = false;
                for (int a = 0; a < ploidy; ++a) {
                    if (call[a] == bcf_int32_vector_end) break;
                    if (bcf_gt_is_missing(call[a])) {
                        missing = true;
                        break;
                    }
                    const int index = bcf_gt_allele(call[a]);
                    count += allele == 0 ? index != 0 : index == allele;
                    ++called;
                }
                d[s] = static_cast<int8_t>(missing || called == 0 ? -1 : called == 1 ? 2 * count : std::min(count, 2));
            }
            resolved[j] = 1;
        }
    }
    if (got < -1) return fail("is damaged: a record of the region cannot be read");
    if (!resolved[q.lead]) {
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
    const int8_t* x = dosages.data() + q.lead * samples;
    for (size_t j = 0; j < q.variants.size(); ++j)
        if (resolved[j]) out.r2[j] = j == q.lead ? 1.0 : dosageR2(x, dosages.data() + j * samples, samples);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    (void)sites;
    return out;
}

}  // namespace vennrick
