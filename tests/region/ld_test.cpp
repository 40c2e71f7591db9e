// r2 for the regional plots: tables of pairs in both common forms, matching by position and ID; and the panel
// through htslib: hard calls, haploid and missing calls, multi-allelic sites matched by their alleles, "chr"
// naming, a lead the panel lacks, damaged files.
#include "region/ld_panel.h"
#include "region/ld_table.h"
#include "region/panel_calls.h"

#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cmath>
#include <cstring>
#include <random>

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

TEST(ld, pairTablesOfBothFormsKeepThePairsOfTheLeads) {
    ScratchDir dir;
    writeFile(dir.file("a.ld"),
              " CHR_A         BP_A   SNP_A  CHR_B         BP_B   SNP_B           R2 \n"
              "     7      1000    rs1      7      900      rs0  0.5 \n"
              "     7      1100    rs2      7      1000     rs1  0.25 \n"
              "     7      1000    rsX      7      800      rs8  0.9 \n"   // another variant at the lead's place
              "     8      1000    rs1      8      700      rs7  0.9 \n"
              "     7      1000    rs1      7      1200     rs3  nan \n");
    Outcome<LdTable> got = readLdTable(dir.file("a.ld"), {{"chr7", 1000, "rs1"}});
    ASSERT_TRUE(std::holds_alternative<LdTable>(got)) << std::get<Fatal>(got).detail;
    const LdTable& t = std::get<LdTable>(got);
    ASSERT_EQ(t.partners[0].size(), 2u);
    const std::vector<LdVariant> v = {{900, "rs0"}, {1000, "rs1"}, {1100, ""}, {1100, "other"}, {1200, "rs3"}};
    const std::vector<double> r2 = tableR2(t.partners[0], v, 1);
    EXPECT_EQ(r2[0], 0.5);
    EXPECT_EQ(r2[1], 1);
    EXPECT_EQ(r2[2], 0.25);       // by position alone where the row has no ID
    EXPECT_TRUE(std::isnan(r2[3]));  // another ID at that position
    EXPECT_TRUE(std::isnan(r2[4]));  // nan in the table

    writeFile(dir.file("b.ld.gz"), compressed("#CHROM_A\tPOS_A\tID_A\tCHROM_B\tPOS_B\tID_B\tUNPHASED_R2\n"
                                              "7\t1000\trs1\t7\t900\trs0\t0.125\n", "wg"));
    Outcome<LdTable> two = readLdTable(dir.file("b.ld.gz"), {{"7", 1000, ""}});
    ASSERT_TRUE(std::holds_alternative<LdTable>(two));
    EXPECT_EQ(std::get<LdTable>(two).partners[0].at(0).r2, 0.125);

    writeFile(dir.file("c.ld"), "CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2\n7 x rs1 7 5 rs2 0.1\n");
    ASSERT_TRUE(std::holds_alternative<Fatal>(readLdTable(dir.file("c.ld"), {{"7", 1000, ""}})));
    writeFile(dir.file("d.ld"), "CHR BP SNP\n");
    ASSERT_TRUE(std::holds_alternative<Fatal>(readLdTable(dir.file("d.ld"), {{"7", 1000, ""}})));
}

TEST(ld, dosageCorrelation) {
    const int8_t x[] = {0, 1, 2, 2, -1, 0}, y[] = {0, 1, 2, 2, 2, -1}, z[] = {2, 1, 0, 0, 0, 2}, c[] = {1, 1, 1, 1, 1, 1};
    EXPECT_DOUBLE_EQ(dosageR2(x, y, 6), 1);   // the missing calls of either take no part
    EXPECT_DOUBLE_EQ(dosageR2(x, z, 6), 1);   // r = -1
    EXPECT_TRUE(std::isnan(dosageR2(x, c, 6)));  // no variation
    const int8_t a[] = {0, 0, 1, 1}, b[] = {0, 1, 0, 1};
    EXPECT_DOUBLE_EQ(dosageR2(a, b, 4), 0);
}

