#include "egl_screen.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kDepth = 32;

} // namespace

QRect EglScreen::geometry() const {
    return QRect(0, 0, kWidth, kHeight);
}

int EglScreen::depth() const {
    return kDepth;
}

QImage::Format EglScreen::format() const {
    return QImage::Format_ARGB32_Premultiplied;
}
