// The application object that painting off screen needs, made the same way by the tool, the tests, the fuzz
// targets and the benchmarks: the off-screen back end (no display), and one fixed application font.
#pragma once

#include <QGuiApplication>
#include <memory>

namespace vennrick {

// Makes the application object for argc and argv (which it may shorten by the toolkit's own options; the
// tool's "-style" switch is kept): the off-screen back end, the toolkit's notice about a missing
// XDG_RUNTIME_DIR silenced, and the application font that tick labels are drawn in.
std::unique_ptr<QGuiApplication> startOffscreenPainting(int& argc, char** argv);

}  // namespace vennrick
