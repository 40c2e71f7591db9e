// Cutting a line into fields by the table's delimiter, as every reader of table rows does.
#pragma once

#include <cstring>

#include "settings/settings.h"

namespace vennrick {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Hands the fields of the line [p, end) to take(begin, end) in order, until take returns false. A single
// delimiter character cuts every field, empty ones included; "whitespace" cuts at runs of blanks and makes no
// field of blanks at either end.
template <class Take>
void forEachField(const char* p, const char* end, const Delimiter& d, Take&& take) {
    if (d.whitespaceRuns) {
        for (;;) {
            while (p < end && isBlank(*p)) ++p;
            if (p == end) return;
            const char* fieldEnd = p;
            while (fieldEnd < end && !isBlank(*fieldEnd)) ++fieldEnd;
            if (!take(p, fieldEnd)) return;
            p = fieldEnd;
        }
    }
    for (;;) {
        // (an empty line may come as a null pointer, which memchr must not be given even for no bytes)
        const char* delim = p < end ? static_cast<const char*>(std::memchr(p, d.ch, static_cast<size_t>(end - p))) : nullptr;
        if (!take(p, delim != nullptr ? delim : end) || delim == nullptr) return;
        p = delim + 1;
    }
}

}  // namespace vennrick
