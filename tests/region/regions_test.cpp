// The regions of a run: -region values, the rows gathered for them as the table is read (in many pieces, on two
// threads, from any order of hits and rows), regions from lead loci, and the data table.
#include "analysis/lead_loci.h"
#include "base/text.h"
#include "reading/table_reader.h"
#include "region/region_data.h"
#include "region/regions.h"
#include "settings/region_options.h"

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

TEST(regions, regionListsAreReadOrRefusedWhole) {
    auto w = parseRegionList("1:100-200,chrX:5-5");
    ASSERT_TRUE(w);
    ASSERT_EQ(w->size(), 2u);
    EXPECT_EQ((*w)[1].chrom, "chrX");
    EXPECT_EQ((*w)[1].start, 5);
    EXPECT_EQ((*w)[0].end, 200);
    for (const char* bad : {"", "1", "1:", ":1-2", "1:2-1", "1:-5-9", "1:1-2147483648", "1:1-2,", "1:a-9", "1:1:2",
                            "1: 1-2", "1:1-2 ", "a b:1-2"})
        EXPECT_FALSE(parseRegionList(bad)) << bad;
    EXPECT_TRUE(parseRegionList("HLA:1:0-2147483647"));  // a name may hold a colon; the last one cuts
}

TEST(regions, stemsAreSafeFileNames) {
    EXPECT_EQ(regionStem("o", "chr1", 5, 9), "o.region.chr1_5_9");
    EXPECT_EQ(regionStem("d/o", "a/../b", 1, 2), "d/o.region.a_.._b_1_2");
    EXPECT_EQ(regionStem("o", "..", 1, 2), "o.region._.._1_2");
}

// A table of one chromosome sorted by position with hits in a few places; read in pieces of 64 bytes on 2 threads.
std::string makeTable(std::mt19937& rng, int rows, std::vector<int>& hitsAt) {
    std::string t = "CHR\tPOS\tSNP\tA1\tA2\tP\n";
    std::uniform_int_distribution<int> gap(1, 400);
    int pos = 1;
    for (int i = 0; i < rows; ++i) {
        pos += gap(rng);
        const bool hit = std::find(hitsAt.begin(), hitsAt.end(), i) != hitsAt.end();
        t += (i % 2 ? "chr3\t" : "chr3\t") + std::to_string(pos) + "\tv" + std::to_string(i) + "\tA\tG\t" +
             (hit ? "1e-" + std::to_string(10 + i % 7) : "0.5") + "\n";
    }
    return t;
}

TEST(regions, leadRegionsHoldEveryRowOfTheirWindowsWhateverThePieces) {
    ScratchDir dir;
    std::mt19937 rng(5);
    for (int round = 0; round < 6; ++round) {
        std::vector<int> hitsAt;
        for (int k = 0; k < 1 + round; ++k) hitsAt.push_back(std::uniform_int_distribution<int>(0, 2999)(rng));
        const std::string text = makeTable(rng, 3000, hitsAt);
        const std::string path = dir.file("t.tsv");
        writeFile(path, text);
        for (size_t chunk : {size_t{64}, size_t{1000}, size_t{1} << 20}) {
            std::ostringstream notices, out, err;
            const std::vector<std::string> args = {"-file", path, "-names", "yes", "-chr", "chr3", "-regions", "leads",
                                                   "-flank", "20000", "-leadwindow", "30000", "-out", dir.file("o")};
            Outcome<TableRead> outcome =
                readTable(std::get<PlotSettings>(readSettings(args, notices)), out, err, ReadOptions{2, false, chunk});
            TableRead& read = std::get<TableRead>(outcome);
            closeHitFile(read.hits);
            LeadLoci leads = findLeadLoci(read.hitRows, read.data, read.settings.leadwindow);
            const std::vector<Region> regions = planRegions(read.settings, leads, read.hitRows);
            ASSERT_EQ(regions.size(), leads.loci.size());
            for (const Region& r : regions) {
                std::vector<std::string> want;
                std::istringstream lines(text);
                std::string line;
                std::getline(lines, line);
                while (std::getline(lines, line)) {
                    std::vector<std::string_view> f = splitAtAny(line, "\t");
                    const int pos = std::stoi(std::string(f[1]));
                    if (pos >= r.start && pos <= r.end) want.push_back(std::string(f[1]) + " " + std::string(f[2]));
                }
                std::vector<std::string> got;
                for (size_t i : rowsInRegion(read.regionRows, r)) {
                    const RegionRow& row = read.regionRows.records[i];
                    got.push_back(std::to_string(row.pos) + " " + std::string(read.regionRows.id(row)));
                    EXPECT_EQ(read.regionRows.allele1(row), "A");
                    EXPECT_EQ(read.regionRows.allele2(row), "G");
                }
                EXPECT_EQ(got, want) << "chunk " << chunk << " region " << r.start << "-" << r.end;
                const std::optional<size_t> lead = regionLead(read.regionRows, rowsInRegion(read.regionRows, r), r);
                ASSERT_TRUE(lead);
                EXPECT_EQ(read.regionRows.records[rowsInRegion(read.regionRows, r)[*lead]].row, *r.leadRow);
            }
            // Far fewer rows are kept than the table has when hits are few.
            if (round == 0) EXPECT_LT(read.regionRows.records.size(), 1500u);
        }
    }
}

TEST(regions, withoutRegionsNothingIsGathered) {
    ScratchDir dir;
    const std::string path = dir.file("t.tsv");
    writeFile(path, "CHR\tPOS\tP\n1\t5\t1e-9\n1\t6\t0.5\n");
    std::ostringstream notices, out, err;
    Outcome<TableRead> outcome = readTable(
        std::get<PlotSettings>(readSettings({"-file", path, "-names", "yes", "-leads", "yes", "-out", dir.file("o")}, notices)),
        out, err, ReadOptions{2, false, 64});
    TableRead& read = std::get<TableRead>(outcome);
    closeHitFile(read.hits);
    EXPECT_TRUE(read.regionRows.records.empty());
}

TEST(regions, dataTableHasTheRowsAsReadAndTheirBins) {
    RegionRows rows;
    auto add = [&](int32_t pos, double value, const std::string& id, const std::string& p) {
        RegionRow r;
        r.pos = pos;
        r.value = value;
        r.textAt = rows.texts.size();
        rows.texts += "1" + id + p;
        r.chrLength = 1;
        r.idLength = static_cast<uint32_t>(id.size());
        r.pLength = static_cast<uint32_t>(p.size());
        rows.records.push_back(r);
    };
    add(10, 2, "a\tb", "1e-2");
    add(20, 400, "", "1e-400");
    add(30, 1, "c", "0.1");
    const std::string text = regionDataText(rows, {0, 1, 2}, {1, 0.2, std::nan("")}, false);
    EXPECT_EQ(text, "CHR\tPOS\tID\tP\tLOG10P\tR2\tLD_BIN\n1\t10\ta b\t1e-2\t2\t1\t0.8-1\n1\t20\t\t1e-400\t400\t0.2\t0.2-0.4\n"
                    "1\t30\tc\t0.1\t1\t\t\n");
}

}  // namespace