TEST(ld, packedDosagesGiveTheSameR2ToTheLastBit) {
    std::mt19937 random(7);
    for (size_t samples : {1, 2, 63, 64, 65, 130, 2504}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<int8_t> x(samples), y(samples);
            for (size_t s = 0; s < samples; ++s) {
                x[s] = static_cast<int8_t>(static_cast<int>(random() % 4) - 1);
                y[s] = random() % 3 == 0 ? x[s] : static_cast<int8_t>(static_cast<int>(random() % 4) - 1);
            }
            const double a = dosageR2(x.data(), y.data(), samples), b = packedR2(x.data(), y.data(), samples);
            if (std::isnan(a)) EXPECT_TRUE(std::isnan(b)) << samples;
            else EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << samples << ": " << a << " against " << b;
        }
    }
}

// A panel of six samples as a bgzipped, indexed VCF.
std::string writePanel(const ScratchDir& dir, const std::string& records, const std::string& name = "p.vcf.gz") {
    const std::string text = "##fileformat=VCFv4.2\n##contig=<ID=chr2>\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"GT\">\n"
                             "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tA\tB\tC\tD\tE\tF\n" + records;
    const std::string path = dir.file(name);
    writeFile(path, compressed(text, "w"));
    EXPECT_EQ(tbx_index_build(path.c_str(), 0, &tbx_conf_vcf), 0);
    return path;
}

TEST(ld, panelCallsHaploidMissingAndMultiallelicSites) {
    ScratchDir dir;
    const std::string path = writePanel(dir,
        "chr2\t100\tl\tA\tG\t.\tPASS\t.\tGT\t0|0\t0/1\t1|1\t0|1\t1\t./.\n"     // the lead: 0 1 2 1 (haploid 1: 2) missing
        "chr2\t200\ts\tC\tT\t.\tLowQual\t.\tGT\t0/0\t0|1\t1/1\t0/1\t1\t1/1\n"  // the same counts, a FILTER value
        "chr2\t300\tm\tC\tT,G\t.\tPASS\t.\tGT\t0/0\t1/2\t2/2\t0/2\t2\t0/0\n"   // its G allele follows the lead
        "chr2\t400\tz\tA\tC\t.\tPASS\t.\tGT\t1/1\t0/1\t0/0\t0/1\t0\t.\n");     // opposite; F missing (haploid '.')
    PanelRequest q{path, "", "2", 1, 1000,
                   {{100, "l", "G", "A"}, {200, "", "T", "C"}, {300, "m", "G", "C"}, {300, "m2", "T", "C"}, {400, "", "", ""},
                    {500, "", "", ""}, {300, "x", "A", "T"}},
                   0};
    PanelR2 r = panelR2(q);
    ASSERT_TRUE(r.leadFound) << (r.warnings.empty() ? "" : r.warnings[0]);
    EXPECT_DOUBLE_EQ(r.r2[0], 1);
    EXPECT_DOUBLE_EQ(r.r2[1], 1);
    EXPECT_DOUBLE_EQ(r.r2[2], 1);
    EXPECT_LT(r.r2[3], 0.5);  // the T allele of the same site does not
    EXPECT_DOUBLE_EQ(r.r2[4], 1);
    EXPECT_TRUE(std::isnan(r.r2[5]));  // no panel site

    // -ldsamples: four samples.
    writeFile(dir.file("s.txt"), "A\nB\nC\nD\n");
    q.samplesFile = dir.file("s.txt");
    EXPECT_DOUBLE_EQ(panelR2(q).r2[1], 1);

    // The lead the panel lacks: named with the nearest sites.
    q.samplesFile.clear();
    q.lead = 5;
    PanelR2 missing = panelR2(q);
    EXPECT_FALSE(missing.leadFound);
    ASSERT_EQ(missing.warnings.size(), 1u);
    EXPECT_NE(missing.warnings[0].find("is not in the panel; nearest panel sites: chr2:400 A/C"), std::string::npos)
        << missing.warnings[0];
    q.lead = 6;  // present at its position with other alleles
    EXPECT_NE(panelR2(q).warnings.at(0).find("at its position the panel has chr2:300 C/T,G"), std::string::npos);

    // Another chromosome name.
    q.lead = 0;
    q.chrom = "3";
    EXPECT_NE(panelR2(q).warnings.at(0).find("has no chromosome '3' (its chromosomes: chr2)"), std::string::npos);
}

