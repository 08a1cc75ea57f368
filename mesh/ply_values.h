#pragma once

#include "ply_header.h"

#include <vector>

class QIODevice;

// The values of a PLY body, one at a time, read from a device in large blocks: text numbers
// between white space, or binary scalars in the header's byte order.
class PlyValues {
public:
    PlyValues(QIODevice& device, PlyEncoding encoding);

    // The next value of `type`. False at the end of the body, or at a text that is no number;
    // `ended()` then tells the two apart.
    bool next(PlyType type, double& value);
    bool ended() const { return ended_; }

private:
    bool nextBinary(PlyType type, double& value);
    bool nextText(double& value);
    // At least `bytes` unread bytes in the buffer, unless the device has no more.
    bool ensure(std::size_t bytes);

    QIODevice& device_;
    PlyEncoding encoding_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};
