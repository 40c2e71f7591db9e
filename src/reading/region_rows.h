// Rows for the regional plots, gathered as the table is read (region_gathering): for the rows inside a region
// their position, value, variant ID, p-value text and alleles, with the texts in one shared buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


namespace vennrick {

struct RegionRow {
    int64_t row = 0;       // kept-row index: its entry of Value_list and Pos_list
    int32_t pos = 0;       // position as read
    double value = 0;      // -log10(p) as kept
    uint64_t textAt = 0;   // offset of its texts in RegionRows::texts: chromosome, ID, p-value, allele 1, allele 2
    uint32_t chrLength = 0, idLength = 0, pLength = 0, a1Length = 0, a2Length = 0;
};

struct RegionRows {
    std::vector<RegionRow> records;  // in row order
    std::string texts;
    uint64_t positionsBack = 0;  // -regions leads: rows whose position went back within a chromosome
    uint64_t dropped = 0;        // -regions leads: rows let go for want of room while waiting for a hit

    std::string_view chr(const RegionRow& r) const { return text(r.textAt, r.chrLength); }
    std::string_view id(const RegionRow& r) const { return text(r.textAt + r.chrLength, r.idLength); }
    std::string_view pText(const RegionRow& r) const { return text(r.textAt + r.chrLength + r.idLength, r.pLength); }
    std::string_view allele1(const RegionRow& r) const {
        return text(r.textAt + r.chrLength + r.idLength + r.pLength, r.a1Length);
    }
    std::string_view allele2(const RegionRow& r) const {
        return text(r.textAt + r.chrLength + r.idLength + r.pLength + r.a1Length, r.a2Length);
    }

private:
    std::string_view text(uint64_t at, uint32_t length) const { return std::string_view(texts).substr(at, length); }
};

}  // namespace vennrick
