#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

// Milliseconds left until `deadline`, rounded up so that a wait never ends
// before it; 0 once it has passed. For poll(), which takes an int.
inline int MsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}
