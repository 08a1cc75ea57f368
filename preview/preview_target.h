#pragma once

#include "preview_constants.h"

#include <QtGlobal>

// Where a reader's picture goes, which decides how large it is decoded: the cache keeps every
// thumbnail at kCacheSide; a client with its own cache asks for a side and is never given
// more pixels than the preview has.
class PreviewTarget {
public:
    static PreviewTarget cache() { return PreviewTarget(0); }
    static PreviewTarget side(int requested) { return PreviewTarget(requested); }

    bool isCache() const { return requested_ == 0; }
    int requested() const { return requested_; }

    // The side a file's choice among several pictures aims at: the smallest at least this
    // large serves without enlarging.
    int side() const { return isCache() ? kCacheSide : requested_; }

    // The side of the square a preview is shown in when its own picture's longer side is
    // `own`; a picture with no pixels of its own takes the requested side.
    int shownSide(int own) const {
        if (isCache()) {
            return kCacheSide;
        }
        return own > 0 ? qMin(requested_, own) : requested_;
    }

private:
    explicit PreviewTarget(int requested) : requested_(requested) {}

    int requested_;
};
