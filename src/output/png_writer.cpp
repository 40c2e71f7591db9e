// PNG encoding: filtered rows deflated by zlib, in the chunks of the PNG format.
#include "output/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/parallel.h"

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

// A piece of the image's deflate stream, and what the stream's Adler-32 needs of it.
struct Piece {
    std::vector<uint8_t> deflated;
    uLong adler = 1;    // of the filtered bytes
    size_t length = 0;  // of the filtered bytes
    bool ok = false;    // false when zlib failed
};

// The filtered rows first .. last - 1 deflated as one piece of a raw deflate stream: it ends on a byte boundary
// (an empty stored block) so that the next piece can follow it, or with the final block for the last piece. Each
// piece starts afresh, without the bytes before it, so the pieces can be made on any threads in any order and
// always come out the same.
Piece deflatePiece(const QImage& image, bool alpha, int first, int last) {
    Piece piece;
    const int width = image.width(), height = image.height();
    const size_t pixelBytes = alpha ? 4 : 3, bytes = pixelBytes * static_cast<size_t>(width);
    constexpr int kBlockRows = 64;
    std::vector<uint8_t> previous(bytes, 0), current(bytes), block((bytes + 1) * kBlockRows);
    if (first > 0) rowBytes(reinterpret_cast<const QRgb*>(image.constScanLine(first - 1)), width, alpha, previous.data());
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return piece;
    std::vector<uint8_t> out(size_t{1} << 18);
    const int flush = last == height ? Z_FINISH : Z_SYNC_FLUSH;
    int status = Z_OK;
    for (int row = first; status == Z_OK;) {
        if (row < last && stream.avail_in == 0) {
            const int rows = std::min(kBlockRows, last - row);
            for (int r = 0; r < rows; ++r) {
                rowBytes(reinterpret_cast<const QRgb*>(image.constScanLine(row + r)), width, alpha, current.data());
                filterRow(current.data(), previous.data(), bytes, pixelBytes, block.data() + r * (bytes + 1));
                previous.swap(current);
            }
            row += rows;
            stream.next_in = block.data();
            stream.avail_in = static_cast<uInt>(rows * (bytes + 1));
            piece.adler = adler32(piece.adler, block.data(), stream.avail_in);
            piece.length += stream.avail_in;
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const bool lastInput = row == last;
        status = deflate(&stream, lastInput ? flush : Z_NO_FLUSH);
        piece.deflated.insert(piece.deflated.end(), out.data(), out.data() + (out.size() - stream.avail_out));
        if (status == Z_BUF_ERROR) status = Z_OK;  // no progress possible this call: more input or room comes next
        // A flush is done when it has left room in the output and taken all the input.
        if (lastInput && flush == Z_SYNC_FLUSH && status == Z_OK && stream.avail_in == 0 && stream.avail_out > 0)
            status = Z_STREAM_END;
    }
    deflateEnd(&stream);
    piece.ok = status == Z_STREAM_END;
    return piece;
}

}  // namespace

QByteArray encodePng(const QImage& source, unsigned threads) {
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

    // Pieces of about 1 MB of filtered rows, fixed by the image alone (never by the threads), shared out among the
    // threads; the zlib stream is their concatenation between its two-byte header and the Adler-32 of the whole.
    constexpr size_t kPieceBytes = size_t{1} << 20;
    const int rowsPerPiece = static_cast<int>(std::max<size_t>(kPieceBytes / (bytes + 1), 1));
    const int pieceCount = std::max((height + rowsPerPiece - 1) / rowsPerPiece, 1);
    std::vector<Piece> pieces(static_cast<size_t>(pieceCount));
    const unsigned parts = std::min(std::max(threads, 1u), static_cast<unsigned>(pieceCount));
    runInParallel(parts, [&](unsigned part) {
        for (int k = static_cast<int>(part); k < pieceCount; k += static_cast<int>(parts))
            pieces[static_cast<size_t>(k)] = deflatePiece(image, alpha, k * rowsPerPiece, std::min((k + 1) * rowsPerPiece, height));
    });
    QByteArray deflated("\x78\x01", 2);  // deflate with a 32 KB window, the fastest level
    uLong adler = 1;
    for (const Piece& piece : pieces) {
        if (!piece.ok) return QByteArray();
        deflated.append(reinterpret_cast<const char*>(piece.deflated.data()), static_cast<qsizetype>(piece.deflated.size()));
        adler = adler32_combine(adler, piece.adler, static_cast<z_off_t>(piece.length));
    }
    putBigEndian(deflated, static_cast<uint32_t>(adler));

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "pHYs", physical);
    putChunk(png, "IDAT", deflated);
    putChunk(png, "IEND", QByteArray());
    return png;
}

}  // namespace vennrick
