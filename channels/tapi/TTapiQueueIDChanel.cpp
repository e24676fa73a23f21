#include "TTapiQueueIDChanel.h"

#include "Exception.h"
#include "TChanelThread.h"
#include "TTapiConnection.h"
#include "TTapiVault.h"

#include <fcntl.h>
#include <unistd.h>

TTapiQueueIDChanel::TTapiQueueIDChanel() = default;

TTapiQueueIDChanel::~TTapiQueueIDChanel() {
    // The base part cannot reach this class's Close any more: hang up here,
    // silently (the base has emptied nothing yet, so empty the sinks first).
    SetOnChanelStateEvent(nullptr);
    SetConsoleFunction(nullptr);
    if (FConnection) {
        FConnection->FOnText = nullptr;
        FConnection->FOnState = nullptr;
    }
    if (GetState() != csDisconnected || FConnection) {
        Close();
    }
}

void TTapiQueueIDChanel::Push(int32_t command) {
    try {
        PushCommand(command);
    } catch (const Exception& e) {
        WriteConsole(e.what());
    }
}

int TTapiQueueIDChanel::Open(const std::string& modemName, const std::string& phoneNumber,
                             int readTotalTimeout, int readIntervalTimeout) {
    if (FConnection) {
        FConnection.reset();  // hangs up
        SetState(csDisconnected);
        WriteConsole("Отмена звонка");
        return -3;
    }
    FReadTotalTimeout = readTotalTimeout;
    FReadIntervalTimeout = readIntervalTimeout;
    try {
        TTapi* tapi = TapiVault.Get();
        if (tapi == nullptr) {
            throw Exception("Библиотека TAPI не инициализирована");
        }
        if (modemName.empty()) {
            throw Exception("Не выбран модем");
        }
        if (phoneNumber.empty()) {
            throw Exception("Нет номера телефона");
        }
        FConnection = std::make_unique<TTapiConnection>(tapi);
        // The connection keeps the sink set at this moment.
        FConnection->FOnText = GetConsoleFunction();
        FConnection->FOnState = [this](int state) { OnConnectionState(state); };
        if (!FConnection->OpenLine(tapi->FindDevice(modemName))) {
            throw Exception("Ошибка открытия линии");
        }
        FConnection->MakeCall(phoneNumber);
        SetState(csConnecting);
        return 1;
    } catch (const Exception& e) {
        WriteConsole(e.what());
        Close();
        return -1;
    }
}

void TTapiQueueIDChanel::OnConnectionState(int state) {
    switch (state) {
        case 0:
            Push(cmdClose);
            break;
        case 1:
            SetState(csConnecting);
            break;
        case 2: {
            if (!FConnection || FConnection->FCommHandle < 0) {
                Push(cmdClose);
                break;
            }
            // The worker gets a descriptor of its own for the adoption: the
            // connection may close its handle before the worker gets to it.
            const int handOver = ::fcntl(FConnection->FCommHandle, F_DUPFD_CLOEXEC, 0);
            ChanelCommonStruct& data = TailData();
            data.PortHandle = handOver;
            data.HandOver = 1;
            data.ReadTotalTimeout = static_cast<uint32_t>(FReadTotalTimeout);
            data.ReadIntervalTimeout = static_cast<uint32_t>(FReadIntervalTimeout);
            try {
                PushCommand(cmdAttach);
            } catch (const Exception& e) {
                if (handOver >= 0) {
                    ::close(handOver);
                }
                WriteConsole(e.what());
            }
            break;
        }
        default:
            break;
    }
}

void TTapiQueueIDChanel::Close() {
    Push(cmdClose);
    if (!FConnection) {
        return;
    }
    FConnection->FOnText = nullptr;
    FConnection.reset();  // hangs up: handle, call, line
    SetState(csDisconnected);
    WriteConsole("Вызов завершен");
}

void TTapiQueueIDChanel::OnPortEvent() {
    Close();
}
