#pragma once

#include <qpa/qplatformscreen.h>

// The one screen of a platform that shows nothing. Its size and depth are those of the
// virtual X display the xcb path runs on in tests, so anything derived from them matches.
class EglScreen : public QPlatformScreen {
public:
    QRect geometry() const override;
    int depth() const override;
    QImage::Format format() const override;
};