// The records of a VCF written again as an indexed BCF by htslib, so read by htslib's parser alone.
std::string asBcf(const std::string& vcf, const std::string& bcfPath) {
    htsFile* in = hts_open(vcf.c_str(), "r");
    bcf_hdr_t* hdr = bcf_hdr_read(in);
    htsFile* out = hts_open(bcfPath.c_str(), "wb");
    EXPECT_EQ(bcf_hdr_write(out, hdr), 0);
    bcf1_t* rec = bcf_init();
    while (bcf_read(in, hdr, rec) == 0) EXPECT_EQ(bcf_write(out, hdr, rec), 0);
    bcf_destroy(rec);
    bcf_hdr_destroy(hdr);
    hts_close(in);
    hts_close(out);
    EXPECT_EQ(bcf_index_build(bcfPath.c_str(), 14), 0);
    return bcfPath;
}

void expectSameR2(const PanelR2& a, const PanelR2& b, const std::string& what) {
    ASSERT_TRUE(a.leadFound) << what << (a.warnings.empty() ? "" : a.warnings[0]);
    ASSERT_TRUE(b.leadFound) << what << (b.warnings.empty() ? "" : b.warnings[0]);
    ASSERT_EQ(a.r2.size(), b.r2.size());
    size_t known = 0;
    for (size_t j = 0; j < a.r2.size(); ++j) {
        if (std::isnan(a.r2[j])) {
            EXPECT_TRUE(std::isnan(b.r2[j])) << what << " variant " << j;
            continue;
        }
        ++known;
        EXPECT_EQ(std::memcmp(&a.r2[j], &b.r2[j], sizeof(double)), 0) << what << " variant " << j << ": " << a.r2[j]
                                                                        << " against " << b.r2[j];
    }
    EXPECT_GT(known, a.r2.size() / 2) << what;
}

