#pragma once

#include <QRgb>

// The grey silhouette of the DLP and GF previews: pixels in the key colour become the
// background, every other pixel a grey between 127 and 255 by its brightness.
class PreviewToneMapper {
public:
    // The key pixel sets the key colour and is itself painted in the background colour.
    QRgb key(int r, int g, int b);
    QRgb map(int r, int g, int b) const;

private:
    bool hasKey_ = false;
    int keyR_ = 0;
    int keyG_ = 0;
    int keyB_ = 0;
};

// The grey of one pixel. The arithmetic is single precision step by step, as the pictures
// already in users' caches were made; another order changes some levels by one.
QRgb toneGrey(int r, int g, int b);
