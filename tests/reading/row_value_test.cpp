// The short-text keys and the memo of p-value fields: a remembered value is always the one the conversion gives.
#include "test_support.h"
#include "reading/row_value.h"

using namespace vennrick;

namespace {

// The key of text, read from a buffer where other bytes follow it.
uint64_t keyInBuffer(const std::string& text, char after) {
    const std::string buffer = text + std::string(8, after);
    return shortTextKey(std::string_view(buffer).substr(0, text.size()));
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(row_value_test, short_texts_have_keys_of_their_own) {
    // Texts that differ only in trailing zero bytes or in a top byte a length could be taken for.
    const std::vector<std::string> texts = {"1", std::string("1\0", 2), std::string("1\0\0\0\0\0\0", 7), "0.5",
                                            "0.50", "12345678", "1234567\x08", "\x07", std::string("\0", 1), "NA"};
    std::set<uint64_t> keys;
    for (const std::string& text : texts) {
        const uint64_t key = keyInBuffer(text, 'x');
        EXPECT_NE(key, 0u) << text;
        EXPECT_EQ(key, keyInBuffer(text, '\0')) << text;  // the bytes after the text do not count
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), texts.size());
    // No key: empty, longer than 8 bytes, or 8 bytes whose last could be a length.
    for (const std::string& text : {std::string(), std::string("123456789"), std::string("1234567\x07")})
        EXPECT_EQ(keyInBuffer(text, 'x'), 0u) << text;
}

TEST(row_value_test, memo_gives_what_the_conversion_gives) {
    // A pool of texts small enough to repeat, large enough to collide in the memo's sets; with -logp and
    // without, switching back and forth.
    std::mt19937 random(5);
    const std::string alphabet = "0123456789.e-+ xN";
    std::vector<std::string> pool;
    for (int i = 0; i < 60000; ++i) {
        std::string text;
        for (unsigned n = 1 + random() % 9; n > 0; --n) text += alphabet[random() % (i % 3 ? 11 : alphabet.size())];
        pool.push_back(text);
    }
    ValueMemo memo;
    for (bool logp : {false, true, false}) {
        memo.prepare(logp);
        for (int i = 0; i < 300000; ++i) {
            const std::string& text = pool[random() % (i % 2 ? pool.size() : 500)];
            const std::string buffer = text + "99999999";
            const std::string_view field = std::string_view(buffer).substr(0, text.size());
            const RowValue want = rowValueOf(text, logp), got = memo.valueOf(field, shortTextKey(field));
            ASSERT_EQ(got.kind, want.kind) << text;
            ASSERT_TRUE(sameBits(got.value, want.value)) << text << " " << logp;
        }
    }
}