// The calls read from a VCF's text are those htslib reads (here from the same records written as BCF): calls of
// every form (phased or not, haploid, missing alleles, alleles of two digits, GT after another key, a sample without
// its GT, a column of spaces htslib is left to read), with and without -ldsamples.
TEST(ld, callsReadFromTheTextAreThoseOfHtslib) {
    ScratchDir dir;
    std::mt19937 random(11);
    const int samples = 150;
    std::string header = "##fileformat=VCFv4.2\n##contig=<ID=chr2>\n"
                         "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"GT\">\n"
                         "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"DP\">\n"
                         "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (int s = 0; s < samples; ++s) header += "\tS" + std::to_string(s);
    std::string records;
    std::vector<LdVariant> variants;
    std::vector<std::string> alts;  // kept for the variants' allele views
    alts.reserve(400);
    const char* twelve = "G,T,C,AA,AC,AG,AT,CA,CC,CG,CT,GA";
    for (int i = 1; i <= 300; ++i) {
        const int kind = i == 150 ? 0 : static_cast<int>(random() % 10);
        const bool many = kind == 7;  // twelve ALT alleles: indexes of two digits
        const int nAlt = many ? 12 : kind == 6 ? 2 : 1;
        const std::string format = kind == 8 ? "DP:GT" : kind == 5 ? "GT:DP" : "GT";
        records += "chr2\t" + std::to_string(i * 100) + "\tv" + std::to_string(i) + "\tA\t" +
                   (many ? twelve : nAlt == 2 ? "G,T" : "G") + "\t.\tPASS\t.\t" + format;
        const int base = static_cast<int>(random() % 3);  // a linkage block: calls near a shared pattern
        for (int s = 0; s < samples; ++s) {
            std::string call;
            const unsigned r = random() % 100;
            auto allele = [&] { return std::to_string(random() % 4 == 0 ? random() % (nAlt + 1) : (s + base) % 2); };
            if (r < 5) call = r < 2 ? "./." : r < 3 ? "." : r < 4 ? "0/." : ".|1";
            else if (r < 10) call = allele();  // haploid
            else call = allele() + (r % 2 ? "|" : "/") + allele();
            if (kind == 9 && s == 17) call = "0|1000000";  // an allele of seven digits: htslib reads the line
            if (format == "DP:GT") call = (kind == 8 && s == 40 ? "7" : "7:" + call);  // sample 40 without its GT
            if (format == "GT:DP") call += ":3";
            records += "\t" + call;
        }
        records += "\n";
        // A variant for each ALT allele of some sites, by position alone for others.
        if (random() % 5 == 0) {
            variants.push_back({i * 100, "", "", ""});
        } else {
            const int k = 1 + static_cast<int>(random() % static_cast<unsigned>(nAlt));
            std::string_view all = many ? twelve : nAlt == 2 ? "G,T" : "G";
            for (int skip = 1; skip < k; ++skip) all.remove_prefix(all.find(',') + 1);
            alts.push_back(std::string(all.substr(0, all.find(','))));
            variants.push_back({i * 100, "", alts.back(), "A"});
        }
    }
    const std::string vcf = dir.file("many.vcf.gz");
    writeFile(vcf, compressed(header + "\n" + records, "w"));
    ASSERT_EQ(tbx_index_build(vcf.c_str(), 0, &tbx_conf_vcf), 0);
    const std::string bcfPath = asBcf(vcf, dir.file("many.bcf"));
    PanelRequest q{vcf, "", "2", 1, 40000, variants, 149};
    expectSameR2(panelR2(q), panelR2(PanelRequest{bcfPath, "", "2", 1, 40000, variants, 149}), "every sample:");
    // The window's blocks inflated on threads: from the first block on, and from a block inside the file.
    PanelRequest threaded = q;
    threaded.threads = 3;
    expectSameR2(panelR2(q), panelR2(threaded), "on threads:");
    PanelRequest later{vcf, "", "2", 15000, 40000, std::vector<LdVariant>(variants.begin() + 149, variants.end()), 0};
    PanelR2 oneThread = panelR2(later);
    later.threads = 3;
    expectSameR2(oneThread, panelR2(later), "on threads, a later window:");
    std::string some;
    for (int s = samples - 1; s >= 0; s -= 3) some += "S" + std::to_string(s) + "\n";
    writeFile(dir.file("some.txt"), some);
    q.samplesFile = dir.file("some.txt");
    PanelR2 subset = panelR2(q);
    q.path = bcfPath;
    expectSameR2(subset, panelR2(q), "-ldsamples:");
}

