#pragma once

#include "ActivityIndicator.h"
#include "ChanelState.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

using ChanelStateEvent = std::function<void(ChanelState state)>;
using ConsoleEvent = std::function<void(const std::string& text)>;

// Root of every communication channel: the connection state with its event,
// an optional sink for diagnostic texts, two optional activity lamps and a
// 50 ms timer. Lives on the GUI thread: created, used and destroyed there,
// and every event is raised there. Not copyable.
class TChanelObject {
public:
    TChanelObject();
    TChanelObject(const TChanelObject&) = delete;
    TChanelObject& operator=(const TChanelObject&) = delete;
    // Empties the events and the lamps first, so nothing is called back while
    // the channel goes away.
    virtual ~TChanelObject();

    // Virtual operations, in the order every channel fills them in.
    virtual void Close();
    virtual bool SendPacket(const uint8_t* data, int length, int packetId, bool quiet);
    virtual int GetInfo();
    virtual int GetChanelKind();
    virtual void WakeUpDevice(bool sendFF);
    virtual void OnTimerTick();

    ChanelState GetState() const { return FState; }

    const ChanelStateEvent& GetOnChanelStateEvent() const { return FOnChanelStateEvent; }
    void SetOnChanelStateEvent(ChanelStateEvent handler) {
        FOnChanelStateEvent = std::move(handler);
    }
    ActivityIndicator* GetRxControl() const { return FRxControl; }
    void SetRxControl(ActivityIndicator* control) { FRxControl = control; }
    ActivityIndicator* GetTxControl() const { return FTxControl; }
    void SetTxControl(ActivityIndicator* control) { FTxControl = control; }
    const ConsoleEvent& GetConsoleFunction() const { return FConsoleFunction; }
    void SetConsoleFunction(ConsoleEvent sink) { FConsoleFunction = std::move(sink); }

protected:
    // Changes the state; raises OnChanelStateEvent (after the field is set)
    // only when the state really changes.
    void SetState(ChanelState state);
    void WriteConsole(const std::string& text);
    // Lights the lamps yellow for two timer ticks.
    void ShowActivity(bool received, bool sent);

    // The 50 ms tick: returns lamps to green, then OnTimerTick.
    void TimerTick();

private:
    ChanelState FState = csDisconnected;
    ChanelStateEvent FOnChanelStateEvent;
    ConsoleEvent FConsoleFunction;
    ActivityIndicator* FRxControl = nullptr;
    ActivityIndicator* FTxControl = nullptr;
    int32_t FRxTicks = 0;
    int32_t FTxTicks = 0;
    std::unique_ptr<QTimer> FTimer;
};
