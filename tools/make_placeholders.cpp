// Draws the two placeholder pictures that the module embeds. Run once; its PNG output is
// committed under placeholders/assets, so the build never depends on fonts or on this program.
//
//   make_placeholders OUTDIR

#include "picture_sides.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The icon body is a little translucent, as the shell's own file icons are.
constexpr int kBodyAlpha = 252;

QImage transparentCanvas() {
    QImage canvas(kCacheSide, kCacheSide, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    return canvas;
}

// A rounded sheet with its top-right corner folded over, inside columns 28 to 393 and rows 14
// to 379 (antialiased edges included).
QPainterPath sheetOutline(const QRectF& sheet, qreal radius, qreal fold) {
    QPainterPath path;
    path.moveTo(sheet.left() + radius, sheet.top());
    path.lineTo(sheet.right() - fold, sheet.top());
    path.lineTo(sheet.right(), sheet.top() + fold);
    path.lineTo(sheet.right(), sheet.bottom() - radius);
    path.quadTo(sheet.bottomRight(), QPointF(sheet.right() - radius, sheet.bottom()));
    path.lineTo(sheet.left() + radius, sheet.bottom());
    path.quadTo(sheet.bottomLeft(), QPointF(sheet.left(), sheet.bottom() - radius));
    path.lineTo(sheet.left(), sheet.top() + radius);
    path.quadTo(sheet.topLeft(), QPointF(sheet.left() + radius, sheet.top()));
    path.closeSubpath();
    return path;
}

QImage damagedFile() {
    QImage canvas = transparentCanvas();
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    // Source composition keeps every shape at the body's alpha instead of stacking to opaque.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.setPen(Qt::NoPen);

    const QRectF sheet(29.5, 15.5, 363.0, 363.0);
    const qreal fold = 92.0;
    const QPainterPath outline = sheetOutline(sheet, 30.0, fold);
    p.fillPath(outline, QColor(0xE4, 0xE6, 0xD2, kBodyAlpha));
    p.setClipPath(outline);

    // The folded corner and a shaded foot give the sheet its depth.
    QPolygonF corner;
    corner << QPointF(sheet.right() - fold, sheet.top())
           << QPointF(sheet.right() - fold + 6, sheet.top() + fold - 6)
           << QPointF(sheet.right(), sheet.top() + fold);
    p.setBrush(QColor(0xC0, 0xC2, 0xB1, kBodyAlpha));
    p.drawPolygon(corner);
    p.fillRect(QRectF(sheet.left(), sheet.bottom() - 34, sheet.width(), 34),
               QColor(0xC0, 0xC2, 0xB1, kBodyAlpha));

    // The capital F.
    const QColor blue(0x67, 0x83, 0xAE, kBodyAlpha);
    p.fillRect(QRectF(118, 96, 50, 220), blue);
    p.fillRect(QRectF(118, 96, 166, 46), blue);
    p.fillRect(QRectF(118, 184, 136, 42), blue);

    // Cracks running through the sheet.
    QPen crack(QColor(0xFF, 0xFF, 0xFF, kBodyAlpha), 6.0, Qt::SolidLine, Qt::RoundCap,
               Qt::RoundJoin);
    p.setPen(crack);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF() << QPointF(214, 10) << QPointF(196, 74) << QPointF(228, 128)
                               << QPointF(190, 196) << QPointF(236, 262) << QPointF(204, 330)
                               << QPointF(222, 384));
    p.drawPolyline(QPolygonF() << QPointF(190, 196) << QPointF(132, 232) << QPointF(86, 214)
                               << QPointF(20, 250));
    crack.setWidthF(4.0);
    p.setPen(crack);
    p.drawPolyline(QPolygonF() << QPointF(236, 262) << QPointF(300, 280) << QPointF(338, 252)
                               << QPointF(400, 270));
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

QPainterPath textLine(const QString& text, const QFont& font) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path;
}

// "old version" over "no thumbnails", red, centred within columns 9 to 390 and rows 104 to 210.
QImage oldVersion() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(100);
    QPainterPath top = textLine(QStringLiteral("old version"), font);
    QPainterPath bottom = textLine(QStringLiteral("no thumbnails"), font);

    const QRectF box(11.0, 106.0, 378.0, 103.0);
    const qreal gap = 0.22;
    const qreal widest = qMax(top.boundingRect().width(), bottom.boundingRect().width());
    const qreal tallest = top.boundingRect().height() + bottom.boundingRect().height();
    const qreal scale = qMin(box.width() / widest, box.height() / (tallest * (1 + gap)));

    QImage canvas = transparentCanvas();
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x00, 0x00));
    const qreal blockHeight = tallest * scale * (1 + gap);
    qreal y = box.top() + (box.height() - blockHeight) / 2;
    for (const QPainterPath* line : {&top, &bottom}) {
        const QRectF bounds = line->boundingRect();
        QTransform place;
        place.translate(box.center().x() - bounds.center().x() * scale, y - bounds.top() * scale);
        place.scale(scale, scale);
        p.drawPath(place.map(*line));
        y += bounds.height() * scale * (1 + 2 * gap);
    }
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const bool saved = damagedFile().save(out.filePath(QStringLiteral("damaged_file.png"))) &&
                       oldVersion().save(out.filePath(QStringLiteral("old_version.png")));
    return saved ? 0 : 1;
}
