#pragma once

#include "HistoryJoin.h"

#include <cstddef>
#include <vector>

// Where the records of a file (an .arch file an engineer kept) join one
// list of a meter's stored history; both newest first. Whichever side
// reaches further forward in time (the later valid time stamp) is the
// newer:
//
//  - a file that reaches further forward than the history offers the records
//    in front of the newest record the history holds (HistoryJoin with the
//    history as the older side), and then, past the history's oldest record
//    it holds, the records older than the whole history;
//  - a file that does not offers only the records older than the oldest
//    record of the history that it holds (the same join, run from the old
//    end: both lists reversed).
//
// In both, HistoryJoin's rule holds: a record the history holds is never
// taken again, and a file record with the time stamp of a history record
// beyond the join but other bytes is left out: the history's record stays
// as it was stored. Empty slots are never taken.
struct ImportJoin {
    std::vector<HistoryJoin::Record> front;  // to go before the history, newest first
    std::vector<HistoryJoin::Record> back;   // to go after it, newest first
};

ImportJoin JoinImport(const std::vector<HistoryJoin::Record>& history,
                      const std::vector<HistoryJoin::Record>& file, size_t stampSize);
