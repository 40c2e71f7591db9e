// Image files by type, read back: PNG and JPEG decoded, the PDF page size and the SVG view box from the file's
// text, and in each the points where the figure put them.

#include <QByteArray>
#include <QImage>
#include <QRegularExpression>

#include "output/image_writer.h"
#include "output/png_writer.h"
#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0), kBlue = qRgb(0, 0, 255), kWhite = qRgb(255, 255, 255);

// 300 x 200 pixels at 144 dpi: a line, a text, red squares of side 5 at (50, 60) and (250, 150), a blue disc of
// diameter 6 at (100, 100). The points' extent is x 48 .. 252, y 58 .. 152.
Figure testFigure() {
    Figure f;
    f.width = 300, f.height = 200, f.dpi = 144, f.antialiased = true;
    f.lines.push_back(FigureLine{10, 190, 290, 190, Colour{}, 2});
    f.texts.push_back(FigureText{FigureRect{0, 0, 300, 30}, "Calibri", 10, FigureAlign::centre, Colour{}, 0, "Chromosome"});
    f.points.push_back(PointLayer{Colour{255, 0, 0}, 5, {{50, 60}, {250, 150}}});
    f.points.push_back(PointLayer{Colour{0, 0, 255}, 6, {{100, 100}}, true});
    return f;
}


// The first capture of pattern in text; empty when it does not match.
std::string captured(const std::string& text, const char* pattern, int group = 1) {
    return QRegularExpression(pattern).match(QString::fromStdString(text)).captured(group).toStdString();
}

// The points' image of the figure's PDF: the RGB image XObject, inflated.
QImage pdfPointsImage(const std::string& pdf) {
    const size_t at = pdf.find("/ColorSpace /DeviceRGB");
    const size_t start = pdf.rfind("<<", at), begin = pdf.find("stream\n", at) + 7, end = pdf.find("endstream", begin);
    if (at == std::string::npos || end == std::string::npos) return QImage();
    const std::string dictionary = pdf.substr(start, begin - start);
    const int width = std::stoi(captured(dictionary, "/Width (\\d+)")), height = std::stoi(captured(dictionary, "/Height (\\d+)"));
    QByteArray zlib = QByteArray::fromStdString(pdf.substr(begin, end - begin));
    const uint32_t size = static_cast<uint32_t>(width * height * 3);
    zlib.prepend(QByteArray(1, char(size & 0xFF))).prepend(char((size >> 8) & 0xFF)).prepend(char((size >> 16) & 0xFF)).prepend(char(size >> 24));
    const QByteArray rgb = qUncompress(zlib);
    if (rgb.size() != static_cast<qsizetype>(size)) return QImage();
    return QImage(reinterpret_cast<const uchar*>(rgb.constData()), width, height, width * 3, QImage::Format_RGB888).copy();
}

}  // namespace

TEST(image_writer_test, each_type_reads_back_with_its_size_and_points) {
    ScratchDir dir;
    const Figure figure = testFigure();
    for (ImageType type : {ImageType::png, ImageType::jpg}) {
        const std::string path = dir.file("f." + imageExtension(type));
        ASSERT_TRUE(saveFigure(figure, type, path, 2));
        const QImage image = decoded(readFile(path));
        ASSERT_EQ(image.size(), QSize(300, 200)) << path;
        EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 144, 1) << path;
        if (type == ImageType::png) {
            EXPECT_TRUE(image.pixel(50, 60) == kRed && image.pixel(252, 152) == kRed && image.pixel(100, 100) == kBlue &&
                        image.pixel(150, 120) == kWhite);
        } else {
            EXPECT_GT(qRed(image.pixel(50, 60)), 200);
            EXPECT_GT(qBlue(image.pixel(100, 100)), 200);
        }
    }

    ASSERT_TRUE(saveFigure(figure, ImageType::pdf, dir.file("f.pdf"), 2));
    const std::string pdf = readFile(dir.file("f.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    // 300 x 200 pixels at 144 dpi: 150 x 100 points.
    EXPECT_NEAR(std::stod(captured(pdf, "/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")), 150, 1e-3);
    EXPECT_NEAR(std::stod(captured(pdf, "/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]", 2)), 100, 1e-3);
    EXPECT_NE(pdf.find("/FontFile2"), std::string::npos) << "the text is text, in an embedded font";
    const QImage points = pdfPointsImage(pdf);
    ASSERT_EQ(points.size(), QSize(205, 95)) << "one image of the points' extent";
    EXPECT_TRUE(points.pixel(50 - 48, 60 - 58) == kRed && points.pixel(100 - 48, 100 - 58) == kBlue);

    ASSERT_TRUE(saveFigure(figure, ImageType::svg, dir.file("f.svg"), 2));
    const std::string svg = readFile(dir.file("f.svg"));
    EXPECT_EQ(captured(svg, "viewBox=\"([^\"]*)\""), "0 0 300 200");
    EXPECT_EQ(captured(svg, "<svg width=\"([^\"]*)\""), "52.9167mm");
    EXPECT_NE(svg.find(">Chromosome</text>"), std::string::npos);
    const std::string image = captured(svg, "<image x=\"48\" y=\"58\" width=\"205\" height=\"95\"[^>]*base64,([^\"]*)\"");
    const QImage svgPoints = decoded(QByteArray::fromBase64(QByteArray::fromStdString(image)).toStdString());
    ASSERT_EQ(svgPoints.size(), QSize(205, 95));
    EXPECT_TRUE(svgPoints.pixel(2, 2) == kRed && svgPoints.pixel(52, 42) == kBlue && qAlpha(svgPoints.pixel(150, 50)) == 0);

    // A file that cannot be written: false, and nothing left behind.
    EXPECT_FALSE(saveFigure(figure, ImageType::pdf, dir.file("missing/f.pdf")));
    std::filesystem::create_symlink("/dev/full", dir.file("full.png"));  // a faulty build removes the link, not the device
    EXPECT_FALSE(saveFigure(figure, ImageType::png, dir.file("full.png")));
}

TEST(image_writer_test, png_encoding_keeps_every_pixel) {
    std::mt19937 random(7);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32}) {
        // 400 x 2000 is deflated in pieces: 873 rows of 1,201 bytes, or 654 of 1,601 with alpha.
        for (QSize size : {QSize(1, 1), QSize(37, 23), QSize(700, 90), QSize(400, 2000)}) {
            QImage image(size, format);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    // Flat stretches and noise, so that both filters are chosen.
                    const uint32_t v = (x / 7 + y) % 3 == 0 ? random() : 0xFF336699u;
                    image.setPixel(x, y, format == QImage::Format_RGB32 ? (v | 0xFF000000u) : v);
                }
            if (format == QImage::Format_ARGB32_Premultiplied) image = image.convertToFormat(QImage::Format_ARGB32).convertToFormat(format);
            const QByteArray png = encodePng(image, 2);
            EXPECT_EQ(png, encodePng(image, 1)) << "the bytes do not depend on the threads";
            EXPECT_EQ(png, encodePng(image, 5));
            const QImage back = decoded(png.toStdString());
            const QImage::Format plain = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
            EXPECT_TRUE(back.convertToFormat(plain) == image.convertToFormat(plain)) << format << " " << size.width();
        }
    }
}
