#include "embedded_picture.h"

#include "qoi_picture.h"

#include <QBuffer>
#include <QImageReader>

#include <tuple>

namespace {

// The signatures that open each format's stream; Qt's reader is told the format, so bytes of
// another format are refused here rather than guessed.
const QByteArray kPngSignature = QByteArrayLiteral("\x89PNG\r\n\x1A\n");
const QByteArray kJpegStart = QByteArrayLiteral("\xFF\xD8\xFF");

QString sizeText(QSize size) {
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

EmbeddedDecoding failed(const QString& problem) {
    return {QImage(), problem};
}

// PNG and JPEG: Qt reads the header's size without decoding, so a header that names other
// pixels than the file declares is refused before Qt allocates them.
EmbeddedDecoding decodeWithQt(const QByteArray& bytes, const char* format, QSize declared) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize own = reader.size();
    if (own != declared) {
        return failed(QStringLiteral("the picture is %1 pixels, not the %2 declared")
                          .arg(sizeText(own), sizeText(declared)));
    }
    QImage picture = reader.read();
    if (picture.isNull() || picture.size() != declared) {
        return failed(QStringLiteral("the picture cannot be decoded"));
    }
    return {picture, QString()};
}

int longerSide(QSize size) {
    return qMax(size.width(), size.height());
}

// Whether a picture of size `a` serves `side` better than one of `b`: one that needs no
// enlarging beats one that does; of two that need none the smaller, of two that do the larger.
// Equals are no better, so the earlier one stays.
bool servesBetter(QSize a, QSize b, int side) {
    const bool aLarge = longerSide(a) >= side;
    const bool bLarge = longerSide(b) >= side;
    if (aLarge != bLarge) {
        return aLarge;
    }
    const auto rank = [](QSize size) {
        return std::make_tuple(longerSide(size), qint64{size.width()} * size.height());
    };
    return aLarge ? rank(a) < rank(b) : rank(b) < rank(a);
}

} // namespace

int choosePicture(const std::vector<QSize>& sizes, int side) {
    int chosen = -1;
    for (int i = 0; i < static_cast<int>(sizes.size()); ++i) {
        if (chosen < 0 || servesBetter(sizes[i], sizes[chosen], side)) {
            chosen = i;
        }
    }
    return chosen;
}

EmbeddedDecoding decodeEmbeddedPicture(EmbeddedFormat format, const QByteArray& bytes,
                                       QSize declared) {
    if (!embeddedSizeInRange(declared)) {
        return failed(QStringLiteral("the picture declares %1 pixels").arg(sizeText(declared)));
    }
    switch (format) {
    case EmbeddedFormat::Png:
        if (!bytes.startsWith(kPngSignature)) {
            return failed(QStringLiteral("the picture is no PNG"));
        }
        return decodeWithQt(bytes, "png", declared);
    case EmbeddedFormat::Jpeg:
        if (!bytes.startsWith(kJpegStart)) {
            return failed(QStringLiteral("the picture is no JPEG"));
        }
        return decodeWithQt(bytes, "jpeg", declared);
    case EmbeddedFormat::Qoi: {
        QString problem;
        QImage picture = decodeQoi(bytes, declared, problem);
        return {picture, problem};
    }
    }
    return failed(QStringLiteral("the picture's format is not known"));
}
