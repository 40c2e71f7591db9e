// PNG encoding: filtered rows deflated by zlib, in the chunks of the PNG format.
#include "output/png_writer.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vennrick {
namespace {

void putBigEndian(QByteArray& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.append(bytes, 4);
}

// A chunk: its length, type and data, and the CRC-32 of type and data (the CRC of gzip and zlib).
void putChunk(QByteArray& out, const char type[4], const QByteArray& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const qsizetype at = out.size();
    out.append(type, 4);
    out.append(data);
    putBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.constData() + at),
                                                   static_cast<uInt>(out.size() - at))));
}

// Row bytes, RGB or RGBA, from pixels of an RGB32 or (unpremultiplied) ARGB32 image.
void rowBytes(const QRgb* pixels, int width, bool alpha, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        const QRgb p = pixels[x];
        *out++ = static_cast<uint8_t>(qRed(p));
        *out++ = static_cast<uint8_t>(qGreen(p));
        *out++ = static_cast<uint8_t>(qBlue(p));
        if (alpha) *out++ = static_cast<uint8_t>(qAlpha(p));
    }
}

// Writes the filtered row (filter byte first) of row given the row above (zeros for the first): "sub" (each byte
// less the byte one pixel to the left) or "up" (less the byte above), whichever has the smaller sum of magnitudes.
void filterRow(const uint8_t* row, const uint8_t* above, size_t bytes, size_t pixelBytes, uint8_t* out) {
    uint64_t sub = 0, up = 0;
    for (size_t i = 0; i < bytes; ++i) {
        const auto s = static_cast<int8_t>(row[i] - (i >= pixelBytes ? row[i - pixelBytes] : 0));
        const auto u = static_cast<int8_t>(row[i] - above[i]);
        sub += static_cast<uint64_t>(std::abs(s));
        up += static_cast<uint64_t>(std::abs(u));
    }
    const bool useUp = up < sub;
    out[0] = useUp ? 2 : 1;
    for (size_t i = 0; i < bytes; ++i)
        out[1 + i] = static_cast<uint8_t>(row[i] - (useUp ? above[i] : (i >= pixelBytes ? row[i - pixelBytes] : 0)));
}

}  // namespace

QByteArray encodePng(const QImage& source) {
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int width = image.width(), height = image.height();
    const size_t pixelBytes = alpha ? 4 : 3, bytes = pixelBytes * static_cast<size_t>(width);

    QByteArray header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.append(char(8)).append(char(alpha ? 6 : 2)).append(char(0)).append(char(0)).append(char(0));
    QByteArray physical;
    putBigEndian(physical, static_cast<uint32_t>(image.dotsPerMeterX()));
    putBigEndian(physical, static_cast<uint32_t>(image.dotsPerMeterY()));
    physical.append(char(1));  // the unit is the metre

    // The rows are filtered a block at a time and each block deflated as it is made.
    constexpr int kBlockRows = 64;
    std::vector<uint8_t> previous(bytes, 0), current(bytes), block((bytes + 1) * kBlockRows);
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_SPEED) != Z_OK) return QByteArray();
    QByteArray deflated;
    std::vector<uint8_t> out(size_t{1} << 20);
    int status = Z_OK;
    for (int first = 0; status == Z_OK;) {
        if (first < height && stream.avail_in == 0) {
            const int rows = std::min(kBlockRows, height - first);
            for (int r = 0; r < rows; ++r) {
                rowBytes(reinterpret_cast<const QRgb*>(image.constScanLine(first + r)), width, alpha, current.data());
                filterRow(current.data(), previous.data(), bytes, pixelBytes, block.data() + r * (bytes + 1));
                previous.swap(current);
            }
            first += rows;
            stream.next_in = block.data();
            stream.avail_in = static_cast<uInt>(rows * (bytes + 1));
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = deflate(&stream, first == height ? Z_FINISH : Z_NO_FLUSH);
        deflated.append(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size() - stream.avail_out));
        if (status == Z_BUF_ERROR) status = Z_OK;  // no progress possible this call: more input or room comes next
    }
    deflateEnd(&stream);
    if (status != Z_STREAM_END) return QByteArray();

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "pHYs", physical);
    putChunk(png, "IDAT", deflated);
    putChunk(png, "IEND", QByteArray());
    return png;
}

}  // namespace vennrick
