// A row's plotted value from its p-value field, and the memo of recent fields' values.
#include "row_value.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "numbers.h"

namespace vennrick {

RowValue rowValueOf(std::string_view text, bool logp) {
    const std::optional<double> number = parseDouble(text);
    if (logp) {
        if (number) return RowValue{ValueKind::value, *number};
        if (std::optional<double> tiny = minusLog10OfTinyNumber(text))
            return RowValue{ValueKind::value, std::isnan(*tiny) ? -0.0 : 0.0};  // a -log10(p) too close to 0: it is 0
        return RowValue{};
    }
    if (number) {
        if (*number == 0) return RowValue{ValueKind::zero, 0};
        return RowValue{ValueKind::value, -std::log10(*number)};
    }
    // A p-value below the double range, e.g. 1e-400: very significant, not 0.
    if (std::optional<double> tiny = minusLog10OfTinyNumber(text)) return RowValue{ValueKind::value, *tiny};
    return RowValue{};
}

void ValueMemo::prepare(bool logp) {
    if (!sets_) {
        sets_.reset(new Set[kSets]());
    } else if (logp != logp_) {
        std::fill(sets_.get(), sets_.get() + kSets, Set{});
    }
    logp_ = logp;
}

}  // namespace vennrick
