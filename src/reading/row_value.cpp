// A row's plotted value from its p-value field, and the memo of recent fields' values.
#include "reading/row_value.h"

#include <sys/mman.h>

#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "base/numbers.h"

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

void ValueMemo::Unmap::operator()(Set* sets) const { munmap(sets, kSets * sizeof(Set)); }

void ValueMemo::prepare(bool logp) {
    if (!sets_) {
        // Its pages are made at once: a slot is read before it is first written, and a page first read is the
        // shared zero page, whose replacement on the first write flushed the address translations of every
        // core the process runs on (measured: 3% of the run's processor time).
        void* mapped = mmap(nullptr, kSets * sizeof(Set), PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        sets_.reset(static_cast<Set*>(mapped));  // zero-filled: every slot empty
    } else if (logp != logp_) {
        std::memset(static_cast<void*>(sets_.get()), 0, kSets * sizeof(Set));
    }
    logp_ = logp;
}

}  // namespace vennrick
