#pragma once

#include <QByteArray>

#include <optional>

// A photons file: big-endian version length, the version text, fourteen big-endian numbers
// (the preview's width and height among them), then width x height little-endian pixels.
struct PhotonsFile {
    QByteArray version = "2.1";
    std::optional<quint32> versionLength;
    qint32 width = 0;
    qint32 height = 0;
    QByteArray pixels;
    QByteArray trailing;

    QByteArray bytes() const;
};

// A photons pixel word (5-6-5, red in the low bits) as its two file bytes.
QByteArray photonsPixel(int r, int g, int b);
