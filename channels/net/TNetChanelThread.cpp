#include "TNetChanelThread.h"

#include "ComPort.h"
#include "ModbusAnswer.h"

#include <algorithm>
#include <utility>

namespace {

// The remote line's settle time after DTR went on, as on a local port.
constexpr auto kSettleTime = std::chrono::milliseconds(300);
// An answer whose function carries no length ends after this much silence.
constexpr int kUnframedSilenceMs = 200;
constexpr size_t kReadPiece = 1024;

}  // namespace

TNetChanelThread::~TNetChanelThread() {
    FLink.Abort(true);
    Stop();
}

int TNetChanelThread::Execute(int command, ChanelCommonStruct* data) try {
    switch (command) {
        case cmdOpen:
            Open(*data);
            break;
        case cmdClose:
            if (FLink.IsOpen()) {
                Note("Соединение с " + FLink.Peer() + " закрыто");
            }
            FLink.Close();
            FLink.ClearAbort();
            break;
        case cmdTransfer:
        case cmdTransferQuiet:
            Transfer(*data);
            break;
        default:
            break;
    }
    return 0;
} catch (const Exception& e) {
    // A link that broke or could not be set up is closed at once, so the
    // server or the device that called in is free now, not at the next
    // open. A device that does not answer leaves it as it was, and so does
    // an abort (the close follows it).
    const std::string what = e.what();
    if (command == cmdOpen || what == kNetBrokenText) {
        FLink.Close();
    } else if (what == comprt::kNoAnswerText && FTelnet.InSubnegotiation()) {
        // The answer's whole time went by inside one subnegotiation: what
        // the device said is in it, and so is all that follows.
        FLink.Close();
        const std::string detail =
            kTelnetSubUnfinishedText + std::string(" за ") + std::to_string(FAnswerTimeout) + " мс";
        Note(detail);
        PostNotice(kPortEventNotice, 0);
        throw Exception(kNetBrokenText, detail);
    }
    throw;
}

std::vector<std::string> TNetChanelThread::TakeNotes() {
    std::lock_guard<std::mutex> lock(FNotesLock);
    return std::exchange(FNotes, {});
}

void TNetChanelThread::Note(std::string text) {
    {
        std::lock_guard<std::mutex> lock(FNotesLock);
        FNotes.push_back(std::move(text));
    }
    PostNotice(kNetNoteNotice, 0);
}

void TNetChanelThread::Open(const ChanelCommonStruct& data) {
    FAnswerTimeout = data.ReadTotalTimeout;
    FRfc2217 = data.NetMode == nmRfc2217;
    FTelnet = TelnetCodec{};
    std::string error;
    if (data.NetMode == nmListen) {
        const auto endpoint = ParseListenAddress(data.PortName, &error);
        if (!endpoint) {
            throw Exception(kNetNotConnectedText, error);
        }
        Note("Ожидание звонка прибора на " + endpoint->Text());
        const std::string peer = FLink.Accept(
            *endpoint, SplitPeerList(data.AllowedPeers), static_cast<int>(data.ConnectTimeout),
            [this](const std::string& r) {
                Note("Отклонено соединение с " + r + ": адреса нет в списке разрешённых");
            });
        Note("Прибор позвонил с " + peer + ", соединение установлено");
        return;
    }
    const auto endpoint = ParseConnectAddress(data.PortName, &error);
    if (!endpoint) {
        throw Exception(kNetNotConnectedText, error);
    }
    const std::string peer = FLink.Connect(*endpoint, static_cast<int>(data.ConnectTimeout));
    Note("Соединение с " + peer + " установлено");
    if (!FRfc2217) {
        return;
    }
    const std::vector<uint8_t> greeting = FTelnet.Greeting(data.BaudRate);
    FLink.Send(greeting.data(), greeting.size());
    // The server's answers come during the settle time; the wait goes on, up
    // to the connection limit, while the binary mode is unanswered or a
    // subnegotiation unfinished. Data bytes among them are dropped like any
    // purge.
    const auto start = NetLink::Clock::now();
    const auto settled = start + kSettleTime;
    const auto limit = start + std::max<std::chrono::milliseconds>(
                                   kSettleTime, std::chrono::milliseconds(data.ConnectTimeout));
    const auto answered = [this] {
        return FTelnet.BinaryToServer() != TelnetCodec::Agreement::Asked &&
               FTelnet.BinaryFromServer() != TelnetCodec::Agreement::Asked &&
               !FTelnet.InSubnegotiation();
    };
    std::vector<uint8_t> dropped;
    uint8_t piece[kReadPiece];
    while (int left = MsUntil(answered() ? settled : limit)) {
        const size_t got = FLink.Receive(piece, sizeof piece, left);
        Decode(piece, got, dropped);
    }
    if (FTelnet.InSubnegotiation()) {
        throw Exception(kNetNotConnectedText, kTelnetSubUnfinishedText);
    }
    // Without binary transmission both ways a server may drop the NUL after
    // a CR, which Modbus frames hold as any other byte.
    if (FTelnet.BinaryToServer() == TelnetCodec::Agreement::Refused ||
        FTelnet.BinaryFromServer() == TelnetCodec::Agreement::Refused) {
        throw Exception(kNetNotConnectedText,
                        "сервер отказался от двоичного режима передачи (TRANSMIT-BINARY), без "
                        "него байты ответов искажаются");
    }
    if (!answered()) {
        throw Exception(kNetNotConnectedText,
                        "сервер не ответил на запрос двоичного режима передачи (TRANSMIT-BINARY)");
    }
    if (!FTelnet.ComPortConfirmed()) {
        Note("Сервер не подтвердил управление COM-портом (RFC 2217); обмен продолжается");
    } else if (FTelnet.ComPortDiffers()) {
        Note("Сервер установил COM-порт не так, как запрошено (RFC 2217); обмен продолжается");
    } else {
        Note("Сервер принял управление COM-портом (RFC 2217)");
    }
}

