#include "AnswerLedger.h"

#include "Crc16.h"
#include "ModbusAnswer.h"

#include <algorithm>

void AnswerLedger::Begin(const uint8_t* request, size_t length, int packetId) {
    current = Request{std::vector<uint8_t>(request, request + length), packetId};
}

void AnswerLedger::Owe() {
    if (!current) {
        return;
    }
    owed.push_back(std::move(*current));
    current.reset();
    while (owed.size() > kMaxOwed) {
        owed.pop_front();
    }
}

void AnswerLedger::Clear() {
    owed.clear();
    current.reset();
}

void AnswerLedger::Settle(const Frame& frame) {
    if (frame.kind != FrameKind::Owed) {
        return;
    }
    // The device answers in order: those owed before this one are never
    // answered now.
    for (size_t i = 0; i < owed.size(); ++i) {
        if (owed[i].packetId == frame.packetId) {
            owed.erase(owed.begin(), owed.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return;
        }
    }
}

std::optional<AnswerLedger::Frame> AnswerLedger::Judge(const uint8_t* data, size_t size,
                                                       bool underWay, bool& pending,
                                                       bool& crcFailed) const {
    // Every request this frame may answer: the one under way first, then
    // the owed ones, oldest first.
    std::vector<const Request*> candidates;
    if (underWay && current) {
        candidates.push_back(&*current);
    }
    for (const Request& r : owed) {
        candidates.push_back(&r);
    }
    std::optional<size_t> wholeLength;
    for (const Request* r : candidates) {
        // A request without a function byte has no answer to judge.
        if (r->bytes.size() < 2 || !AnswerMayBegin(r->bytes.data(), data, size)) {
            continue;
        }
        const AnswerSpan span = MeasureAnswer(r->bytes.data(), data, size);
        if (!span.framed) {
            continue;
        }
        if (span.length == 0 || span.length > size) {
            pending = pending || span.length <= kMaxAnswerLength;
            continue;
        }
        if (!CheckFrameCrc(data, span.length)) {
            crcFailed = crcFailed || r == candidates.front();
            continue;
        }
        wholeLength = span.length;
        break;
    }
    if (!wholeLength) {
        return std::nullopt;
    }
    Frame frame;
    frame.length = *wholeLength;
    const bool fitsCurrent =
        underWay && current && current->bytes.size() >= 2 &&
        AnswerFits(current->bytes.data(), current->bytes.size(), data, frame.length);
    const Request* fitsOwed = nullptr;
    for (const Request& r : owed) {
        if (AnswerFits(r.bytes.data(), r.bytes.size(), data, frame.length)) {
            fitsOwed = &r;
            break;
        }
    }
    if (fitsCurrent && (fitsOwed == nullptr || fitsOwed->bytes == current->bytes)) {
        frame.kind = FrameKind::Answer;
    } else if (fitsOwed != nullptr) {
        frame.kind = FrameKind::Owed;
        frame.packetId = fitsOwed->packetId;
    } else {
        frame.kind = FrameKind::Stale;
    }
    return frame;
}

AnswerLedger::Scan AnswerLedger::Examine(const uint8_t* data, size_t size, bool underWay) const {
    Scan scan;
    std::optional<size_t> firstPending;
    for (size_t i = 0; i < size; ++i) {
        bool pending = false;
        bool crcFailed = false;
        std::optional<Frame> frame = Judge(data + i, size - i, underWay, pending, crcFailed);
        if (frame) {
            frame->start = i;
            scan.frame = frame;
            return scan;
        }
        if (pending && !firstPending) {
            firstPending = i;
        }
        if (crcFailed && !scan.badCrc && current && underWay) {
            Frame bad;
            bad.start = i;
            bad.length = MeasureAnswer(current->bytes.data(), data + i, size - i).length;
            scan.badCrc = bad;
        }
    }
    scan.pending = firstPending.has_value();
    size_t keep = size;
    if (firstPending) {
        keep = *firstPending;
    }
    if (scan.badCrc) {
        keep = std::min(keep, scan.badCrc->start);
    }
    scan.junk = keep;
    return scan;
}
