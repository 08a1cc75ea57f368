#include "ply_values.h"

#include <QIODevice>
#include <QtEndian>

#include <charconv>
#include <cstring>

namespace {

// Bytes read from the device at a time.
constexpr std::size_t kBlock = 1 << 20;
// The longest text number read: "-1.2345678901234567e+308" and its like are 24 characters, and
// a run of thousands of digits is damage, not a coordinate.
constexpr std::size_t kLongestNumber = 64;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <typename T> T fromBytes(const uchar* bytes, bool bigEndian) {
    return bigEndian ? qFromBigEndian<T>(bytes) : qFromLittleEndian<T>(bytes);
}

double binaryValue(const uchar* bytes, PlyType type, bool bigEndian) {
    switch (type) {
    case PlyType::Int8:
        return double(qint8(bytes[0]));
    case PlyType::UInt8:
        return double(bytes[0]);
    case PlyType::Int16:
        return double(fromBytes<qint16>(bytes, bigEndian));
    case PlyType::UInt16:
        return double(fromBytes<quint16>(bytes, bigEndian));
    case PlyType::Int32:
        return double(fromBytes<qint32>(bytes, bigEndian));
    case PlyType::UInt32:
        return double(fromBytes<quint32>(bytes, bigEndian));
    case PlyType::Float32: {
        const quint32 bits = fromBytes<quint32>(bytes, bigEndian);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return double(value);
    }
    case PlyType::Float64: {
        const quint64 bits = fromBytes<quint64>(bytes, bigEndian);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    }
    return 0;
}

} // namespace

PlyValues::PlyValues(QIODevice& device, PlyEncoding encoding)
    : device_(device), encoding_(encoding), buffer_(kBlock + kLongestNumber + 1) {}

bool PlyValues::ensure(std::size_t bytes) {
    if (end_ - begin_ >= bytes) {
        return true;
    }
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < bytes) {
        const qint64 got = device_.read(buffer_.data() + end_, qint64(buffer_.size() - end_));
        if (got <= 0) {
            return false;
        }
        end_ += std::size_t(got);
    }
    return true;
}

bool PlyValues::next(PlyType type, double& value) {
    return encoding_ == PlyEncoding::Ascii ? nextText(value) : nextBinary(type, value);
}

bool PlyValues::nextBinary(PlyType type, double& value) {
    const std::size_t size = std::size_t(plyTypeSize(type));
    if (!ensure(size)) {
        ended_ = true;
        return false;
    }
    value = binaryValue(reinterpret_cast<const uchar*>(buffer_.data() + begin_), type,
                        encoding_ == PlyEncoding::BinaryBigEndian);
    begin_ += size;
    return true;
}

bool PlyValues::nextText(double& value) {
    for (;;) {
        while (begin_ < end_ && isSpace(buffer_[begin_])) {
            ++begin_;
        }
        if (begin_ < end_) {
            break;
        }
        if (!ensure(1)) {
            ended_ = true;
            return false;
        }
    }
    // The whole number in the buffer, and the white space or end after it.
    std::size_t length = 0;
    for (;;) {
        while (begin_ + length < end_ && length <= kLongestNumber &&
               !isSpace(buffer_[begin_ + length])) {
            ++length;
        }
        if (length > kLongestNumber || begin_ + length < end_ || !ensure(length + 1)) {
            break;
        }
    }
    if (length > kLongestNumber) {
        return false;
    }
    const char* text = buffer_.data() + begin_;
    const char* end = text + length;
    begin_ += length;
    // from_chars takes no plus sign, which some writers put before exponents only, and a few
    // before numbers too.
    if (length > 1 && text[0] == '+') {
        ++text;
    }
    const auto parsed = std::from_chars(text, end, value);
    return parsed.ec == std::errc() && parsed.ptr == end;
}
