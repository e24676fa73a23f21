#include "TChanelWorker.h"

#include "ChanelNotice.h"

#include <utility>

std::vector<std::string> TChanelWorker::TakeNotes() {
    std::lock_guard<std::mutex> lock(FNotesLock);
    return std::exchange(FNotes, {});
}

void TChanelWorker::Note(std::string text) {
    {
        std::lock_guard<std::mutex> lock(FNotesLock);
        FNotes.push_back(std::move(text));
    }
    PostNotice(kNoteNotice, 0);
}

AnswerLedger::Scan TChanelWorker::SortReceived(std::vector<uint8_t>& got, bool underWay,
                                               bool dropJunk, Sorting& sorting) {
    for (;;) {
        AnswerLedger::Scan scan = FLedger.Examine(got.data(), got.size(), underWay);
        if (!scan.frame) {
            if (dropJunk && scan.junk > 0) {
                sorting.skipped += scan.junk;
                got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(scan.junk));
                if (scan.badCrc) {
                    scan.badCrc->start -= scan.junk;
                }
                scan.junk = 0;
            }
            return scan;
        }
        const AnswerLedger::Frame& frame = *scan.frame;
        if (frame.kind == AnswerLedger::FrameKind::Answer) {
            return scan;
        }
        if (frame.kind == AnswerLedger::FrameKind::Owed) {
            Note("запоздалый ответ на запрос " + std::to_string(frame.packetId) + ", пропущен");
            FLedger.Settle(frame);
        } else {
            Note("ответ не на этот запрос (" + std::to_string(frame.length) + " байт), пропущен");
            sorting.stale.assign(
                got.begin() + static_cast<std::ptrdiff_t>(frame.start),
                got.begin() + static_cast<std::ptrdiff_t>(frame.start + frame.length));
        }
        sorting.any = true;
        sorting.skipped += frame.start;
        got.erase(got.begin(),
                  got.begin() + static_cast<std::ptrdiff_t>(frame.start + frame.length));
    }
}
