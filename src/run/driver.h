// The run driver: banner, argument echo, mode search, switch collection, clock lines, dispatch, and the
// only place where a fatal outcome is printed and turned into the exit status.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vennrick {

// "\nDONE in ...\n\n" for an elapsed time in milliseconds.
std::string formatElapsed(int64_t msecs);

// Runs one invocation. args[0] is the program name; out receives the documented console texts, err every
// other message. Returns the exit status.
int runDriver(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vennrick
