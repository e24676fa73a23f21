#include "TNetChanelThread.h"

#include "ComPort.h"
#include "Deadline.h"
#include "ModbusAnswer.h"
#include "TNetQueueIDChanel.h"

#include <algorithm>
#include <utility>

namespace {

// The remote line's settle time after DTR went on, as on a local port.
constexpr auto kSettleTime = std::chrono::milliseconds(300);
// An answer whose function carries no length ends after this much silence.
constexpr int kUnframedSilenceMs = 200;
constexpr size_t kReadPiece = 1024;
// What the purge before a request takes at most.
constexpr size_t kPurgeBytes = 64 * 1024;
constexpr auto kPurgeMs = std::chrono::milliseconds(200);

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
            FLedger.Clear();
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

void TNetChanelThread::Open(const ChanelCommonStruct& data) {
    FLedger.Clear();
    FAnswerTimeout = data.ReadTotalTimeout;
    FRfc2217 = data.NetMode == nmRfc2217;
    FTelnet = TelnetCodec{};
    std::string error;
    if (data.NetMode == nmListen) {
        const auto endpoint = ParseListenAddress(data.PortName, &error);
        if (!endpoint) {
            throw Exception(kNetNotConnectedText, error);
        }
        const std::string peer = FLink.Accept(
            *endpoint, SplitPeerList(data.AllowedPeers), static_cast<int>(data.ConnectTimeout),
            [this](const std::string& where) { Note("Ожидание звонка прибора на " + where); },
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
    // A peer that never pauses would keep this loop (and the memory of what
    // it drops) going for ever: a bound in bytes and in time, and each
    // receive sees an abort.
    const auto until = NetLink::Clock::now() + kPurgeMs;
    std::vector<uint8_t> got;
    Sorting sorting;
    uint8_t piece[kReadPiece];
    bool flooded = false;
    while (const size_t received = FLink.Receive(piece, sizeof piece, 0)) {
        Decode(piece, received, got);
        // Bytes there before the request goes out answer none of its own:
        // late answers to owed requests are taken out, the rest dropped.
        SortReceived(got, false, true, sorting);
        if (got.size() > kMaxAnswerLength) {
            sorting.skipped += got.size() - kMaxAnswerLength;
            got.erase(got.begin(), got.end() - static_cast<std::ptrdiff_t>(kMaxAnswerLength));
        }
        if (sorting.skipped + got.size() >= kPurgeBytes || NetLink::Clock::now() >= until) {
            flooded = true;
            break;
        }
    }
    const size_t dropped = sorting.skipped + got.size();
    if (flooded) {
        Note("Сервер шлёт данные без пауз: отброшено " + std::to_string(dropped) +
             " байт перед запросом");
    } else if (dropped > 0) {
        Note("Отброшено " + std::to_string(dropped) + " байт, оставшихся от прежних ответов");
    }
}

void TNetChanelThread::Transfer(ChanelCommonStruct& data) {
    const size_t length = std::min<size_t>(data.TxLength, ChanelCommonStruct::kBufferSize);
    try {
        Purge();
        PostNotice(kActivityNotice, 1);
        SendBytes(data.TxBuffer, length);
        FLedger.Begin(data.TxBuffer, length, data.PacketId);
        const bool framed =
            length >= 2 && MeasureAnswer(data.TxBuffer, data.TxBuffer, length).framed;
        data.RxLength =
            static_cast<uint16_t>(framed ? ReadAnswer(data.TxBuffer, length, data.RxBuffer,
                                                      ChanelCommonStruct::kBufferSize)
                                         : ReadUnframed(data.TxBuffer, length, data.RxBuffer,
                                                        ChanelCommonStruct::kBufferSize));
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
    Sorting sorting;
    uint8_t piece[kReadPiece];
    auto noteSkipped = [&] {
        if (sorting.skipped > 0) {
            Note("Пропущено " + std::to_string(sorting.skipped) + " байт, не похожих на ответ");
        }
    };
    auto handOver = [&](const uint8_t* bytes, size_t length) {
        if (sorting.skipped > 0) {
            Note("Пропущено " + std::to_string(sorting.skipped) + " байт перед ответом");
        }
        // A longer answer is cut at the buffer, as a serial read is.
        const size_t size = std::min(length, capacity);
        std::copy_n(bytes, size, answer);
        return size;
    };
    for (;;) {
        const AnswerLedger::Scan scan = SortReceived(got, true, true, sorting);
        if (scan.frame) {
            return handOver(got.data() + scan.frame->start, scan.frame->length);
        }
        // Nothing that may still complete is held longer than the longest
        // answer: a false start that promises more gives way.
        if (got.size() > 2 * kMaxAnswerLength) {
            const size_t excess = got.size() - kMaxAnswerLength;
            sorting.skipped += excess;
            got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(excess));
            continue;
        }
        int waitMs = MsUntil(deadline);
        // A whole frame whose CRC fails, with nothing after it: once the
        // bytes pause, it is handed over and the task judges it.
        if (scan.badCrc && !scan.pending) {
            waitMs = std::min(waitMs, kUnframedSilenceMs);
        }
        const size_t received = waitMs > 0 ? FLink.Receive(piece, sizeof piece, waitMs) : 0;
        if (received == 0) {
            // Nothing better came: a frame whose CRC fails, or the last
            // stale frame, is handed over for the task to judge.
            if (scan.badCrc) {
                return handOver(got.data() + scan.badCrc->start,
                                std::min(scan.badCrc->length, got.size() - scan.badCrc->start));
            }
            if (!sorting.stale.empty() && got.empty()) {
                return handOver(sorting.stale.data(), sorting.stale.size());
            }
            noteSkipped();
            FLedger.Owe();
            if (got.empty()) {
                throw Exception(comprt::kNoAnswerText);
            }
            const AnswerSpan span = LocateAnswer(request, requestLength, got.data(), got.size());
            throw Exception(comprt::kNoAnswerText,
                            "ответ не завершён: " + std::to_string(got.size()) + " байт" +
                                (span.length != 0 ? " из " + std::to_string(span.length) : ""));
        }
        Decode(piece, received, got);
    }
}

size_t TNetChanelThread::ReadUnframed(const uint8_t* request, size_t requestLength, uint8_t* answer,
                                      size_t capacity) {
    const auto deadline = NetLink::Clock::now() + std::chrono::milliseconds(FAnswerTimeout);
    std::vector<uint8_t> got;
    uint8_t piece[kReadPiece];
    for (;;) {
        const AnswerSpan span = LocateAnswer(request, requestLength, got.data(), got.size());
        got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(span.start));
        if (got.size() >= capacity) {
            break;
        }
        int waitMs = MsUntil(deadline);
        if (!got.empty()) {
            waitMs = std::min(waitMs, kUnframedSilenceMs);
        }
        const size_t received = waitMs > 0 ? FLink.Receive(piece, sizeof piece, waitMs) : 0;
        if (received == 0) {
            break;
        }
        Decode(piece, received, got);
    }
    if (got.empty()) {
        FLedger.Owe();
        throw Exception(comprt::kNoAnswerText);
    }
    const size_t size = std::min(got.size(), capacity);
    std::copy_n(got.begin(), size, answer);
    return size;
}
