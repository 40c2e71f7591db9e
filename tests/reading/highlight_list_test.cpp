// The -highlight list: which lines name a place (CHR:POS) and which only an ID, and places written two ways.
#include "reading/highlight_list.h"

#include "test_support.h"

using namespace vennrick;

namespace {

// Lines that are not a place are IDs only: nothing before the colon, two colons, a position that is not a whole
// number from 0, or no colon at all (an ID of digits too).
TEST(highlight_list, onlyChrColonPosNamesAPlace) {
    const HighlightList list = makeHighlightList(":100\n1:2:3\n1:-5\n1:x\n12345\nrs7\n  chr2:300  \n# 3:4\n");
    EXPECT_EQ(list.entries.size(), 7u);
    EXPECT_EQ(highlightChrom(list, "", false), -1);
    EXPECT_EQ(highlightChrom(list, "12345", false), -1);
    EXPECT_EQ(highlightChrom(list, "3", false), -1);
    for (const char* id : {":100", "1:2:3", "1:-5", "12345", "rs7", "chr2:300"}) EXPECT_GE(findHighlightId(list, id), 0) << id;
    const int32_t chrom2 = highlightChrom(list, "chr2", false);
    ASSERT_GE(chrom2, 0);
    EXPECT_EQ(findHighlightPlace(list, chrom2, 300), findHighlightId(list, "chr2:300"));
    EXPECT_EQ(findHighlightPlace(list, chrom2, 301), -1);
    EXPECT_EQ(list.places.size(), 2u);  // chr2:300 as written and as a figure shows it (2)
}

// chr1:100 and 1:100 are one place when the table's names are compared as a figure shows them.
TEST(highlight_list, aPlaceWrittenTwoWaysIsOneEntry) {
    const HighlightList list = makeHighlightList("chr1:100\n1:100\n");
    const int32_t first = findHighlightId(list, "chr1:100"), second = findHighlightId(list, "1:100");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const int32_t one = list.sameAs[static_cast<size_t>(first)];
    EXPECT_EQ(list.sameAs[static_cast<size_t>(second)], one);
    EXPECT_EQ(findHighlightPlace(list, highlightChrom(list, "1", true), 100), one);
    EXPECT_EQ(findHighlightPlace(list, highlightChrom(list, "chr1", true), 100), one);
}

}  // namespace