void TNetChanelThread::SendBytes(const uint8_t* data, size_t size) {
    if (FRfc2217) {
        const std::vector<uint8_t> encoded = TelnetCodec::Encode(data, size);
        FLink.Send(encoded.data(), encoded.size());
    } else {
        FLink.Send(data, size);
    }
}

void TNetChanelThread::Decode(const uint8_t* received, size_t size, std::vector<uint8_t>& data) {
    if (!FRfc2217) {
        data.insert(data.end(), received, received + size);
        return;
    }
    std::vector<uint8_t> replies;
    FTelnet.Decode(received, size, data, replies);
    for (std::string& text : FTelnet.TakeNotes()) {
        Note(std::move(text));
    }
    if (FTelnet.SubUnfinished()) {
        throw Exception(kNetBrokenText, kTelnetSubUnfinishedText + std::string(": ") +
                                            std::to_string(TelnetCodec::kMaxOpenSubLength) +
                                            " байт без IAC SE");
    }
    if (!replies.empty()) {
        FLink.Send(replies.data(), replies.size());
    }
}

void TNetChanelThread::Purge() {
    std::vector<uint8_t> dropped;
    uint8_t piece[kReadPiece];
    while (const size_t got = FLink.Receive(piece, sizeof piece, 0)) {
        Decode(piece, got, dropped);
    }
    if (!dropped.empty()) {
        Note("Отброшено " + std::to_string(dropped.size()) +
             " байт, оставшихся от прежних ответов");
    }
}

void TNetChanelThread::Transfer(ChanelCommonStruct& data) {
    const size_t length = std::min<size_t>(data.TxLength, ChanelCommonStruct::kBufferSize);
    try {
        Purge();
        PostNotice(kActivityNotice, 1);
        SendBytes(data.TxBuffer, length);
        data.RxLength = static_cast<uint16_t>(
            ReadAnswer(data.TxBuffer, length, data.RxBuffer, ChanelCommonStruct::kBufferSize));
    } catch (const Exception& e) {
        if (std::string(e.what()) == kNetBrokenText) {
            Note(e.Detail().empty() ? std::string(kNetBrokenText) : e.Detail());
            PostNotice(kPortEventNotice, 0);
        }
        throw;
    }
    PostNotice(kActivityNotice, 0);
}

size_t TNetChanelThread::ReadAnswer(const uint8_t* request, size_t requestLength, uint8_t* answer,
                                    size_t capacity) {
    const auto deadline = NetLink::Clock::now() + std::chrono::milliseconds(FAnswerTimeout);
    std::vector<uint8_t> got;
    size_t skipped = 0;
    size_t size = 0;
    uint8_t piece[kReadPiece];
    for (;;) {
        const AnswerSpan span = LocateAnswer(request, requestLength, got.data(), got.size());
        if (span.start > 0) {
            skipped += span.start;
            got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(span.start));
        }
        const bool whole = span.length != 0 && got.size() >= span.length;
        if (whole || got.size() >= capacity) {
            // A longer answer is cut at the buffer, as a serial read is; the
            // rest is dropped before the next request.
            size = std::min({got.size(), capacity, whole ? span.length : capacity});
            std::copy_n(got.begin(), size, answer);
            break;
        }
        int waitMs = MsUntil(deadline);
        if (!span.framed && !got.empty()) {
            waitMs = std::min(waitMs, kUnframedSilenceMs);
        }
        const size_t received = waitMs > 0 ? FLink.Receive(piece, sizeof piece, waitMs) : 0;
        if (received == 0) {
            if (!span.framed && !got.empty()) {
                size = std::min(got.size(), capacity);
                std::copy_n(got.begin(), size, answer);
                break;
            }
            if (skipped > 0) {
                Note("Пропущено " + std::to_string(skipped) + " байт, не похожих на ответ");
            }
            if (got.empty()) {
                throw Exception(comprt::kNoAnswerText);
            }
            throw Exception(comprt::kNoAnswerText,
                            "ответ не завершён: " + std::to_string(got.size()) + " байт" +
                                (span.length != 0 ? " из " + std::to_string(span.length) : ""));
        }
        Decode(piece, received, got);
    }
    if (skipped > 0) {
        Note("Пропущено " + std::to_string(skipped) + " байт перед ответом");
    }
    return size;
}
