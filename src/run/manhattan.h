// The manhattan mode: settings, reading, layout, painting and the image file, in that order.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "report/run_report.h"
#include "settings/switches.h"

namespace vennrick {

// Runs the mode on the collected switches. Console texts go to out, progress and extra messages to err.
// Returns the fatal outcome that ends the run, or nullopt after a complete run. What the stages did goes to
// record (for -report json: record.reportPath is set once the settings ask for a report); its commandLine, the
// arguments as given with the program's name first, is shown on the report page.
std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err, RunRecord& record);

}  // namespace vennrick
