// The run's notices for people about its command line: arguments that no switch takes, and values the settings
// took in place of what was written. Each is one line "vennrick: ..." on standard error; -quiet yes silences them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/switches.h"

namespace vennrick {

// The usage line for a run that does nothing, or finds no mode.
std::string usageHint();

// For a run of the manhattan mode (args[0] is the program): arguments that no switch takes, with the
// nearest switch name when one is close, and switches without a value or given twice.
std::vector<std::string> argumentWarnings(const std::vector<std::string>& args);

// Values the settings took in place of what was written: a number that is no number, an unknown delimiter,
// a header flag that is not "yes", a refused chromosome item or window, a threshold on the wrong scale; and
// switches of the lead loci that have no effect without them.
std::vector<std::string> settingsWarnings(const SwitchList& switches, const PlotSettings& settings);

}  // namespace vennrick
