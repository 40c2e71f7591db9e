// Chromosome order: natural order of the names tables write, a chromosome's stretches merged, names shown as
// chromosomes.
#include "analysis/chromosome_order.h"
#include "test_support.h"

using namespace vennrick;

namespace {

// The IDs of the order, joined by spaces.
std::string ids(const ChromosomeOrder& order) {
    std::string all;
    for (const Chromosome& c : order.chromosomes) all += (all.empty() ? "" : " ") + c.id;
    return all;
}

}  // namespace

TEST(chromosome_order_test, chromosomes_in_natural_order_with_their_rows_merged) {
    // A table sorted as text, with chromosome 1 in two stretches and names of every kind.
    const std::vector<std::string> file = {"1", "10", "11", "2", "1", "MT", "X", "chr3", "Y", "scaffold_b",
                                           "22", "XY", "scaffold_a", "023", "100"};
    std::vector<IdRun> runs;
    for (const std::string& id : file) runs.push_back({id, 2});
    const ChromosomeOrder order = orderChromosomes(runs);
    EXPECT_EQ(ids(order), "1 2 chr3 10 11 22 023 100 X Y XY MT scaffold_b scaffold_a");
    EXPECT_EQ(order.chromosomes[0].rows, 4) << "both stretches of 1";
    EXPECT_EQ(order.ofRun[0], order.ofRun[4]);
    EXPECT_EQ(order.chromosomes[order.ofRun[1]].id, "10");
    EXPECT_TRUE(naturallyBefore("chr9", "CHR10") && naturallyBefore("M", "scaffold") && !naturallyBefore("10", "010"));
}

TEST(chromosome_order_test, table_names_order_and_show_as_chromosomes) {
    // chr-prefixed names and plink's codes, read by name: in natural order, shown without chr and as X, Y, XY, MT.
    std::vector<IdRun> runs;
    for (const std::string& id : {"chr10", "chr2", "23", "chr1", "26", "24", "chrY_random"}) runs.push_back({id, 2});
    std::vector<std::string> shown;
    for (const Chromosome& c : orderChromosomes(runs, true).chromosomes) shown.push_back(c.shown);
    EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "10", "X", "Y", "MT", "Y_random"}));
    shown.clear();
    for (const Chromosome& c : orderChromosomes(runs, false).chromosomes) shown.push_back(c.shown);
    EXPECT_EQ(shown, (std::vector<std::string>{"chr1", "chr2", "chr10", "23", "24", "26", "chrY_random"}));
}
