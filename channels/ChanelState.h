#pragma once

#include <cstdint>

// Connection state of a channel. Receivers ignore values they do not know.
enum ChanelState : int32_t { csDisconnected = 0, csConnecting = 1, csConnected = 2 };
