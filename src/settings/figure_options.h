// The values of the figure switches (-style, -image, -size, -dpi, -colors) and how their text is read, with the
// limits that keep an image's memory and drawing time in proportion to what a figure needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/colour.h"

namespace vennrick {

enum class FigureStyle { classic, paper };  // -style classic (the default) or paper
enum class ImageType { jpg, png, pdf, svg };  // -image: the type, and the extension, of every image of a run

// "classic" or "paper"; nullopt for anything else.
std::optional<FigureStyle> styleFromName(std::string_view name);

// "jpg", "png", "pdf" or "svg"; nullopt for anything else.
std::optional<ImageType> imageTypeFromName(std::string_view name);

// The file name extension of the type, without the dot: "jpg", "png", "pdf", "svg".
std::string imageExtension(ImageType type);

constexpr int32_t kDefaultImageWidth = 800;   // pixels
constexpr int32_t kDefaultImageHeight = 533;  // pixels
constexpr int32_t kDefaultDpi = 96;           // pixels per inch
// An image is 100 to 16000 pixels a side and at most 64 million pixels (256 MB in memory: a poster of
// 32 x 21 inches at 300 dpi); more would cost memory and time out of proportion to any figure.
constexpr int32_t kMinImageSide = 100;
constexpr int32_t kMaxImageSide = 16000;
constexpr int64_t kMaxImagePixels = 64000000;
constexpr int32_t kMinDpi = 36;    // pixels per inch
constexpr int32_t kMaxDpi = 2400;  // pixels per inch

struct ImageSize {
    int32_t width = kDefaultImageWidth;    // pixels
    int32_t height = kDefaultImageHeight;  // pixels
};

// "WIDTHxHEIGHT" in pixels (an upper-case X also separates), each side and the pixel count within the limits
// above; nullopt for anything else.
std::optional<ImageSize> parseImageSize(std::string_view text);

// The paper style's colours.
struct PaperColours {
    Colour first;   // points of the 1st, 3rd, 5th, ... chromosome
    Colour second;  // points of the 2nd, 4th, 6th, ... chromosome
    Colour hit;     // points at or above the threshold
};

// Told apart by readers with any common colour vision deficiency, and in grey: a dark blue and a light blue
// for the chromosomes, vermillion for the hits.
constexpr PaperColours kPaperColours = {Colour{0, 114, 178}, Colour{86, 180, 233}, Colour{213, 94, 0}};

// A colour as "#rrggbb" (hexadecimal digits in either case) or as a name of the common web colour list in any
// letter case ("navy", "DarkOrange"); nullopt for anything else, "transparent" included.
std::optional<Colour> parseColour(std::string_view text);

// "C1,C2,HIT": three colours, each as parseColour reads it; nullopt for anything else.
std::optional<PaperColours> parseColours(std::string_view text);

}  // namespace vennrick
