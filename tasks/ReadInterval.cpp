#include "ReadInterval.h"

#include "ArchiveStruct.h"

#include <algorithm>
#include <cstring>

bool RecordDay(const uint8_t* record, TDateTime& day) {
    if (ZQ_namespace::IsEmptySlot(record)) {
        return false;
    }
    // The same rule as the pages' decoders: a real date of years 2000..2255.
    return TryEncodeDate(2000 + record[0], record[1], record[2], day);
}

RingReadRule RingReadRule::Period(TDateTime firstDay, TDateTime lastDay, TDateTime deviceDay) {
    RingReadRule rule;
    rule.mode = Mode::Period;
    rule.firstDay = firstDay;
    rule.lastDay = lastDay;
    rule.deviceDay = deviceDay;
    return rule;
}

RingReadRule RingReadRule::After(const uint8_t* newest) {
    RingReadRule rule;
    rule.mode = Mode::After;
    std::memcpy(rule.newest.data(), newest, rule.newest.size());
    return rule;
}

bool RingReadRule::Offer(const uint8_t* record) {
    if (ZQ_namespace::IsEmptySlot(record)) {
        return false;
    }
    switch (mode) {
        case Mode::Whole:
            return true;
        case Mode::After:
            // Everything from the document's newest record on is in the
            // document already.
            if (foundNewest) {
                return false;
            }
            if (std::memcmp(record, newest.data(), newest.size()) == 0) {
                foundNewest = true;
                return false;
            }
            return true;
        case Mode::Period:
            break;
    }
    TDateTime day = 0;
    if (!RecordDay(record, day)) {
        return false;
    }
    // Going towards the oldest, the days never grow while the clock only
    // ran forward; a later day than one already received, or than the
    // device's own date, means it was set back.
    if ((anyDated && day > oldestDay) || (deviceDay > 0 && day > deviceDay)) {
        clockWentBack = true;
    }
    oldestDay = anyDated ? std::min(oldestDay, day) : day;
    anyDated = true;
    answerDated = true;
    if (day >= firstDay) {
        answerBeforeFirst = false;
    }
    return day >= firstDay && day <= lastDay;
}

bool RingReadRule::EndOfAnswer() {
    bool ends = false;
    switch (mode) {
        case Mode::Whole:
            break;
        case Mode::After:
            ends = foundNewest;
            break;
        case Mode::Period:
            ends = answerDated && answerBeforeFirst && !clockWentBack;
            break;
    }
    answerDated = false;
    answerBeforeFirst = true;
    return ends;
}

void MergeMissingPart(const ZQValve& document, ZQValve& read) {
    read.HourArchive.insert(read.HourArchive.end(), document.HourArchive.begin(),
                            document.HourArchive.end());
    read.DayArchive.insert(read.DayArchive.end(), document.DayArchive.begin(),
                           document.DayArchive.end());
    read.MonthArchive.insert(read.MonthArchive.end(), document.MonthArchive.begin(),
                             document.MonthArchive.end());
    read.Journal.insert(read.Journal.end(), document.Journal.begin(), document.Journal.end());
}
