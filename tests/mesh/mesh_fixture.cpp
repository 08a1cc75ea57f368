#include "mesh_fixture.h"

#include "files.h"
#include "memory_probes.h"

#include <atomic>

namespace {

std::atomic<quint32> load{10};
std::atomic<quint64> availablePhysical{8ull << 30};

BOOL chosenMemory(LPMEMORYSTATUSEX status) {
    status->dwMemoryLoad = load;
    status->ullAvailPhys = availablePhysical;
    status->ullAvailPageFile = availablePhysical;
    return TRUE;
}

} // namespace

void MeshTest::SetUp() {
    setMemory(10, 8ull << 30);
    setMemoryStatusSource(&chosenMemory);
}

void MeshTest::TearDown() {
    setMemoryStatusSource(nullptr);
}

void MeshTest::setMemory(quint32 loadPercent, quint64 physical) {
    load = loadPercent;
    availablePhysical = physical;
}

QString MeshTest::log() const {
    return QString::fromUtf8(readFile(testDataHome() + "/VOXALIS_Thumbnail/VOXALIS_Thumbnail.log"));
}

QVector<float> allFloats(const mySTLReader& reader) {
    QVector<float> floats;
    for (const VertexChunk& chunk : reader.chunks) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            floats.append(chunk.data()[i]);
        }
    }
    return floats;
}
