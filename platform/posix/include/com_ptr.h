#pragma once

#include "com_api.h"

#include <utility>

// Holds one reference to a COM object and releases it when it goes, as WRL's ComPtr does.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~ComPtr() { Reset(); }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }

    // For out parameters: whatever was held is released first.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &pointer_;
    }

    void Reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

private:
    T* pointer_ = nullptr;
};
