#include "ChanelKinds.h"

#include "TComPortQueueIDChanel.h"
#include "TNetChanelThread.h"
#include "TNetQueueIDChanel.h"
#include "TTapiQueueIDChanel.h"

namespace {

template <typename T>
std::unique_ptr<TQueueIDChanel> Make() {
    return std::make_unique<T>();
}

// 19200 baud; an answer ends 1000 ms after the read began at the latest (a
// search: 100 ms), or after 20 ms of silence; DTR on, RTS off.
void OpenComPort(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int total = pace == AnswerPace::Quick ? 100 : 1000;
    static_cast<TComPortQueueIDChanel&>(chanel).Open(setup.ComPortName, 19200, total, 20, true,
                                                     false, false);
}

// The outcome arrives as state events; an Open that fails before dialling
// raises none, and the task waits in step 1 until stopped.
void OpenModem(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int total = pace == AnswerPace::Quick ? 1000 : 3000;
    static_cast<TTapiQueueIDChanel&>(chanel).Open(setup.ModemName, setup.PhoneNumber, total, 50);
}

// A network link: about 15 s to connect, 120 s (a modem's no-answer limit)
// for the device to call; an answer may take 5 s over a mobile network (a
// search: 1 s). The task's own time-out comes a second later, so the
// channel's verdict arrives first.
constexpr int kNetConnectMs = 15000;
constexpr int kNetCallMs = 120000;
void OpenNetwork(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int answer = pace == AnswerPace::Quick ? 1000 : 5000;
    const int limit = setup.NetworkMode == nmListen ? kNetCallMs : kNetConnectMs;
    static_cast<TNetQueueIDChanel&>(chanel).Open(setup.NetworkAddress, setup.NetworkMode,
                                                 setup.AllowedPeers, limit, answer);
}

const ChanelKind kChanelKinds[] = {
    {0, 20, 2, &Make<TComPortQueueIDChanel>, &OpenComPort},
    {1, 40, 12, &Make<TTapiQueueIDChanel>, &OpenModem},
    {2, 60, 20, &Make<TNetQueueIDChanel>, &OpenNetwork},
};

}  // namespace

const ChanelKind* FindChanelKind(int32_t type) {
    for (const ChanelKind& kind : kChanelKinds) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}
