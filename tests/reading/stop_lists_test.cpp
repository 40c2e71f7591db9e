// The stop lists of a window: every way of finding them against a byte-by-byte reading.
#include "reading/stop_lists.h"

#include <random>
#include <string>
#include <vector>

#include "test_support.h"

using namespace vennrick;

TEST(stop_lists_test, every_finder_lists_what_a_byte_by_byte_reading_finds) {
    // Windows of every length up to 130 bytes, then longer ones, of delimiters, line ends, carriage returns and
    // other bytes; after each window 64 more bytes of the same kind, which must be left out.
    std::mt19937 random(11);
    const std::string alphabet = "ab\t\t,,\n\n\r0";
    int tested[3] = {0, 0, 0};
    for (uint32_t round = 0; round < 500; ++round) {
        const uint32_t length = round <= 130 ? round : static_cast<uint32_t>(random() % 20000);
        std::string text(length + 64, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        const char delimiter = round % 2 != 0 ? '\t' : ',';
        std::vector<uint32_t> stops, lineEnds;
        bool carriageReturn = false;
        for (uint32_t i = 0; i < length; ++i) {
            if (text[i] == delimiter || text[i] == '\n') stops.push_back(i);
            if (text[i] == '\n') lineEnds.push_back(i);
            carriageReturn |= text[i] == '\r';
        }
        for (StopFinder finder : {StopFinder::oneByOne, StopFinder::grouped, StopFinder::compressed}) {
            if (!canUse(finder)) continue;
            ++tested[static_cast<int>(finder)];
            std::vector<uint32_t> foundStops(length + 16), foundLineEnds(length + 16);
            const StopCounts found =
                findStopsWith(finder, text.data(), length, delimiter, foundStops.data(), foundLineEnds.data());
            foundStops.resize(found.stops);
            foundLineEnds.resize(found.lineEnds);
            const int way = static_cast<int>(finder);
            ASSERT_EQ(foundStops, stops) << way << " " << length;
            ASSERT_EQ(foundLineEnds, lineEnds) << way << " " << length;
            ASSERT_EQ(found.carriageReturn, carriageReturn) << way << " " << length;
        }
    }
    EXPECT_EQ(tested[0], 500);
    // The faster ways where this processor has them (the x86-64 machines of today have the grouped one).
    std::cout << "finders tested: one by one " << tested[0] << ", grouped " << tested[1] << ", compressed "
              << tested[2] << "\n";
}
