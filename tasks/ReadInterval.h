#pragma once

#include "DateTime.h"
#include "HistoryJoin.h"
#include "ZQValve.h"

#include <cstdint>

// The read interval of the read settings (ReadInterval): which records of
// each ring a read keeps and how far it reads the ring.
enum ReadIntervalChoice : int32_t {
    riWhole = 0,    // "Весь архив": every record
    riMissing = 1,  // "Недостающая часть архива": what the open document lacks
    riPeriod = 2,   // "Заданный интервал": the records dated between two days
};

// The day of a record as a whole day count: its year, month and day (the
// hour of an hourly record and the time of a journal record play no part).
// Archive and journal records alike keep it in their first three bytes
// (year - 2000, month, day). False for an empty slot and for a date that is
// not a real one.
bool RecordDay(const uint8_t* record, TDateTime& day);

// The rule for one ring. The ring is read from its newest record towards
// the oldest, one answer (chunk) at a time; each record of an answer is
// offered in the order received, then the end of the answer is told, and
// the rule says whether the ring's read ends there. Empty slots (first four
// bytes all 0x00 or all 0xFF) are never kept and never end a read.
class RingReadRule {
public:
    // Every record, to the end of the ring: the whole read.
    RingReadRule() = default;

    // The records whose day lies in firstDay..lastDay (whole day counts,
    // both included), in the order received; records whose date cannot be
    // read are left out. The read ends after an answer that holds a dated
    // record and whose dated records all lie before firstDay, unless the
    // ring has shown that the device clock went backwards: a record dated
    // later than one received before it, or later than `deviceDay` (the
    // device's own date; 0 = unknown). Such a ring is read to its end, since
    // records of the interval may then lie anywhere in it.
    static RingReadRule Period(TDateTime firstDay, TDateTime lastDay, TDateTime deviceDay);

    // The records the document lacks (`history`: one of its lists, of the
    // same device): those received before the join, the newest document
    // record the ring still holds (HistoryJoin.h). The read ends with the
    // answer that holds the join; a ring that holds no document record (it
    // wrapped past them, or was cleared) is read to its end, every record
    // kept.
    static RingReadRule After(HistoryJoin history);

    // One record of the current answer; true when it is kept.
    bool Offer(const uint8_t* record);
    // The current answer has been offered whole; true when the ring's read
    // ends with it.
    bool EndOfAnswer();

    // What the ring has shown so far, for the exchange log.
    bool ClockWentBack() const { return clockWentBack; }
    bool LooksForHistory() const { return mode == Mode::After; }
    const HistoryJoin& History() const { return history; }

private:
    enum class Mode { Whole, Period, After };

    Mode mode = Mode::Whole;
    TDateTime firstDay = 0;
    TDateTime lastDay = 0;
    TDateTime deviceDay = 0;
    HistoryJoin history;

    // The whole ring so far.
    bool anyDated = false;
    TDateTime oldestDay = 0;  // the earliest day received so far
    bool clockWentBack = false;
    // The current answer.
    bool answerDated = false;
    bool answerBeforeFirst = true;
};

// One list of `document` (by archive kind) as the history its ring joins.
HistoryJoin DocumentHistory(const ZQValve& document, int kind);

// The document's records with the records of a missing-part read in front,
// list by list: each list of `read`, the records the rule of its ring kept
// (an After rule for each of the four, in archive-kind order), becomes
// those records followed by the document's as the rule joined them
// (HistoryJoin::Merge). changed[kind] receives how many document records a
// changed device record replaced.
void MergeMissingPart(const RingReadRule (&rules)[4], ZQValve& read, size_t (&changed)[4]);
