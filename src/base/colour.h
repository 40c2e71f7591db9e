// A colour with its opacity: what the figure switches read and every figure paints with.
#pragma once

#include <cstdint>

namespace vennrick {

struct Colour {
    uint8_t r = 0, g = 0, b = 0;
    uint8_t a = 255;  // opacity: 255 opaque, 0 invisible
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

}  // namespace vennrick
