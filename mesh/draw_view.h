#pragma once

#include <QMatrix4x4>

#include <cstddef>

// About a second of llvmpipe's fill on two cores: the most pixels of facets facing the eye
// that one picture may ask the rasteriser to fill. An ordinary model covers its picture a few
// times over; a file whose facets cover it thousands of times is cut here instead of taking
// minutes and hundreds of MB of the rasteriser's scene memory.
constexpr double kFillBudgetPixels = 1 << 26;

// Where the drawing's vertex stage puts the model's facets in a side x side picture, worked
// out on the processor in double precision, with a bound on how far the vertex stage's own
// float arithmetic can move a corner from there. That error grows with the coordinates'
// magnitude against the model's size: a model far from the file's origin is known to the
// pixel only roughly.
class DrawView {
public:
    // The vertex stage's uniforms, as it multiplies them (projection x modelView x model x
    // vertex), and the box of the positions it is given.
    DrawView(const QMatrix4x4& projection, const QMatrix4x4& modelView, const QMatrix4x4& model,
             int side, const QVector3D& boxLow, const QVector3D& boxHigh);

    // The window positions of the facet at `p` (three positions, `stride` floats apart), in
    // pixels; false when a corner reaches behind the eye or is no number.
    bool corners(const float* p, int stride, double x[3], double y[3]) const;
    // The facet lands clockwise (a back face the rasteriser drops) by more than its sub-pixel
    // snapping and the vertex stage's rounding could turn.
    bool facesAway(const double x[3], const double y[3]) const;
    // The pixels a facet fills when drawn: its area when it faces the eye, at most the whole
    // picture.
    double frontPixels(const double x[3], const double y[3]) const;
    // Every pixel: what a facet counts that the view cannot place.
    double picturePixels() const { return double(side_) * side_; }

private:
    double clip_[16];
    int side_;
    // How far a window position may lie from the rasteriser's, in pixels.
    double slack_;
};

// The pixels a picture may still fill, spent facet by facet in file order: the first facet
// that does not fit ends the drawing, so where it ends depends on the file alone.
class FillBudget {
public:
    explicit FillBudget(double pixels) : left_(pixels) {}

    // Spends one facet; false once it no longer fits (and from then on).
    bool spend(const DrawView& view, const double x[3], const double y[3], bool placed);
    // How many of `facets` at `floats` (three positions each, `stride` floats apart) fit.
    std::size_t take(const DrawView& view, const float* floats, std::size_t facets, int stride);
    bool exhausted() const { return exhausted_; }
    double left() const { return left_; }

private:
    double left_;
    bool exhausted_ = false;
};
