// Test entry point: the application object that off-screen painting and fonts need.
#include <gtest/gtest.h>

#include "figure/offscreen.h"

int main(int argc, char** argv) {
    qputenv("QT_LOGGING_RULES", "*.warning=false");
    const auto application = vennrick::startOffscreenPainting(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
