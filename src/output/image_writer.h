// Image files by type: JPEG (quality 90, by the toolkit) and PNG (png_writer) encoded from a painted image; PDF and
// SVG written by the toolkit from a figure with its texts and lines as vectors and its points as one embedded
// image at the figure's resolution.
// Every file is made in memory and then written with checked writes: a file that could not be completed is
// removed, never left damaged.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

#include "figure/figure.h"
#include "settings/figure_options.h"

namespace vennrick {

// The image as a JPEG of quality 90; false when the file could not be written.
bool saveJpeg(const QImage& image, const std::string& path);

// The image as a JPEG of quality 90 or a PNG (type jpg or png; a vector type is written as a PNG), a PNG deflated
// on up to `threads` threads; false when the file could not be written.
bool saveImage(const QImage& image, ImageType type, const std::string& path, unsigned threads);

// The figure as an image file of the type: painted on an image for JPEG and PNG, drawn on a page of
// width / dpi x height / dpi inches for PDF and SVG; its points drawn with up to `threads` threads. False when
// the file could not be written.
bool saveFigure(const Figure& figure, ImageType type, const std::string& path, unsigned threads = 1);

// The bytes of the image file saveFigure writes; false when the figure could not be encoded.
bool encodeFigure(const Figure& figure, ImageType type, QByteArray& bytes, unsigned threads = 1);

// Loads what encoding the first image of the type would otherwise wait for (the JPEG plug-in).
void prepareImageType(ImageType type);

}  // namespace vennrick