// A window of many variants is read in parts on threads, each part by a reader of its own: the r2 and the messages
// are those of one reader (and the calls of the VCF's text those htslib reads from the BCF), on VCF and BCF panels, whatever the number of parts: with deletions and END= sites that
// start in one part and reach into the next, a site before the window that reaches into it, sites of several records
// at one position (each variant resolved by the first that is its), variants not in position order, and leads the
// panel lacks, whose nearest sites may lie in two parts.
TEST(ld, partsOfAWindowGiveTheR2AndMessagesOfOneReader) {
    ScratchDir dir;
    std::mt19937 random(5);
    const int samples = 24;
    std::string records;
    std::vector<LdVariant> variants;
    std::vector<std::string> alleles;  // kept for the variants' allele views
    alleles.reserve(4000);
    auto site = [&](int pos, const std::string& ref, const std::string& alt, const std::string& info) {
        records += "chr2\t" + std::to_string(pos) + "\t.\t" + ref + "\t" + alt + "\t.\tPASS\t" + info + "\tGT";
        const int base = static_cast<int>(random() % 4);
        for (int s = 0; s < samples; ++s) {
            const unsigned r = random() % 100;
            auto allele = [&] { return std::to_string(r < 15 ? random() % 2 : (s * 7 + base) / 3 % 2); };
            records += "\t" + (r < 3 ? std::string("./.") : allele() + "|" + allele());
        }
        records += "\n";
    };
    auto variant = [&](int pos, const std::string& a1, const std::string& a2) {
        alleles.push_back(a1);
        alleles.push_back(a2);
        variants.push_back({pos, "", alleles[alleles.size() - 2], alleles.back()});
    };
    site(1990, std::string(50, 'A'), "A", ".");  // before the window, reaching into it
    variant(1990, "A", "");
    for (int i = 200; i < 1400; ++i) {
        const int pos = 10 * i;
        if (i % 37 == 0) {
            site(pos, std::string(300, 'C'), "C", ".");  // a deletion over the next thirty sites
            variant(pos, std::string(300, 'C'), "C");
        } else if (i % 41 == 0) {
            site(pos, "G", "<DEL>", "END=" + std::to_string(pos + 700));
            variant(pos, "", "");
        } else if (i % 29 == 0) {  // two records of one site: the variants of each, and one by position alone
            site(pos, "C", "T", ".");
            site(pos, "C", "G", ".");
            variant(pos, "C", "G");
            variant(pos, "", "");
            variant(pos, "T", "C");
        } else {
            site(pos, "A", "G", ".");
            variant(pos, "G", "A");
        }
    }
    std::string header = "##fileformat=VCFv4.2\n##contig=<ID=chr2>\n##INFO=<ID=END,Number=1,Type=Integer,Description=\"E\">\n"
                         "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"GT\">\n"
                         "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (int s = 0; s < samples; ++s) header += "\tS" + std::to_string(s);
    const std::string vcf = dir.file("parts.vcf.gz");
    writeFile(vcf, compressed(header + "\n" + records, "w"));
    ASSERT_EQ(tbx_index_build(vcf.c_str(), 0, &tbx_conf_vcf), 0);
    const std::string bcfPath = asBcf(vcf, dir.file("parts.bcf"));
    std::swap(variants[100], variants[900]);  // out of position order
    std::swap(variants[3], variants[600]);
    // The calls of the text (mostly phased calls of alleles 0 and 1, read eight columns at a time) are htslib's.
    expectSameR2(panelR2(PanelRequest{vcf, "", "2", 2000, 14000, variants, 500}),
                 panelR2(PanelRequest{bcfPath, "", "2", 2000, 14000, variants, 500}), "VCF against BCF:");
    for (const std::string& path : {vcf, bcfPath}) {
        PanelRequest q{path, "", "2", 2000, 14000, variants, 500};
        const PanelR2 one = panelR2(q);
        for (unsigned threads : {2u, 3u, 7u}) {
            q.threads = threads;
            const std::string what = path + " on " + std::to_string(threads) + " threads:";
            const PanelR2 parts = panelR2(q);
            expectSameR2(one, parts, what);
            EXPECT_EQ(parts.warnings, one.warnings) << what;
        }
        // With -ldsamples every part keeps the same samples: all of them in the panel, or the tenth not.
        for (const std::string& list : {"S1\nS4\nS5\nS9\nS11\nS12\nS17\nS20\nS23\n", "S1\nS4\nS5\nS9\nS11\nS12\nS17\nS20\nS23\nNOT_THERE\n"}) {
            writeFile(dir.file("samples.txt"), list);
            PanelRequest kept{path, dir.file("samples.txt"), "2", 2000, 14000, variants, 500};
            const PanelR2 oneKept = panelR2(kept);
            const bool lacking = list.find("NOT_THERE") != std::string::npos;
            ASSERT_EQ(oneKept.warnings.size(), lacking ? 1u : 0u) << path;
            if (lacking) EXPECT_NE(oneKept.warnings[0].find("sample 10 of -ldsamples"), std::string::npos) << oneKept.warnings[0];
            size_t differing = 0;
            for (size_t i = 0; i < one.r2.size(); ++i) differing += !(oneKept.r2[i] == one.r2[i]);
            EXPECT_GT(differing, one.r2.size() / 2) << path << ": the samples were not kept";
            kept.threads = 3;
            const PanelR2 keptParts = panelR2(kept);
            expectSameR2(oneKept, keptParts, path + " with -ldsamples on 3 threads:");
            EXPECT_EQ(keptParts.warnings, oneKept.warnings) << path;
        }
        // Leads the panel lacks, about where the parts meet, and one at a site whose alleles are others.
        for (int leadPos : {7005, 7995, 8005, 5505, 10005, 2005, 13995}) {
            std::vector<LdVariant> withLead = variants;
            withLead.push_back({leadPos, "", "", ""});
            PanelRequest missing{path, "", "2", 2000, 14000, withLead, withLead.size() - 1};
            const PanelR2 lone = panelR2(missing);
            ASSERT_EQ(lone.warnings.size(), 1u);
            EXPECT_NE(lone.warnings[0].find("nearest panel sites: chr2:" + std::to_string(leadPos - 5)), std::string::npos)
                << lone.warnings[0];
            for (unsigned threads : {2u, 3u, 7u}) {
                missing.threads = threads;
                EXPECT_EQ(panelR2(missing).warnings, lone.warnings) << path << " on " << threads << " threads";
            }
        }
        std::vector<LdVariant> other = variants;
        other.push_back({2900, "", "A", "T"});  // the site at 2900 is C/T and C/G
        PanelRequest otherAlleles{path, "", "2", 2000, 14000, other, other.size() - 1};
        const PanelR2 lone = panelR2(otherAlleles);
        ASSERT_EQ(lone.warnings.size(), 1u);
        EXPECT_NE(lone.warnings[0].find("at its position the panel has chr2:2900 C/T; chr2:2900 C/G"), std::string::npos)
            << lone.warnings[0];
        otherAlleles.threads = 3;
        EXPECT_EQ(panelR2(otherAlleles).warnings, lone.warnings) << path;
    }
}

