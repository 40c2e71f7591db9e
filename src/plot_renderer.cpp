#include "plot_renderer.h"

namespace vennrick {

QImage renderPlot(const PlotLayout&, const PlotData&, const PlotSettings&) {
    QImage image(800, 533, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool saveJpeg(const QImage& image, const std::string& path) {
    return image.save(QString::fromStdString(path), "JPEG", 90);
}

}  // namespace vennrick
