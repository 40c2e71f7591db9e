// Text measured with the toolkit's font metrics on an image of the figure's resolution.
#include "figure/text_metrics.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cmath>

namespace vennrick {

namespace {

constexpr int kReferenceDpi = 1152;  // 16 pixels per point

}  // namespace

TextMeasure measureFor(const std::string& family, int pointSize, int dpi) {
    QImage device(1, 1, QImage::Format_RGB32);
    const int dotsPerMetre = static_cast<int>(std::lround(kReferenceDpi / 0.0254));
    device.setDotsPerMeterX(dotsPerMetre);
    device.setDotsPerMeterY(dotsPerMetre);
    QFont font = family.empty() ? QFont() : QFont(QString::fromStdString(family));
    if (pointSize > 0) font.setPointSize(pointSize);
    font.setHintingPreference(QFont::PreferNoHinting);
    return TextMeasure{QFontMetricsF(font, &device), static_cast<double>(dpi) / kReferenceDpi};
}

double textWidth(const TextMeasure& measure, const std::string& text) {
    return measure.metrics.horizontalAdvance(QString::fromStdString(text)) * measure.scale;
}

double lineHeight(const TextMeasure& measure) { return measure.metrics.height() * measure.scale; }

std::string elidedText(const TextMeasure& measure, const std::string& text, double width) {
    return measure.metrics
        .elidedText(QString::fromStdString(text), Qt::ElideRight, std::max(width, 0.0) / measure.scale)
        .toStdString();
}

LabelFont labelFontOf(const TextMeasure& measure) {
    LabelFont font;
    for (int c = 0x20; c < 0x7f; ++c)
        font.advance[static_cast<size_t>(c)] = measure.metrics.horizontalAdvance(QChar(c)) * measure.scale;
    font.otherAdvance = measure.metrics.maxWidth() * measure.scale;
    font.height = static_cast<int>(std::clamp(std::ceil(lineHeight(measure)), 1.0, 65535.0));  // a huge size fits nowhere
    return font;
}

}  // namespace vennrick
