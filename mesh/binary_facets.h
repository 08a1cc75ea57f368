#pragma once

#include "facet_convert.h"

#include <QString>
#include <QtGlobal>

#include <thread>

// Facets per read call: a 400 KB buffer, reused.
constexpr qint64 kFacetsPerRead = 8192;
// A read buffer holds this many facets and 16 bytes of slack past the last record.
constexpr qint64 kRecordBufferBytes = kFacetsPerRead * kFacetRecordSize + 16;

// The box of up to `facets` records of a file from `offset` on, measured by a worker thread
// while the caller measures what comes before; the worker has finished when this is destroyed.
class LaterFacets {
public:
    LaterFacets(const QString& path, qint64 offset, quint32 facets);
    ~LaterFacets();
    LaterFacets(const LaterFacets&) = delete;
    LaterFacets& operator=(const LaterFacets&) = delete;

    // Waits for the worker. The facets that arrived, all of them within the box.
    quint32 arrived();
    const FacetBox& box() const { return box_; }

private:
    FacetBox box_;
    quint32 arrived_ = 0;
    std::thread worker_;
};
