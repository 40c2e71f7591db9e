// Lead loci: clumping against a brute-force reference, the .leads table's order and texts, and numbers that
// must read back as written.
#include "test_support.h"
#include "analysis/lead_loci.h"

#include "base/numbers.h"

using namespace vennrick;

namespace {

// The rule as written: the strongest free hit (the earlier on ties) leads; every free hit of its chromosome
// within +-window joins; again until none is free.
std::vector<Locus> bruteForce(const std::vector<PlacedHit>& hits, int32_t window) {
    std::vector<bool> taken(hits.size(), false);
    std::vector<Locus> loci;
    for (;;) {
        size_t lead = hits.size();
        for (size_t i = 0; i < hits.size(); ++i)
            if (!taken[i] && (lead == hits.size() || hits[i].value > hits[lead].value)) lead = i;
        if (lead == hits.size()) return loci;
        Locus locus{lead, hits[lead].chromosome, INT32_MAX, INT32_MIN, 0};
        for (size_t i = 0; i < hits.size(); ++i) {
            if (taken[i] || hits[i].chromosome != hits[lead].chromosome ||
                std::abs(int64_t{hits[i].pos} - hits[lead].pos) > window)
                continue;
            taken[i] = true;
            locus.start = std::min(locus.start, hits[i].pos);
            locus.end = std::max(locus.end, hits[i].pos);
            ++locus.hits;
        }
        loci.push_back(locus);
    }
}

std::string shown(const std::vector<Locus>& loci) {
    std::string s;
    for (const Locus& l : loci)
        s += std::to_string(l.lead) + "@" + std::to_string(l.chromosome) + ":" + std::to_string(l.start) + "-" +
             std::to_string(l.end) + "x" + std::to_string(l.hits) + " ";
    return s;
}

}  // namespace

TEST(lead_loci_test, clumping_follows_the_rule) {
    // Hits 0..4 on one chromosome at 100, 150, 200, 250, 300; window 60. Hit 2 leads and takes 150-250; hit 0
    // lies within 60 of hit 1 but not of the lead, so it leads a locus of its own, and so does hit 4.
    const std::vector<PlacedHit> chain = {{0, 100, 5}, {0, 150, 7}, {0, 200, 9}, {0, 250, 7}, {0, 300, 6}};
    EXPECT_EQ(shown(clumpHits(chain, 60)), "2@0:150-250x3 4@0:300-300x1 0@0:100-100x1 ");
    // Equal values: the earlier hit leads. Equal positions on two chromosomes never join.
    EXPECT_EQ(shown(clumpHits({{1, 10, 8}, {0, 10, 8}, {1, 10, 8}}, 0)), "0@1:10-10x2 1@0:10-10x1 ");
    EXPECT_EQ(shown(clumpHits({{0, INT32_MIN, 1}, {0, INT32_MAX, 2}}, INT32_MAX)),
              "1@0:2147483647-2147483647x1 0@0:-2147483648--2147483648x1 ");

    // Random hit sets, unsorted, with touching and overlapping windows and many equal values; up to 3000 hits
    // so that the rounds of the clumping (256 places first) are crossed.
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        const size_t n = trial < 290 ? 1 + rng() % 60 : 3000;
        const int32_t spread = 1 + static_cast<int32_t>(rng() % 400), window = static_cast<int32_t>(rng() % 40);
        std::vector<PlacedHit> hits(n);
        for (PlacedHit& h : hits)
            h = {static_cast<uint32_t>(rng() % 3), static_cast<int32_t>(rng() % spread),
                 static_cast<double>(rng() % 7)};
        if (trial % 4 == 0)  // in place order already, as a sorted table gives them
            std::sort(hits.begin(), hits.end(),
                      [](auto& a, auto& b) { return a.chromosome * 1000 + a.pos < b.chromosome * 1000 + b.pos; });
        ASSERT_EQ(shown(clumpHits(hits, window)), shown(bruteForce(hits, window))) << "trial " << trial;
    }
}

TEST(lead_loci_test, table_in_genome_order_with_exact_numbers) {
    // Runs 2, 1, 2: chromosome 2 comes first. Hits of rows 0 and 4 (chromosome 2) and 2 (chromosome 1).
    PlotData data;
    data.ID_list = {{"2", 2}, {"1", 1}, {"2", 2}};
    data.Value_list = {400, 1, 8.5, 1, 123.456789012345678};
    HitRows hits;
    auto add = [&](int64_t row, int32_t pos, std::string id, std::string p) {
        hits.records.push_back(
            {row, hits.texts.size(), static_cast<uint32_t>(id.size()), static_cast<uint32_t>(p.size()), pos});
        hits.texts += id + p;
    };
    add(0, 900, "rs\t1", "1e-400");
    add(2, 100, "", "3.1622776601683795e-9");
    add(4, 50, "x", "1.234e-123");
    const LeadLoci leads = findLeadLoci(hits, data, 10);
    std::string asP, asLog;
    writeLeadsTable(leads, hits, data, false, [&](const std::string& t) { asP += t; });
    writeLeadsTable(leads, hits, data, true, [&](const std::string& t) { asLog += t; });
    const std::string head = "CHR\tLEAD_POS\tLEAD_ID\tLEAD_P\tLEAD_LOG10P\tLOCUS_START\tLOCUS_END\tHITS\n";
    EXPECT_EQ(asP, head +
                       "2\t50\tx\t1.234e-123\t123.45678901234568\t50\t50\t1\n2\t900\trs 1\t1e-400\t400\t900\t900\t1\n"
                       "1\t100\t\t3.1622776601683795e-9\t8.5\t100\t100\t1\n");
    // With -logp the table's column is the -log10(p) text, written as read, and p is computed.
    EXPECT_NE(asLog.find("2\t900\trs 1\t1e-400\t1e-400\t"), std::string::npos) << asLog;
    EXPECT_EQ(leadName(leads, hits, leads.loci[2]), "1:100");  // no ID: CHR:POS

    // What is computed reads back as the same number, however small p is.
    EXPECT_EQ(pValueOfLog(400), "1e-400");
    EXPECT_EQ(pValueOfLog(-0.0), "1");
    std::mt19937_64 rng(5);
    for (int i = 0; i < 2000; ++i) {
        const double v =
            std::ldexp(static_cast<double>(rng() >> 11), -53) * std::pow(10.0, static_cast<double>(rng() % 7) - 2);
        EXPECT_EQ(parseDouble(shortestText(v)), v) << v;
        // p as mantissa and exponent: the decimal number the text stands for, whatever a double can hold.
        const std::string p = pValueOfLog(v);
        const size_t e = p.find('e');
        const double back =
            -(std::log10(std::stod(p.substr(0, e))) + (e == std::string::npos ? 0 : std::stod(p.substr(e + 1))));
        EXPECT_NEAR(back, v, 1e-15 * std::max(1.0, v)) << p;
    }
}
