#include "file_names.h"

#include <QTextCodec>

namespace {

// UTF-8's number in the IANA list, which Qt's codecs report.
constexpr int kUtf8Mib = 106;
// Outside the IANA numbers: nobody asks for this codec by number.
constexpr int kEscapingMib = -106;

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// The code point of the well-formed UTF-8 sequence at `bytes`, its length in `length`: 0 when
// none starts there, -1 when the bytes end before one could be complete.
char32_t readSequence(const uchar* bytes, int available, int& length) {
    const uchar lead = bytes[0];
    char32_t point = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1Fu;
        least = 0x80;
    } else if ((lead & 0xF0u) == 0xE0) {
        length = 3;
        point = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07u;
        least = 0x10000;
    } else {
        length = 0;
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (i >= available) {
            length = -1;
            return 0;
        }
        if ((bytes[i] & 0xC0u) != 0x80) {
            length = 0;
            return 0;
        }
        point = (point << 6) | (bytes[i] & 0x3Fu);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        length = 0;
    }
    return point;
}

void appendUtf8(QByteArray& out, char32_t point) {
    if (point < 0x80) {
        out.append(char(point));
    } else if (point < 0x800) {
        out.append(char(0xC0 | (point >> 6))).append(char(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        out.append(char(0xE0 | (point >> 12)))
            .append(char(0x80 | ((point >> 6) & 0x3F)))
            .append(char(0x80 | (point & 0x3F)));
    } else {
        out.append(char(0xF0 | (point >> 18)))
            .append(char(0x80 | ((point >> 12) & 0x3F)))
            .append(char(0x80 | ((point >> 6) & 0x3F)))
            .append(char(0x80 | (point & 0x3F)));
    }
}

// A decoder fed in pieces keeps the start of a sequence cut at a piece's end (at most three
// bytes) in state_data[0], its count in remainingChars; an encoder keeps a high surrogate
// there the same way.
class EscapingUtf8Codec final : public QTextCodec {
public:
    QByteArray name() const override { return QByteArrayLiteral("UTF-8-escaped-bytes"); }
    int mibEnum() const override { return kEscapingMib; }

protected:
    QString convertToUnicode(const char* in, int length, ConverterState* state) const override {
        QByteArray bytes;
        if (state != nullptr && state->remainingChars > 0) {
            for (int i = 0; i < state->remainingChars; ++i) {
                bytes.append(char(state->state_data[0] >> (8 * i)));
            }
            state->remainingChars = 0;
            state->state_data[0] = 0;
        }
        bytes.append(in, length);
        const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
        QString out;
        out.reserve(bytes.size());
        for (int i = 0; i < bytes.size();) {
            int size = 0;
            const char32_t point = readSequence(data + i, bytes.size() - i, size);
            if (size < 0 && state != nullptr) {
                for (int k = i; k < bytes.size(); ++k) {
                    state->state_data[0] |= uint(data[k]) << (8 * (k - i));
                }
                state->remainingChars = bytes.size() - i;
                break;
            }
            if (size <= 0) {
                out.append(QChar(char16_t(kEscapeBase + data[i])));
                ++i;
                continue;
            }
            if (point >= 0x10000) {
                out.append(QChar(QChar::highSurrogate(point)))
                    .append(QChar(QChar::lowSurrogate(point)));
            } else {
                out.append(QChar(char16_t(point)));
            }
            i += size;
        }
        return out;
    }

    QByteArray convertFromUnicode(const QChar* in, int length,
                                  ConverterState* state) const override {
        QString units;
        if (state != nullptr && state->remainingChars > 0) {
            units.append(QChar(char16_t(state->state_data[0])));
            state->remainingChars = 0;
        }
        units.append(in, length);
        QByteArray out;
        out.reserve(units.size() * 3);
        for (int i = 0; i < units.size(); ++i) {
            const char16_t unit = units.at(i).unicode();
            if (QChar::isHighSurrogate(unit)) {
                if (i + 1 < units.size() && units.at(i + 1).isLowSurrogate()) {
                    appendUtf8(out, QChar::surrogateToUcs4(unit, units.at(i + 1).unicode()));
                    ++i;
                    continue;
                }
                if (i + 1 == units.size() && state != nullptr) {
                    state->state_data[0] = unit;
                    state->remainingChars = 1;
                    break;
                }
            }
            if (unit >= kFirstEscape && unit <= kLastEscape) {
                out.append(char(unit - kEscapeBase));
            } else if (QChar::isSurrogate(unit)) {
                // Any other lone half stands for no byte at all.
                out.append('?');
                if (state != nullptr) {
                    ++state->invalidChars;
                }
            } else {
                appendUtf8(out, unit);
            }
        }
        return out;
    }
};

} // namespace

void keepFileNamesWhole() {
    static const bool installed = [] {
        const QTextCodec* locale = QTextCodec::codecForLocale();
        if (locale == nullptr || locale->mibEnum() != kUtf8Mib) {
            return false;
        }
        // Qt owns its codecs and deletes them when the process ends.
        QTextCodec::setCodecForLocale(new EscapingUtf8Codec);
        return true;
    }();
    static_cast<void>(installed);
}
