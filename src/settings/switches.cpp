// Collecting the switches from the command line, and the lookup rule.
#include "settings/switches.h"

#include <algorithm>

#include "settings/switch_table.h"

namespace vennrick {

const std::vector<std::string_view>& recognisedSwitches() {
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> names;
        for (const SwitchDeclaration& d : switchTable())
            if (d.name != "-M") names.push_back(d.name);
        return names;
    }();
    return kNames;
}

bool isRecognisedSwitch(std::string_view arg) {
    const std::vector<std::string_view>& names = recognisedSwitches();
    return std::find(names.begin(), names.end(), arg) != names.end();
}

SwitchList collectSwitches(const std::vector<std::string>& args) {
    SwitchList switches;
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        const std::string& arg = args[i];
        if (isRecognisedSwitch(arg)) {
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
