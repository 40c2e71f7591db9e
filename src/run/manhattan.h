// The manhattan mode: settings, reading, layout, painting and the image file, in that order.
#pragma once

#include <optional>
#include <ostream>

#include "base/fatal.h"
#include "settings/switches.h"

namespace vennrick {

// Runs the mode on the collected switches. Console texts go to out, progress and extra messages to err.
// Returns the fatal outcome that ends the run, or nullopt after a complete run.
std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err);

}  // namespace vennrick
