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

RingReadRule RingReadRule::After(HistoryJoin history) {
    RingReadRule rule;
    rule.mode = Mode::After;
    rule.history = std::move(history);
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
            return history.Offer(record);
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
            ends = history.Joined();
            break;
        case Mode::Period:
            ends = answerDated && answerBeforeFirst && !clockWentBack;
            break;
    }
    answerDated = false;
    answerBeforeFirst = true;
    return ends;
}

namespace {

template <class Record>
std::vector<HistoryJoin::Record> AsHistory(const std::vector<Record>& list) {
    std::vector<HistoryJoin::Record> out(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        std::memcpy(out[i].data(), list[i].Bytes(), out[i].size());
    }
    return out;
}

// `list`, the records the join found new, becomes the merged history.
template <class Record>
void Merge(const HistoryJoin& join, std::vector<Record>& list, size_t& changed) {
    const std::vector<HistoryJoin::Record> merged = join.Merge(AsHistory(list), changed);
    list.resize(merged.size());
    for (size_t i = 0; i < merged.size(); ++i) {
        std::memcpy(&list[i], merged[i].data(), sizeof(Record));
    }
}

}  // namespace

HistoryJoin DocumentHistory(const ZQValve& document, int kind) {
    switch (kind) {
        case ZQ_namespace::akHour:
            return HistoryJoin(AsHistory(document.HourArchive), HistoryJoin::kArchiveStampSize);
        case ZQ_namespace::akDay:
            return HistoryJoin(AsHistory(document.DayArchive), HistoryJoin::kArchiveStampSize);
        case ZQ_namespace::akMonth:
            return HistoryJoin(AsHistory(document.MonthArchive), HistoryJoin::kArchiveStampSize);
        default:
            return HistoryJoin(AsHistory(document.Journal), HistoryJoin::kJournalStampSize);
    }
}

void MergeMissingPart(const RingReadRule (&rules)[4], ZQValve& read, size_t (&changed)[4]) {
    using namespace ZQ_namespace;
    Merge(rules[akHour].History(), read.HourArchive, changed[akHour]);
    Merge(rules[akDay].History(), read.DayArchive, changed[akDay]);
    Merge(rules[akMonth].History(), read.MonthArchive, changed[akMonth]);
    Merge(rules[akJournal].History(), read.Journal, changed[akJournal]);
}
