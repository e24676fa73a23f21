#pragma once

#include "DateTime.h"
#include "ZQValve.h"

#include <array>
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

    // The records newer than `newest`, the 16 bytes of the document's newest
    // record: those received before the record equal to it. The read ends
    // with the answer that holds it. A ring that does not hold it (it wrapped
    // past it, or was cleared) is read to its end, every record kept.
    static RingReadRule After(const uint8_t* newest);

    // One record of the current answer; true when it is kept.
    bool Offer(const uint8_t* record);
    // The current answer has been offered whole; true when the ring's read
    // ends with it.
    bool EndOfAnswer();

    // What the ring has shown so far, for the exchange log.
    bool ClockWentBack() const { return clockWentBack; }
    bool FoundNewest() const { return foundNewest; }
    bool LooksForNewest() const { return mode == Mode::After; }

private:
    enum class Mode { Whole, Period, After };

    Mode mode = Mode::Whole;
    TDateTime firstDay = 0;
    TDateTime lastDay = 0;
    TDateTime deviceDay = 0;
    std::array<uint8_t, 16> newest{};

    // The whole ring so far.
    bool anyDated = false;
    TDateTime oldestDay = 0;  // the earliest day received so far
    bool clockWentBack = false;
    bool foundNewest = false;
    // The current answer.
    bool answerDated = false;
    bool answerBeforeFirst = true;
};

// The document's records with the records of a missing-part read in front,
// list by list: each list of `read` becomes its own records followed by the
// document's, as a read of the whole ring would order them had the device
// kept everything.
void MergeMissingPart(const ZQValve& document, ZQValve& read);
