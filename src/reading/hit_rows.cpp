// Records of the hit rows: where each lies and what it is called, texts in one shared buffer.
#include "reading/hit_rows.h"

#include <algorithm>
#include <cmath>

namespace vennrick {

void keepStrongest(HitRows& rows, size_t keep, double& bar, bool sorted) {
    std::vector<HitRecord>& r = rows.records;
    auto stronger = [](const HitRecord& a, const HitRecord& b) {
        return a.value > b.value || (a.value == b.value && a.row < b.row);
    };
    if (r.size() > keep) {
        std::nth_element(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(keep), r.end(), stronger);
        r.resize(keep);
    }
    if (sorted) std::sort(r.begin(), r.end(), stronger);
    std::string texts;
    size_t bytes = 0;
    for (const HitRecord& h : r) bytes += h.idLength + h.pLength + h.labelLength;
    texts.reserve(bytes);
    for (HitRecord& h : r) {
        const uint64_t at = texts.size();
        texts.append(rows.texts, h.textAt, size_t{h.idLength} + h.pLength + h.labelLength);
        h.textAt = at;
    }
    rows.texts = std::move(texts);
    if (keep > 0 && r.size() == keep) {
        double weakest = r.front().value;
        for (const HitRecord& h : r) weakest = std::min(weakest, h.value);
        if (!std::isnan(weakest)) bar = std::max(bar, weakest);
    }
}

}  // namespace vennrick
