#include "draw_view.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A float product or sum is off by at most half a unit in the last place, 2^-24 of its size.
// The vertex stage takes two matrix products and a matrix-vector product of four terms a row
// (12 roundings in a row, in whatever order the compiler puts them): 16 leaves room.
constexpr double kStageRounding = 16.0 / (1 << 24);
// The rasteriser snaps corners to 1/256 pixel; its share of the slack before was 1/128.
constexpr double kSnapping = 1.0 / 128;
// What the window transform's float rounding adds per pixel of the side.
constexpr double kWindowRounding = 4.0 / (1 << 24);

using Matrix = double[16];

void toDouble(const QMatrix4x4& m, double* out, bool absolute) {
    const float* in = m.constData();
    for (int i = 0; i < 16; ++i) {
        out[i] = absolute ? std::abs(double(in[i])) : double(in[i]);
    }
}

// out = a x b, column-major.
void multiply(const double* a, const double* b, double* out) {
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            out[column * 4 + row] = sum;
        }
    }
}

void product(const QMatrix4x4& p, const QMatrix4x4& mv, const QMatrix4x4& m, bool absolute,
             double* out) {
    Matrix a;
    Matrix b;
    Matrix c;
    Matrix pmv;
    toDouble(p, a, absolute);
    toDouble(mv, b, absolute);
    multiply(a, b, pmv);
    toDouble(m, c, absolute);
    multiply(pmv, c, out);
}

double rowTimes(const double* m, int row, double x, double y, double z) {
    return m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
}

} // namespace

DrawView::DrawView(const QMatrix4x4& projection, const QMatrix4x4& modelView,
                   const QMatrix4x4& model, int side, const QVector3D& boxLow,
                   const QVector3D& boxHigh)
    : side_(side) {
    product(projection, modelView, model, false, clip_);
    Matrix magnitude;
    product(projection, modelView, model, true, magnitude);
    const auto largest = [&](int axis) {
        return std::max(std::abs(double(boxLow[axis])), std::abs(double(boxHigh[axis])));
    };
    // The most each clip coordinate's float value can differ from its exact value.
    double error[4];
    for (int row = 0; row < 4; ++row) {
        error[row] = kStageRounding * rowTimes(magnitude, row, largest(0), largest(1), largest(2));
    }
    // x / w and y / w take their extremes over the box at its corners, and so does w.
    double nearest = std::numeric_limits<double>::infinity();
    double reach = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const double at[3] = {(corner & 1) != 0 ? boxHigh.x() : boxLow.x(),
                              (corner & 2) != 0 ? boxHigh.y() : boxLow.y(),
                              (corner & 4) != 0 ? boxHigh.z() : boxLow.z()};
        const double w = rowTimes(clip_, 3, at[0], at[1], at[2]);
        nearest = std::min(nearest, w);
        reach = std::max({reach, std::abs(rowTimes(clip_, 0, at[0], at[1], at[2]) / w),
                          std::abs(rowTimes(clip_, 1, at[0], at[1], at[2]) / w)});
    }
    const double halfSide = side / 2.0;
    const double stage =
        halfSide * (std::max(error[0], error[1]) + reach * error[3]) / (nearest - error[3]);
    // A box reaching behind the eye, or one the bound cannot place: no facet is known to face
    // away.
    slack_ = nearest > error[3] && std::isfinite(stage) ? stage + kSnapping + kWindowRounding * side
                                                        : std::numeric_limits<double>::infinity();
}

bool DrawView::corners(const float* p, int stride, double x[3], double y[3]) const {
    const double halfSide = side_ / 2.0;
    for (int i = 0; i < 3; ++i) {
        const float* v = p + i * stride;
        const double w = rowTimes(clip_, 3, v[0], v[1], v[2]);
        if (!(w > 0)) {
            return false;
        }
        x[i] = rowTimes(clip_, 0, v[0], v[1], v[2]) / w * halfSide;
        y[i] = rowTimes(clip_, 1, v[0], v[1], v[2]) / w * halfSide;
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            return false;
        }
    }
    return true;
}

bool DrawView::facesAway(const double x[3], const double y[3]) const {
    const double ax = x[1] - x[0];
    const double ay = y[1] - y[0];
    const double bx = x[2] - x[0];
    const double by = y[2] - y[0];
    // Each corner may move by the slack on both axes, which changes the cross product by
    // at most this much.
    const double margin = 2 * slack_ * (std::abs(ax) + std::abs(ay) + std::abs(bx) + std::abs(by)) +
                          8 * slack_ * slack_ + 1.0 / 1024;
    return ax * by - ay * bx < -margin;
}

double DrawView::frontPixels(const double x[3], const double y[3]) const {
    const double area = ((x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0])) / 2;
    return area > 0 ? std::min(area, picturePixels()) : 0;
}

bool FillBudget::spend(const DrawView& view, const double x[3], const double y[3], bool placed) {
    const double pixels = placed ? view.frontPixels(x, y) : view.picturePixels();
    if (exhausted_ || pixels > left_) {
        exhausted_ = true;
        return false;
    }
    left_ -= pixels;
    return true;
}

std::size_t FillBudget::take(const DrawView& view, const float* floats, std::size_t facets,
                             int stride) {
    double x[3];
    double y[3];
    for (std::size_t f = 0; f < facets; ++f) {
        const bool placed = view.corners(floats + f * 3 * stride, stride, x, y);
        if (!spend(view, x, y, placed)) {
            return f;
        }
    }
    return facets;
}
