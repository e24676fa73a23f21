#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// The account a worker keeps of the answers on its link.
//
// Modbus RTU carries no transaction number: an answer that comes after its
// request's time-out (a mobile link that stalls, then delivers; a slow
// device) looks like the answer to whatever was asked next. So a request
// that got no whole answer in time stays owed an answer, and every whole
// frame that arrives is sorted before anything is taken as data:
//
// - a frame that fits an owed request is that request's late answer (the
//   device answers in order, so the owed requests before it will never be
//   answered and are settled with it);
// - a frame that fits the request under way, and no owed request, is its
//   answer; when it also fits an owed request that is byte for byte the
//   same request (a retry), either answer is the answer to it, and the
//   other stays owed;
// - a whole frame with a right CRC from the device that fits neither is
//   stale (an answer to something long gone), never data;
// - bytes that begin no frame are skipped; a frame whose CRC fails is
//   looked past, the answer is sought at the next possible start.
//
// What "fits" means is AnswerFits (ModbusAnswer.h): address, function,
// length and what the answer repeats of the request. Owed requests are
// forgotten when the link is reset (Clear) and beyond the newest kMaxOwed.
// One thread (the worker's).
class AnswerLedger {
public:
    static constexpr size_t kMaxOwed = 16;

    enum class FrameKind {
        Answer,  // the answer to the request under way
        Owed,    // the late answer to an owed request
        Stale,   // a well-formed frame that answers neither
    };

    struct Frame {
        FrameKind kind = FrameKind::Stale;
        size_t start = 0;   // where it begins in the bytes examined
        size_t length = 0;  // CRC included
        int packetId = 0;   // Owed: the owed request's number
    };

    struct Scan {
        // The first whole frame, if any.
        std::optional<Frame> frame;
        // Without a frame: bytes in front that can be dropped (they begin
        // no frame that may still complete).
        size_t junk = 0;
        // A frame has begun and is not whole yet.
        bool pending = false;
        // A whole frame for the request under way whose CRC failed, if no
        // better one was found: where it begins and its length.
        std::optional<Frame> badCrc;
    };

    // A request goes out: `request` (the frame as sent) is the one under
    // way until the next Begin or Owe.
    void Begin(const uint8_t* request, size_t length, int packetId);
    // The request under way got no whole answer in time: it is owed one.
    void Owe();
    // The link was reset: no answer is owed any more, none is under way.
    void Clear();
    size_t OwedCount() const { return owed.size(); }
    bool HasRequest() const { return current.has_value(); }

    // Looks for the first whole frame in `data`, for the request under way
    // when `underWay` (else only for the owed requests: bytes that were
    // there before the request went out answer no request of its own).
    Scan Examine(const uint8_t* data, size_t size, bool underWay) const;
    // The owed frame `frame` (from Examine) answered is settled, with those
    // owed before it.
    void Settle(const Frame& frame);

private:
    struct Request {
        std::vector<uint8_t> bytes;
        int packetId = 0;
    };

    // Judges the whole frames that may begin at `data`: the verdict, or
    // none; `pending` is set when one of them is not whole yet, `crcFailed`
    // when one is whole but its CRC fails.
    std::optional<Frame> Judge(const uint8_t* data, size_t size, bool underWay, bool& pending,
                               bool& crcFailed) const;

    std::optional<Request> current;
    std::deque<Request> owed;
};
