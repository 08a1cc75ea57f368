#include "binary_facets.h"

#include <QFile>

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>

LaterFacets::LaterFacets(const QString& path, qint64 offset, quint32 facets) : box_{} {
    std::fill(std::begin(box_.low), std::end(box_.low), std::numeric_limits<float>::max());
    std::fill(std::begin(box_.high), std::end(box_.high), -std::numeric_limits<float>::max());
    // Allocated here, where a failure can be caught.
    std::unique_ptr<uchar[]> buffer(new uchar[kRecordBufferBytes]());
    worker_ = std::thread([this, path, offset, facets, records = std::move(buffer)] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) {
            return;
        }
        for (qint64 left = facets; left > 0;) {
            const qint64 wanted = std::min<qint64>(left, kFacetsPerRead) * kFacetRecordSize;
            const qint64 got = file.read(reinterpret_cast<char*>(records.get()), wanted);
            const qint64 measured = std::max<qint64>(got, 0) / kFacetRecordSize;
            convertFacets(records.get(), measured, false, nullptr, box_);
            arrived_ += static_cast<quint32>(measured);
            left -= measured;
            if (got != wanted) {
                return;
            }
        }
    });
}

LaterFacets::~LaterFacets() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

quint32 LaterFacets::arrived() {
    if (worker_.joinable()) {
        worker_.join();
    }
    return arrived_;
}