TEST(ld, damagedPanelsAndIndexesAreWarnings) {
    ScratchDir dir;
    std::string records;
    for (int i = 1; i <= 3000; ++i) records += "chr2\t" + std::to_string(i * 10) + "\t.\tA\tG\t.\tPASS\t.\tGT\t0|0\t0/1\t1|1\t0|1\t1\t./.\n";
    const std::string path = writePanel(dir, records);
    PanelRequest q{path, "", "chr2", 1, 30000, {{10, "", "", ""}, {29990, "", "", ""}}, 0};
    ASSERT_TRUE(panelR2(q).leadFound);
    const std::string bytes = readFile(path);
    writeFile(path, bytes.substr(0, bytes.size() / 2) + std::string(64, 'x') + bytes.substr(bytes.size() / 2 + 64));
    PanelR2 damaged = panelR2(q);
    ASSERT_FALSE(damaged.warnings.empty());
    writeFile(path, bytes);
    writeFile(path + ".tbi", "garbage");
    PanelR2 index = panelR2(q);
    ASSERT_EQ(index.warnings.size(), 1u);
    EXPECT_NE(index.warnings[0].find("its index (.tbi or .csi) cannot be read"), std::string::npos);
    for (double v : index.r2) EXPECT_TRUE(std::isnan(v));
}

}  // namespace
