#pragma once

#include <cstdint>
#include <string>

// The telephony operations the line and call handling relies on, provided
// by an AT-command layer over the modems configured in the settings store
// (key Software\Halbrec\ZURavorav\Modems\<name>: "Port", "Init" (default
// "ATZ"), "MediaModes" (default 0x10, the data-modem bit)). Device IDs are
// the positions of the entries in name order.
//
// Everything runs on the GUI thread: the modem's answers are read with a
// socket notifier and the messages (LINE_REPLY, LINE_CALLSTATE) reach the
// callback through the event loop, never from inside a call below and never
// from another thread. Results: 0 success, a negative value failure;
// lineMakeCall returns a positive request ID answered later by LINE_REPLY.

using HLINEAPP = uintptr_t;
using HLINE = uintptr_t;
using HCALL = uintptr_t;

using LineCallbackFn = void (*)(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                                uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3);

// Capabilities of one line device.
struct LINEDEVCAPS {
    uint32_t dwMediaModes = 0;
    uint32_t dwMaxRate = 0;
    std::string LineName;  // the modem's name in the store
    std::string Port;      // its port name
};

// The parameters of a data call that the modem layer uses.
struct LINECALLPARAMS {
    uint32_t dwMinRate = 0;
    uint32_t dwMaxRate = 0;
    uint32_t dwMediaMode = 0;
    uint32_t dwCallParamFlags = 0;
    uint32_t dwAddressMode = 0;
    uint32_t dwAddressID = 0;
    uint32_t dwWaitForDialtone = 0;  // ms
    uint32_t dwNoAnswerTimeout = 0;  // s
    std::string DisplayableAddress;
};

constexpr long kLineErrFailed = -1;

long lineInitialize(HLINEAPP* lineApp, LineCallbackFn callback, const char* appName,
                    uint32_t* numDevs);
long lineShutdown(HLINEAPP lineApp);
long lineNegotiateAPIVersion(HLINEAPP lineApp, uint32_t deviceId, uint32_t lowVersion,
                             uint32_t highVersion, uint32_t* apiVersion);
long lineGetDevCaps(HLINEAPP lineApp, uint32_t deviceId, uint32_t apiVersion, LINEDEVCAPS* caps);
// Opens the device's port (exclusively) and holds it while the line is open.
long lineOpen(HLINEAPP lineApp, uint32_t deviceId, HLINE* line, uint32_t apiVersion,
              uint32_t privileges, uint32_t mediaModes);
// Keeps the dialable characters of `number`.
long lineTranslateAddress(HLINEAPP lineApp, uint32_t deviceId, uint32_t apiVersion,
                          const std::string& number, std::string* dialable,
                          std::string* displayable);
// Sends the init string and the dial command. On success LINE_REPLY (result
// 0) follows, `*call` is set just before it, and the call's states follow as
// LINE_CALLSTATE messages.
long lineMakeCall(HLINE line, HCALL* call, const std::string& dialable,
                  const LINECALLPARAMS& params);
long lineSetCallParams(HCALL call, uint32_t bearerMode, uint32_t minRate, uint32_t maxRate);
// The comm handle of a connected call: a new descriptor of the line's port,
// owned by the caller.
long lineGetID(HLINE line, HCALL call, int* commHandle);
// Hangs the call up: DTR off where the port has modem lines, otherwise the
// escape sequence with its guard time and ATH (done in the background so
// the GUI thread never waits for the guard time).
long lineDrop(HCALL call);
// Releases the port.
long lineClose(HLINE line);

// Waits until the hang-ups still running in the background have finished
// (at program end).
void lineWaitForHangUps();
