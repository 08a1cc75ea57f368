#include "tone_mapping.h"

#include "preview_constants.h"

QRgb PreviewToneMapper::key(int r, int g, int b) {
    hasKey_ = true;
    keyR_ = r;
    keyG_ = g;
    keyB_ = b;
    return kBackgroundColour;
}

QRgb PreviewToneMapper::map(int r, int g, int b) const {
    if (hasKey_ && r == keyR_ && g == keyG_ && b == keyB_) {
        return kBackgroundColour;
    }
    return toneGrey(r, g, b);
}

QRgb toneGrey(int r, int g, int b) {
    const int brightness = (11 * r + 16 * g + 5 * b) / 32;
    float v = static_cast<float>(brightness);
    v = v / 255.0f;
    v = v * 128.0f;
    v = v + 127.0f;
    const quint32 level = static_cast<quint32>(static_cast<int>(v)) & 0xFFu;
    return 0xFF000000u + level * 0x010101u;
}
