// Entry point: the application object that off-screen painting needs, then the run driver.
#include <iostream>
#include <string>
#include <vector>

#include "figure/offscreen.h"
#include "run/driver.h"

int main(int argc, char** argv) {
    const auto application = vennrick::startOffscreenPainting(argc, argv);
    std::vector<std::string> args(argv, argv + argc);
    std::ios::sync_with_stdio(false);
    return vennrick::runDriver(args, std::cout, std::cerr);
}
