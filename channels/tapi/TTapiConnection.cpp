#include "TTapiConnection.h"

#include "TTapi.h"
#include "TapiConstants.h"

#include <unistd.h>

std::string CallStateText(uint32_t callState) {
    switch (callState) {
        case LINECALLSTATE_IDLE:
            return "Линия в состоянии ожидания";
        case LINECALLSTATE_OFFERING:
            return "Прием вызова";
        case LINECALLSTATE_ACCEPTED:
            return "Вызов принят";
        case LINECALLSTATE_DIALTONE:
            return "Линия готова";
        case LINECALLSTATE_DIALING:
            return "Набор номера";
        case LINECALLSTATE_RINGBACK:
            return "Обратный звонок";
        case LINECALLSTATE_BUSY:
            return "Линия занята";
        case LINECALLSTATE_SPECIALINFO:
            return "Обмен служебной информацией";
        case LINECALLSTATE_CONNECTED:
            return "Соединение установлено";
        case LINECALLSTATE_PROCEEDING:
            return "Ожидание ответа";
        case LINECALLSTATE_ONHOLD:
            return "Пауза";
        case LINECALLSTATE_DISCONNECTED:
            return "Соединение разорвано";
        case LINECALLSTATE_UNKNOWN:
            return "Состояние линии не определено";
        default:
            return std::string();
    }
}

TTapiConnection::TTapiConnection(TTapi* owner) : FOwner(owner) {
    if (FOwner != nullptr) {
        FOwner->AddConnection(this);
    }
}

TTapiConnection::~TTapiConnection() {
    HangUp();
    if (FOwner != nullptr) {
        FOwner->RemoveConnection(this);
    }
}

bool TTapiConnection::OpenLine(int index) {
    if (FLine != 0) {
        HangUp();
    }
    if (FOwner == nullptr) {
        return false;
    }
    const int id = FOwner->GetDeviceID(static_cast<unsigned>(index));
    FDevCaps = FOwner->GetDevCaps(id);
    lineOpen(FOwner->FLineApp, static_cast<uint32_t>(id), &FLine, FOwner->FApiVersion,
             LINECALLPRIVILEGE_OWNER_MONITOR, LINEMEDIAMODE_DATAMODEM);
    FDeviceID = id;
    return FLine != 0;
}

bool TTapiConnection::MakeCall(const std::string& number) {
    if (FLine == 0) {
        return false;
    }
    std::string dialable;
    std::string displayable;
    lineTranslateAddress(FOwner->FLineApp, static_cast<uint32_t>(FDeviceID), FOwner->FApiVersion,
                         number, &dialable, &displayable);
    // The destination address holds at most 80 characters.
    if (dialable.size() > 80) {
        dialable.resize(80);
    }
    LINECALLPARAMS params;
    params.dwMinRate = 9600;
    params.dwMaxRate = 19200;
    if (FDevCaps) {
        FDevCaps->dwMaxRate = 19200;
    }
    params.dwMediaMode = LINEMEDIAMODE_DATAMODEM;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_BLOCKID;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    params.dwAddressID = 0;
    params.dwWaitForDialtone = 2000;
    params.dwNoAnswerTimeout = 120;
    params.DisplayableAddress = displayable;
    lineMakeCall(FLine, &FCall, dialable, params);
    return true;
}

void TTapiConnection::HangUp() {
    if (FCommHandle >= 0) {
        ::close(FCommHandle);
        FCommHandle = -1;
    }
    if (FCall != 0) {
        lineDrop(FCall);
        FCall = 0;
    }
    if (FLine != 0) {
        lineClose(FLine);
        FLine = 0;
    }
    FDevCaps.reset();
}

void TTapiConnection::HandleLineMessage(uintptr_t, uint32_t dwMsg, uintptr_t, uintptr_t dwParam1,
                                        uintptr_t dwParam2, uintptr_t) {
    if (dwMsg == LINE_REPLY) {
        if (FOnText && dwParam2 != 0) {
            FOnText("Ошибка вызова TAPI функции");
        }
        return;
    }
    if (dwMsg != LINE_CALLSTATE) {
        return;
    }
    const uint32_t callState = static_cast<uint32_t>(dwParam1);
    switch (callState) {
        case LINECALLSTATE_DIALING:
            if (FOnState) {
                FOnState(1);
            }
            FCallState = 1;
            break;
        case LINECALLSTATE_CONNECTED: {
            const uint32_t maxRate = FDevCaps ? FDevCaps->dwMaxRate : 19200;
            lineSetCallParams(FCall, LINEBEARERMODE_DATA, 9600, maxRate);
            int handle = -1;
            if (lineGetID(FLine, FCall, &handle) == 0) {
                FCommHandle = handle;
            }
            if (FOnState) {
                FOnState(2);
            }
            FCallState = 2;
            break;
        }
        case LINECALLSTATE_DISCONNECTED:
            if (FCommHandle >= 0) {
                ::close(FCommHandle);
                FCommHandle = -1;
            }
            HangUp();
            if (FOnState) {
                FOnState(0);
            }
            FCallState = 0;
            break;
        default:
            break;
    }
    // The code has reached FOnState; now the text.
    if (FOnText) {
        FOnText(CallStateText(callState));
    }
}
