#include "settings/switches.h"

#include <algorithm>

namespace vennrick {

SwitchList collectSwitches(const std::vector<std::string>& args) {
    SwitchList switches;
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        const std::string& arg = args[i];
        if (std::find(kRecognisedSwitches.begin(), kRecognisedSwitches.end(), arg) != kRecognisedSwitches.end()) {
            switches.push_back(arg);
            switches.push_back(args[i + 1]);
        }
    }
    return switches;
}

long switchPosition(const SwitchList& switches, std::string_view name) {
    auto it = std::find(switches.begin(), switches.end(), name);
    return it == switches.end() ? -1 : static_cast<long>(it - switches.begin());
}

std::optional<std::string> lookupSwitch(const SwitchList& switches, std::string_view name) {
    long at = switchPosition(switches, name);
    if (at < 0 || static_cast<size_t>(at) + 1 >= switches.size()) return std::nullopt;
    return switches[static_cast<size_t>(at) + 1];
}

}  // namespace vennrick
