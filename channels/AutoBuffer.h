#pragma once

#include "Noncopyable.h"

#include <cstddef>
#include <memory>

// An owned heap byte array, zero-filled, released when it goes out of scope.
class AutoBuffer : public Noncopyable {
public:
    AutoBuffer() = default;
    explicit AutoBuffer(size_t size) { Reset(size); }

    // Drops the old contents and holds `size` zero bytes.
    void Reset(size_t size) {
        FData = size != 0 ? std::make_unique<char[]>(size) : nullptr;
        FSize = size;
    }
    char* Data() { return FData.get(); }
    const char* Data() const { return FData.get(); }
    size_t Size() const { return FSize; }

private:
    std::unique_ptr<char[]> FData;
    size_t FSize = 0;
};
