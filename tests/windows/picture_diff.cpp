// Compares the pictures two hosts made of the same files, one line per file:
//
//   picture_diff LINUX_DIR WINDOWS_DIR --exact NAME... --mesh NAME...
//
// A decoded preview must match pixel for pixel. A rendered mesh comes from another OpenGL
// path on the same rasteriser (WGL through Wine to GLX on Mesa, against EGL on Mesa), so a
// channel may round one step apart, as between our own platforms on Linux; coverage, that
// is alpha, must still be the same. Exit code 0 when every picture passes.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The rounding between two OpenGL paths on one rasteriser, as the Linux platforms' test
// allows; 0 for decoded previews.
constexpr int kMeshChannelStep = 1;

struct Difference {
    int pixels = 0;     // outside the tolerance
    int largest = 0;    // the largest channel difference anywhere
    bool sized = false; // both pictures exist and have one size
};

Difference compare(const QImage& a, const QImage& b, int tolerance) {
    Difference d;
    d.sized = !a.isNull() && a.size() == b.size();
    if (!d.sized) {
        return d;
    }
    const QImage p = a.convertToFormat(QImage::Format_ARGB32);
    const QImage q = b.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < p.height(); ++y) {
        for (int x = 0; x < p.width(); ++x) {
            const QRgb u = p.pixel(x, y), v = q.pixel(x, y);
            const int step = std::max({std::abs(qRed(u) - qRed(v)), std::abs(qGreen(u) - qGreen(v)),
                                       std::abs(qBlue(u) - qBlue(v))});
            d.largest = std::max({d.largest, step, std::abs(qAlpha(u) - qAlpha(v))});
            d.pixels += step > tolerance || qAlpha(u) != qAlpha(v) ? 1 : 0;
        }
    }
    return d;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: picture_diff LINUX_DIR WINDOWS_DIR --exact NAME... "
                             "--mesh NAME...\n");
        return 2;
    }
    const QDir linux(arguments[1]), windows(arguments[2]);
    int tolerance = 0;
    bool allPass = true;
    std::printf("%-24s %-9s %-9s %9s %9s %8s  %s\n", "file", "Linux", "Windows", "pixels", "differ",
                "largest", "");
    for (const QString& argument : arguments.mid(3)) {
        if (argument == "--exact" || argument == "--mesh") {
            tolerance = argument == "--mesh" ? kMeshChannelStep : 0;
            continue;
        }
        const QImage a(linux.filePath(argument)), b(windows.filePath(argument));
        const Difference d = compare(a, b, tolerance);
        const bool pass = d.sized && d.pixels == 0;
        allPass &= pass;
        const auto size = [](const QImage& image) {
            return QStringLiteral("%1x%2").arg(image.width()).arg(image.height()).toLatin1();
        };
        std::printf("%-24s %-9s %-9s %9lld %9d %8d  %s\n", qPrintable(argument),
                    size(a).constData(), size(b).constData(),
                    static_cast<long long>(a.width()) * a.height(), d.pixels, d.largest,
                    pass ? (tolerance == 0 ? "same" : "within one step") : "DIFFERENT");
    }
    return allPass ? 0 : 1;
}
