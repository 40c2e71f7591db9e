// Records of the hit rows, kept by the reader for the lead loci and their labels: where each hit lies and what
// it is called, with its texts in one shared buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vennrick {

// One hit row: a kept row at or above the threshold.
struct HitRecord {
    int64_t row = 0;        // kept-row index: its entry of Value_list, Pos_list and the runs of ID_list
    uint64_t textAt = 0;    // offset of its texts in HitRows::texts: the variant ID, the p-value field, the label
    uint32_t idLength = 0;  // bytes of the variant ID; 0 without an ID column or when the row ends before it
    uint32_t pLength = 0;   // bytes of the p-value field as read, surrounding blanks removed
    int32_t pos = 0;        // position as read, not divided; 0 without a position column
    double value = 0;       // -log10(p) of the row; set in the records of the strongest rows (keepStrongest)
    uint32_t labelLength = 0;  // bytes of the -labelcolumn field; 0 without it or when the row ends before it
};

// The hit records of a piece of the table or of the whole table, in row order.
struct HitRows {
    std::vector<HitRecord> records;
    std::string texts;  // the records' texts, one after another

    std::string_view id(const HitRecord& h) const { return std::string_view(texts).substr(h.textAt, h.idLength); }
    std::string_view pText(const HitRecord& h) const {
        return std::string_view(texts).substr(h.textAt + h.idLength, h.pLength);
    }
    std::string_view label(const HitRecord& h) const {
        return std::string_view(texts).substr(h.textAt + h.idLength + h.pLength, h.labelLength);
    }
    void clear() {
        records.clear();
        texts.clear();
    }
};

// The strongest kept rows are recorded for the report page, at most this many in the end. A piece records the
// rows above its bar and raises the bar each time it holds twice this many.
constexpr size_t kStrongestRows = 50000;

// Keeps the `keep` strongest records (the largest value; of equal values the earlier row), strongest first when
// `sorted`, with their texts packed again. When `keep` remain, bar rises to the value of the weakest of them: a
// later row must be stronger to take part. O(n) (O(n log n) sorted).
void keepStrongest(HitRows& rows, size_t keep, double& bar, bool sorted = false);

}  // namespace vennrick
