#pragma once

#include <cstdint>

// Colours in the blue-green-red encoding of the indicator colours.
constexpr uint32_t clYellow = 0x00FFFF;
constexpr uint32_t clGreen = 0x008000;

// Anything whose background colour can be set: the receive and transmit
// lamps of a channel. The window implements it; the channel never owns one.
class ActivityIndicator {
public:
    virtual ~ActivityIndicator() = default;
    virtual void SetColor(uint32_t colorBgr) = 0;
};
