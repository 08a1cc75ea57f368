#include "vertex_chunk.h"

#include "platform_services.h"

#include <algorithm>
#include <new>

namespace {
// Buffers from this size on are worth huge pages.
constexpr std::size_t kHugePageWorthy = 4u << 20;
} // namespace

void VertexChunk::reserve(std::size_t floats) {
    if (floats <= capacity_) {
        return;
    }
    if (!data_ && floats * sizeof(float) >= kHugePageWorthy) {
        std::size_t bytes = floats * sizeof(float);
        void* fresh = allocateLargeBuffer(bytes);
        if (fresh == nullptr) {
            throw std::bad_alloc();
        }
        data_.reset(static_cast<float*>(fresh));
        capacity_ = bytes / sizeof(float);
        return;
    }
    // realloc can move a large block by remapping its pages instead of copying them.
    void* grown = std::realloc(data_.get(), floats * sizeof(float));
    if (grown == nullptr) {
        throw std::bad_alloc();
    }
    data_.release();
    data_.reset(static_cast<float*>(grown));
    capacity_ = floats;
    if (floats * sizeof(float) >= kHugePageWorthy) {
        adviseHugePages(grown, floats * sizeof(float));
    }
}

float* VertexChunk::extend(std::size_t floats) {
    if (size_ + floats > capacity_) {
        reserve(std::max(size_ + floats, 2 * capacity_ + 1024));
    }
    float* at = data_.get() + size_;
    size_ += floats;
    return at;
}
