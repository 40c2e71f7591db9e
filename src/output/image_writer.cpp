// Image files by type, encoded in memory and written with checked writes.
#include "output/image_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "figure/figure_renderer.h"
#include "output/png_writer.h"
#include "base/write_all.h"

namespace vennrick {
namespace {

bool encode(const QImage& image, ImageType type, QByteArray& bytes, unsigned threads) {
    if (type != ImageType::jpg) {
        bytes = encodePng(image, threads);
        return !bytes.isEmpty();
    }
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPEG", 90);
}

// A page of the figure's size at its resolution, so that one unit of the painter is one pixel of the figure.
bool writePdf(const Figure& figure, unsigned threads, QByteArray& bytes) {
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return false;
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("Vennrick"));
    writer.setResolution(figure.dpi);
    const double pointsPerPixel = 72.0 / figure.dpi;
    writer.setPageSize(QPageSize(QSizeF(figure.width * pointsPerPixel, figure.height * pointsPerPixel), QPageSize::Point,
                                 QString(), QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p;
    if (!p.begin(&writer)) return false;
    p.setRenderHint(QPainter::LosslessImageRendering);  // the points' image stays exact, as in a PNG
    paintFigure(p, figure, threads);
    return p.end();
}

bool writeSvg(const Figure& figure, unsigned threads, QByteArray& bytes) {
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(figure.width, figure.height));
    generator.setViewBox(QRect(0, 0, figure.width, figure.height));
    generator.setResolution(figure.dpi);
    generator.setDescription(QStringLiteral("Made by Vennrick"));
    QPainter p;
    if (!p.begin(&generator)) return false;
    paintFigure(p, figure, threads);
    return p.end();
}

}  // namespace

bool saveJpeg(const QImage& image, const std::string& path) { return saveImage(image, ImageType::jpg, path, 1); }

bool saveImage(const QImage& image, ImageType type, const std::string& path, unsigned threads) {
    QByteArray bytes;
    return encode(image, type, bytes, threads) && writeWholeFile(path, bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool encodeFigure(const Figure& figure, ImageType type, QByteArray& bytes, unsigned threads) {
    switch (type) {
        case ImageType::pdf: return writePdf(figure, threads, bytes);
        case ImageType::svg: return writeSvg(figure, threads, bytes);
        case ImageType::jpg:
        case ImageType::png: return encode(renderFigure(figure, threads), type, bytes, threads);
    }
    return false;
}

bool saveFigure(const Figure& figure, ImageType type, const std::string& path, unsigned threads) {
    QByteArray bytes;
    return encodeFigure(figure, type, bytes, threads) &&
           writeWholeFile(path, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void prepareImageType(ImageType type) {
    if (type != ImageType::jpg) return;  // the other types need no plug-in loaded
    QImage scratch(16, 16, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    QByteArray bytes;
    encode(scratch, type, bytes, 1);
}

}  // namespace vennrick
