#include "TChanelObject.h"

#include <QTimer>

TChanelObject::TChanelObject() : FTimer(std::make_unique<QTimer>()) {
    FTimer->setInterval(50);
    QObject::connect(FTimer.get(), &QTimer::timeout, [this] { TimerTick(); });
    FTimer->start();
}

TChanelObject::~TChanelObject() {
    FRxControl = nullptr;
    FTxControl = nullptr;
    FOnChanelStateEvent = nullptr;
    FConsoleFunction = nullptr;
    // Only the base close can run here: the derived parts, and any queue of
    // theirs, are already gone. It raises nothing since the events are empty.
    if (FState != csDisconnected) {
        TChanelObject::Close();
    }
    FTimer.reset();
}

void TChanelObject::Close() {
    SetState(csDisconnected);
}

bool TChanelObject::SendPacket(const uint8_t*, int, int, bool) {
    return false;
}

int TChanelObject::GetInfo() {
    return -1;
}

int TChanelObject::GetChanelKind() {
    return 0;
}

void TChanelObject::WakeUpDevice(bool) {}

void TChanelObject::OnTimerTick() {}

void TChanelObject::SetState(ChanelState state) {
    if (state == FState) {
        return;
    }
    FState = state;
    if (FOnChanelStateEvent) {
        FOnChanelStateEvent(state);
    }
}

void TChanelObject::WriteConsole(const std::string& text) {
    if (FConsoleFunction) {
        FConsoleFunction(text);
    }
}

void TChanelObject::ShowActivity(bool received, bool sent) {
    if (received) {
        if (FRxControl != nullptr) {
            FRxControl->SetColor(clYellow);
        }
        FRxTicks = 2;
    }
    if (sent) {
        if (FTxControl != nullptr) {
            FTxControl->SetColor(clYellow);
        }
        FTxTicks = 2;
    }
}

void TChanelObject::TimerTick() {
    if (FRxTicks != 0 && --FRxTicks == 0 && FRxControl != nullptr) {
        FRxControl->SetColor(clGreen);
    }
    if (FTxTicks != 0 && --FTxTicks == 0 && FTxControl != nullptr) {
        FTxControl->SetColor(clGreen);
    }
    OnTimerTick();
}
