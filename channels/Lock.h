#pragma once

#include "Noncopyable.h"

#include <mutex>

namespace comprt {

// Holds a critical section for the lifetime of the object, also when an
// exception passes.
class Lock : public Noncopyable {
public:
    explicit Lock(std::mutex& section) : FSection(section) { FSection.lock(); }
    ~Lock() { FSection.unlock(); }

private:
    std::mutex& FSection;
};

}  // namespace comprt
