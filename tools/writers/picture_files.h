#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>

// The pictures slicers embed in G-code, encoded from an image: PNG and JPEG through Qt's
// writers, QOI by our own writer from the format's layout.
QByteArray pngFile(const QImage& image);
QByteArray jpegFile(const QImage& image);

// A QOI file: the 14-byte header ("qoif", big-endian width and height, channels, colour space),
// every pixel as an RGBA chunk and repeats as runs, then the end marker. `declared` puts
// another size in the header than the pixels written, for pictures that claim what they do not
// hold.
QByteArray qoiFile(const QImage& image, int channels = 4, std::optional<QSize> declared = {});
