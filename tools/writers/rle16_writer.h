#pragma once

#include <QByteArray>
#include <QVector>

// The 16-bit run-length pictures of the DLP family and the project files, word by word.
class Rle16Writer {
public:
    // One colour word without the run flag: one pixel.
    Rle16Writer& pixel(quint16 colour);
    // The colour with the run flag set, then a run word; runs longer than 4,096 pixels are
    // written as several.
    Rle16Writer& run(quint16 colour, int length);
    // Any word as it stands, for hostile streams.
    Rle16Writer& word(quint16 value);

    QByteArray bytes() const;

private:
    QVector<quint16> words_;
};

// Encodes a row-major picture of 5-6-5 colours as runs. Every group is written as a run, so a
// colour keeps one encoding (the run flag is part of the colour) wherever it appears.
QByteArray encodeRle16(const QVector<quint16>& pixels);

// 5-6-5 colour word from 8-bit channels, keeping the top bits of each.
quint16 rgb565(int r, int g, int b);
