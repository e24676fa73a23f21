#pragma once

#include <cstdint>

// Values of the telephony interface that the line and call handling keeps:
// message numbers, call states, media modes. The modem layer underneath
// reports a call's progress with these.

constexpr uint32_t LINE_CALLSTATE = 2;
constexpr uint32_t LINE_REPLY = 12;

constexpr uint32_t LINECALLSTATE_IDLE = 0x1;
constexpr uint32_t LINECALLSTATE_OFFERING = 0x2;
constexpr uint32_t LINECALLSTATE_ACCEPTED = 0x4;
constexpr uint32_t LINECALLSTATE_DIALTONE = 0x8;
constexpr uint32_t LINECALLSTATE_DIALING = 0x10;
constexpr uint32_t LINECALLSTATE_RINGBACK = 0x20;
constexpr uint32_t LINECALLSTATE_BUSY = 0x40;
constexpr uint32_t LINECALLSTATE_SPECIALINFO = 0x80;
constexpr uint32_t LINECALLSTATE_CONNECTED = 0x100;
constexpr uint32_t LINECALLSTATE_PROCEEDING = 0x200;
constexpr uint32_t LINECALLSTATE_ONHOLD = 0x400;
constexpr uint32_t LINECALLSTATE_DISCONNECTED = 0x4000;
constexpr uint32_t LINECALLSTATE_UNKNOWN = 0x8000;

constexpr uint32_t LINEMEDIAMODE_DATAMODEM = 0x10;
constexpr uint32_t LINEBEARERMODE_DATA = 0x40;
constexpr uint32_t LINECALLPRIVILEGE_OWNER_MONITOR = 6;
constexpr uint32_t LINECALLSELECT_CALL = 4;
constexpr uint32_t LINECALLPARAMFLAGS_BLOCKID = 2;
constexpr uint32_t LINEADDRESSMODE_ADDRESSID = 1;

// Result of an asynchronous request reported by LINE_REPLY: 0 success.
constexpr uint32_t LINEERR_OPERATIONFAILED = 0x80000048;
