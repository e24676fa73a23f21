#include "ChanelKinds.h"

#include "TComPortQueueIDChanel.h"
#include "TNetQueueIDChanel.h"
#include "TTapiQueueIDChanel.h"

namespace {

template <typename T>
std::unique_ptr<TQueueIDChanel> Make() {
    return std::make_unique<T>();
}

// 19200 baud; an answer ends 1000 ms after the read began at the latest (a
// search: 100 ms), or after 20 ms of silence; DTR on, RTS off.
constexpr int kComAnswerMs = 1000;
constexpr int kComQuickAnswerMs = 100;
void OpenComPort(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int total = pace == AnswerPace::Quick ? kComQuickAnswerMs : kComAnswerMs;
    static_cast<TComPortQueueIDChanel&>(chanel).Open(setup.ComPortName, 19200, total, 20, true,
                                                     false, false);
}

// The outcome arrives as state events; an Open that fails before dialling
// raises none, and the task waits in step 1 until stopped.
constexpr int kModemAnswerMs = 3000;
constexpr int kModemQuickAnswerMs = 1000;
void OpenModem(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int total = pace == AnswerPace::Quick ? kModemQuickAnswerMs : kModemAnswerMs;
    static_cast<TTapiQueueIDChanel&>(chanel).Open(setup.ModemName, setup.PhoneNumber, total, 50);
}

// A network link: about 15 s to connect, 120 s (a modem's no-answer limit)
// for the device to call; an answer may take 5 s over a mobile network (a
// search: 1 s).
constexpr int kNetConnectMs = 15000;
constexpr int kNetCallMs = 120000;
constexpr int kNetAnswerMs = 5000;
constexpr int kNetQuickAnswerMs = 1000;
void OpenNetwork(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace) {
    const int answer = pace == AnswerPace::Quick ? kNetQuickAnswerMs : kNetAnswerMs;
    const int limit = setup.NetworkMode == nmListen ? kNetCallMs : kNetConnectMs;
    static_cast<TNetQueueIDChanel&>(chanel).Open(setup.NetworkAddress, setup.NetworkMode,
                                                 setup.AllowedPeers, limit, answer);
}

// Beyond the answer time-out, a serial line's transfer takes the line's
// silence before the request (3.5 characters), the request's own time on
// the line (40 bytes: 21 ms) and, for an answer that tells no length, the
// silence that ends it (20 ms); a network's purges at most 200 ms first.
constexpr int kLineOverheadMs = 100;
constexpr int kNetOverheadMs = 300;

const ChanelKind kChanelKinds[] = {
    {ctComPort, "COM порт", kComAnswerMs, kComQuickAnswerMs, kLineOverheadMs,
     &Make<TComPortQueueIDChanel>, &OpenComPort},
    {ctModem, "модем", kModemAnswerMs, kModemQuickAnswerMs, kLineOverheadMs,
     &Make<TTapiQueueIDChanel>, &OpenModem},
    {ctNetwork, "сеть", kNetAnswerMs, kNetQuickAnswerMs, kNetOverheadMs, &Make<TNetQueueIDChanel>,
     &OpenNetwork},
};

constexpr int kTickMs = 100;

}  // namespace

const ChanelKind* FindChanelKind(int32_t type) {
    for (const ChanelKind& kind : kChanelKinds) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}

int AnswerTicks(const ChanelKind& kind, AnswerPace pace) {
    const int limit =
        (pace == AnswerPace::Quick ? kind.quickAnswerMs : kind.answerMs) + kind.overheadMs;
    return (limit + kTickMs - 1) / kTickMs + 2;
}

std::string DescribeConnection(const ChanelSetupStruct& setup) {
    const ChanelKind* kind = FindChanelKind(setup.CurrentChanel);
    if (kind == nullptr) {
        return "не задано";
    }
    std::string text = std::string(kind->name) + " ";
    switch (kind->type) {
        case ctComPort:
            return text + setup.ComPortName;
        case ctModem:
            return text + setup.ModemName + ", " + setup.PhoneNumber;
        default:
            return text + setup.NetworkAddress;
    }
}
