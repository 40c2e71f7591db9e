// A row's plotted value from its p-value field, and a memo of the values of recent short fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace vennrick {

// What a p-value field gives its row.
enum class ValueKind : uint8_t {
    value,       // a value to plot
    zero,        // p = 0: the row is skipped
    unreadable,  // not a number: a fatal row
};

struct RowValue {
    ValueKind kind = ValueKind::unreadable;
    double value = 0;  // with ValueKind::value: -log10(p), or the number itself when the column holds -log10(p)
};

// The value of a p-value field (not the missing marker), by the number conversion and -log10: p = 0 is
// skipped; a p below the double range (1e-400) still has its -log10 from the text. With logp the field is
// -log10(p) already: it is the value, and a number too close to 0 for a double is 0.
RowValue rowValueOf(std::string_view text, bool logp);

// A text of 1 to 8 bytes as one word, so that short texts compare in one step; 0 for any other text. A
// shorter text is padded with zero bytes and its length put in the top byte; an 8-byte text keeps its own top
// byte, which must not be one a length could put there: no two texts share a word. The 8 bytes from
// text.data() on must be readable (those after the text are ignored).
inline uint64_t shortTextKey(std::string_view text) {
    // By length: the bytes kept, and the length tag in the top byte.
    static constexpr uint64_t kKept[9] = {0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF,
                                          0xFFFFFFFFFFFFFF, ~uint64_t{0}};
    static constexpr uint64_t kTag[9] = {0, uint64_t{1} << 56, uint64_t{2} << 56, uint64_t{3} << 56, uint64_t{4} << 56,
                                         uint64_t{5} << 56, uint64_t{6} << 56, uint64_t{7} << 56, 0};
    const size_t n = text.size();
    if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__ || n - 1 >= 8) return 0;
    uint64_t word;
    std::memcpy(&word, text.data(), 8);
    word = (word & kKept[n]) | kTag[n];
    return n < 8 || (word >> 56) >= 8 ? word : 0;
}

// Remembers the values of recently read fields of 1 to 8 bytes, so that a text met again costs one lookup
// instead of a conversion and a logarithm, the two dearest steps of a row. Association tools print p-values
// with few digits ("0.7183"): a table of millions of rows holds some tens of thousands of distinct texts. The
// value remembered is the one rowValueOf gave for the same bytes, so the results are exactly the same.
// Four-way set-associative on a hash of the text's shortTextKey, a new text taking the place of the oldest of
// its set: 512 KiB per thread find 97% of the rows of the generated 10 M-row table (256 KiB 87%, one way of
// 256 KiB 60%, 1 MiB 99% for no less time). It is returned before the painting, whose peak is the run's peak.
// Other texts are converted as usual. One per thread.
class ValueMemo {
public:
    // Readies the memo for fields read with or without logp (the first call makes its slots); the values
    // remembered for the other reading are forgotten.
    void prepare(bool logp);

    // Asks for the slot of the text with the key, ahead of valueOf, so that a batch of rows waits for their
    // slots at the same time.
    void prefetch(uint64_t key) const { __builtin_prefetch(&sets_.get()[setOf(key)]); }

    // rowValueOf(text, logp) for the logp of the last prepare; key is shortTextKey(text).
    RowValue valueOf(std::string_view text, uint64_t key) {
        if (key == 0) return rowValueOf(text, logp_);
        Slot* slots = sets_.get()[setOf(key)].slots;
        // The value's bits of the way that holds the key (at most one does), taken with masks: which way holds a
        // text is random, and a branch per way mispredicted (the compiler made branches of a choice of pointers).
        uint64_t bits = 0, hit = 0;
        for (int way = 0; way < kWays; ++way) {
            const uint64_t same = uint64_t{0} - static_cast<uint64_t>(slots[way].key == key);
            uint64_t valueBits;
            std::memcpy(&valueBits, &slots[way].value, sizeof valueBits);
            bits |= valueBits & same;
            hit |= same;
        }
        if (hit != 0) {
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return RowValue{ValueKind::value, value};
        }
        const RowValue result = rowValueOf(text, logp_);
        if (result.kind == ValueKind::value) {
            for (int way = kWays - 1; way > 0; --way) slots[way] = slots[way - 1];
            slots[0] = Slot{key, result.value};
        }
        return result;
    }

private:
    static constexpr int kSetBits = 13;
    static constexpr size_t kSets = size_t{1} << kSetBits;
    static constexpr int kWays = 4;
    struct Slot {
        uint64_t key;  // 0: empty
        double value;
    };
    struct alignas(64) Set {  // one cache line, newest first
        Slot slots[kWays];
    };
    struct Unmap {
        void operator()(Set* sets) const;
    };
    bool logp_ = false;  // the reading the remembered values belong to
    // kSets, made by the first prepare in a mapping of their own, which returns to the system with the memo:
    // from the heap, they stayed in the parsing thread's arena after the read and raised the peak of the
    // painting that follows.
    std::unique_ptr<Set, Unmap> sets_;

    static size_t setOf(uint64_t key) { return (key * 0x9E3779B97F4A7C15u) >> (64 - kSetBits); }
};

}  // namespace vennrick
