// PNG files encoded here rather than by the toolkit: every row filtered by the better of "sub" and "up" for it,
// and the rows deflated by zlib at its fastest level in pieces of about 1 MB, on up to `threads` threads. A plot is
// mostly flat colour, which this packs better than the toolkit's encoder does, in less of its time. The bytes
// depend on the pixels alone, never on the threads: ISA-L's deflate, used here before, gave another (valid)
// stream now and then when the process ran other threads, so that the same figure was not always the same file.
#pragma once

#include <QByteArray>
#include <QImage>

namespace vennrick {

// The image as a PNG: 8-bit RGB for an opaque image, 8-bit RGBA for one with an alpha channel (premultiplied or
// not), with the image's resolution. Any other format is converted to one of these first.
QByteArray encodePng(const QImage& image, unsigned threads);

}  // namespace vennrick
