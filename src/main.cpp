// Entry point: the application object that off-screen painting needs, then the run driver.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/standard_streams.h"
#include "figure/offscreen.h"
#include "run/driver.h"

int main(int argc, char** argv) {
    vennrick::guardStandardStreams();
    const auto application = vennrick::startOffscreenPainting(argc, argv);
    std::vector<std::string> args(argv, argv + argc);
    std::ios::sync_with_stdio(false);
    // Whatever escapes the stages ends the run with one line and status 1, never an abort: memory that could
    // not be had, or a failure no stage foresaw.
    try {
        return vennrick::runDriver(args, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "vennrick: out of memory" << std::endl;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "vennrick: internal error: " << e.what() << std::endl;
    }
    return 1;
}
