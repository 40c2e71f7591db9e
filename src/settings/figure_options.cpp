// The figure switches' values read from their text, within the image limits.
#include "settings/figure_options.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <cctype>

#include "base/numbers.h"
#include "base/text.h"

namespace vennrick {

std::optional<FigureStyle> styleFromName(std::string_view name) {
    if (name == "classic") return FigureStyle::classic;
    if (name == "paper") return FigureStyle::paper;
    return std::nullopt;
}

std::optional<ImageType> imageTypeFromName(std::string_view name) {
    for (ImageType type : {ImageType::jpg, ImageType::png, ImageType::pdf, ImageType::svg})
        if (name == imageExtension(type)) return type;
    return std::nullopt;
}

std::string imageExtension(ImageType type) {
    switch (type) {
        case ImageType::png: return "png";
        case ImageType::pdf: return "pdf";
        case ImageType::svg: return "svg";
        case ImageType::jpg: break;
    }
    return "jpg";
}

std::optional<ImageSize> parseImageSize(std::string_view text) {
    const size_t at = text.find_first_of("xX");
    if (at == std::string_view::npos) return std::nullopt;
    const std::optional<int32_t> width = parseInt(text.substr(0, at)), height = parseInt(text.substr(at + 1));
    if (!width || !height) return std::nullopt;
    auto sideFits = [](int32_t side) { return side >= kMinImageSide && side <= kMaxImageSide; };
    if (!sideFits(*width) || !sideFits(*height) || int64_t{*width} * *height > kMaxImagePixels) return std::nullopt;
    return ImageSize{*width, *height};
}

std::optional<Colour> parseColour(std::string_view text) {
    auto hexDigit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const bool hex = text.size() == 7 && text[0] == '#' && std::all_of(text.begin() + 1, text.end(), hexDigit);
    const bool name = !text.empty() && std::all_of(text.begin(), text.end(), letter);
    if (!hex && !name) return std::nullopt;
    const QColor colour = QColor::fromString(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
    if (!colour.isValid() || colour.alpha() != 255) return std::nullopt;  // "transparent" has alpha 0
    return Colour{static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                  static_cast<uint8_t>(colour.blue())};
}

std::optional<PaperColours> parseColours(std::string_view text) {
    const std::vector<std::string_view> parts = splitAtAny(text, ",");
    if (parts.size() != 3) return std::nullopt;
    const std::optional<Colour> first = parseColour(parts[0]), second = parseColour(parts[1]),
                                hit = parseColour(parts[2]);
    if (!first || !second || !hit) return std::nullopt;
    return PaperColours{*first, *second, *hit};
}

}  // namespace vennrick
