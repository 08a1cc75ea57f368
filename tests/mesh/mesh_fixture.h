#pragma once

#include "my_stl_reader.h"
#include "files.h"
#include "qt_printers.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <gtest/gtest.h>

// Mesh files in the test's data home, a memory state the test chooses, and the log.
class MeshTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The next readings of the memory probes.
    static void setMemory(quint32 loadPercent, quint64 availablePhysical);
    QString log() const;
};

// Every float of every chunk, in order.
QVector<float> allFloats(const mySTLReader& reader);
