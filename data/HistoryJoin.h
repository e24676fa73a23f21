#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Where the records a device holds now meet an older history of the same
// device (a document read before, a store of earlier reads), for one list:
// the hourly, daily or monthly archive or the journal. Both run newest first,
// as the device's ring is read; a record is the 16 bytes the device sent.
//
// The join is the first device record whose 16 bytes the history holds: the
// newest history record the device still holds. The device records before
// it are new; the join and the records after it are the history's already
// and need not be read. So a device record the history holds is never added
// again, whatever became of the history's newest record (a byte changed, its
// slot erased, the ring wrapped past it).
//
// A new record with the time stamp of a history record newer than the join
// (of any history record when there is no join) is a record the history has
// already, as the device holds it now (a flipped byte, or another unit under
// the same serial number): it is not added, and the history's record stays
// as it was read and saved. A new record with the stamp of the join or of an
// older history record is a record of its own (the device clock was set
// back since).
//
// Standard library only; one thread at a time.
class HistoryJoin {
public:
    using Record = std::array<uint8_t, 16>;

    // Bytes of a record's time stamp: year - 2000, month, day and hour of an
    // archive record (daily and monthly records carry hour 0); a journal
    // record adds minute and second.
    static constexpr size_t kArchiveStampSize = 4;
    static constexpr size_t kJournalStampSize = 6;

    // An empty history: every device record is new.
    HistoryJoin() = default;
    // `history` newest first. Its empty slots (ArchiveStruct.h) stay in
    // place, never match a device record and are never replaced.
    HistoryJoin(std::vector<Record> history, size_t stampSize);

    // The device's records one by one, newest first. True when `record` (16
    // bytes) is new: before the join and not an empty slot. The join itself
    // and every record offered after it are not new.
    bool Offer(const uint8_t* record);

    // The history holds at least one record that is not an empty slot.
    bool HasRecords() const { return !index.empty(); }
    bool Joined() const { return joined; }
    // The join's place in the history (the first record with its bytes);
    // the history's size while there is no join.
    size_t JoinIndex() const { return joined ? joinIndex : history.size(); }

    // The history grown by `fresh`, the records Offer found new, in the
    // order offered: `fresh` less the records the history has under their
    // time stamp (one for one), then the whole history. `changed` receives
    // how many fresh records were left out so.
    std::vector<Record> Merge(const std::vector<Record>& fresh, size_t& changed) const;

private:
    uint64_t Stamp(const Record& record) const;

    std::vector<Record> history;
    size_t stampSize = kArchiveStampSize;
    // Positions of the history's records sorted by their bytes (equal bytes
    // by position), empty slots left out: the look-up of a device record.
    std::vector<uint32_t> index;
    bool joined = false;
    size_t joinIndex = 0;
};
