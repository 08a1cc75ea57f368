#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

// A chunk is closed once it holds this many bytes (50 MiB): chunks are uploaded one by one,
// and this keeps each buffer object at a size every driver takes.
constexpr std::size_t kChunkLimitBytes = 52428800;

// A flat array of floats that the renderer uploads as it stands. Unlike a QVector it leaves
// new space uninitialised, so each float of a large mesh is written exactly once.
class VertexChunk {
public:
    VertexChunk() = default;
    VertexChunk(VertexChunk&&) noexcept = default;
    VertexChunk& operator=(VertexChunk&&) noexcept = default;

    // Room for `floats` in all, without changing the size. Throws std::bad_alloc.
    void reserve(std::size_t floats);
    // Adds `floats` uninitialised floats at the end and returns where they start.
    float* extend(std::size_t floats);
    void append3(float x, float y, float z) {
        float* at = extend(3);
        at[0] = x;
        at[1] = y;
        at[2] = z;
    }

    // Keeps the first `floats` at most, and the room.
    void truncate(std::size_t floats) { size_ = floats < size_ ? floats : size_; }
    std::size_t size() const { return size_; }
    std::size_t bytes() const { return size_ * sizeof(float); }
    bool isEmpty() const { return size_ == 0; }
    const float* data() const { return data_.get(); }

private:
    struct Free {
        void operator()(float* p) const { std::free(p); }
    };
    std::unique_ptr<float, Free> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
