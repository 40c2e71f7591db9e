// How text from the command line or the data is shown inside a one-line message.
#include "base/fatal.h"

namespace vennrick {

std::string shownText(std::string_view text) {
    constexpr size_t kShown = 60;
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (char c : text.substr(0, kShown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) shown += c;
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (c == '\r') shown += "\\r";
        else shown += std::string{'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
    if (text.size() > kShown) shown += "...";
    return shown;
}

}  // namespace vennrick
