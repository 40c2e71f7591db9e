// The manhattan mode: settings, reading, layout, painting and the image file, in that order.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "settings/switches.h"

namespace vennrick {

// Runs the mode on the collected switches. Console texts go to out, progress and extra messages to err.
// Returns the fatal outcome that ends the run, or nullopt after a complete run.
// commandLine: the arguments as given, the program's name first (shown on the report page).
std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err,
                               const std::vector<std::string>& commandLine = {});

}  // namespace vennrick
