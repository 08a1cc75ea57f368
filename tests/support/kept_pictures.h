#pragma once

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

// Keeps a picture the running test produced. Should the test fail, it is written next to the
// build (failed-pictures/SUITE.TEST-N-WHAT.png) for a person to look at; otherwise it is
// dropped when the test ends.
void keepForFailure(const QImage& picture, const QString& what);

// Writes the kept pictures of a failed test; the test main installs it.
std::unique_ptr<::testing::TestEventListener> keptPicturesWriter();
