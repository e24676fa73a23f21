#pragma once

// Base of the objects that own something (a descriptor, a thread, a buffer):
// copying one would leave two owners.
class Noncopyable {
public:
    Noncopyable(const Noncopyable&) = delete;
    Noncopyable& operator=(const Noncopyable&) = delete;

protected:
    Noncopyable() = default;
    ~Noncopyable() = default;
};
