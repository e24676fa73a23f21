#pragma once

#include "AnswerLedger.h"
#include "ChanelCommonStruct.h"
#include "QueueThread.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Commands of the channels' queue.
enum : int32_t {
    cmdOpen = 1,
    cmdClose = 2,
    cmdAttach = 3,
    cmdTransfer = 4,
    cmdTransferQuiet = 5,
    cmdWakeUp = 6,
};

// The worker of a thread channel, whatever its medium: the command queue
// (QueueThread), the texts it leaves for the exchange log, and the account
// of the answers its link owes (AnswerLedger). A serial port's worker and a
// network connection's stand on it.
class TChanelWorker : public QueueThread<ChanelCommonStruct> {
public:
    TChanelWorker() = default;

    // GUI thread: the notes posted so far, oldest first.
    std::vector<std::string> TakeNotes();
    // GUI thread, after Stop: ends whatever else of the medium posts to the
    // channel's window (a serial port's monitor). Nothing here.
    virtual void StopWatching() {}

protected:
    // Worker thread: a text for the exchange log; posts kNoteNotice.
    void Note(std::string text);

    // What sorting the bytes of one request has taken out so far.
    struct Sorting {
        size_t skipped = 0;  // bytes that began no frame, or stood before one
        bool any = false;    // a late answer or a stale frame was taken out
        // The last stale frame: handed over when nothing better comes, so
        // that the task can say what the device answered.
        std::vector<uint8_t> stale;
    };

    // Worker thread. Takes out of `got` (the bytes received for the request
    // under way, oldest first) the late answers to owed requests and the
    // stale frames, each with a note, and the bytes in front of them.
    // Returns the last examination of what is left: its frame, if any, is
    // the answer (at frame->start). With `dropJunk` the bytes that begin no
    // frame are taken out too.
    AnswerLedger::Scan SortReceived(std::vector<uint8_t>& got, bool underWay, bool dropJunk,
                                    Sorting& sorting);

    AnswerLedger FLedger;

private:
    std::mutex FNotesLock;
    std::vector<std::string> FNotes;
};
