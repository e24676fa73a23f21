#include "ImportJoin.h"

#include "ArchiveStruct.h"
#include "DateTime.h"

#include <algorithm>
#include <optional>

namespace {

using Record = HistoryJoin::Record;

// The latest time stamp of a list among its records with a real date; the
// stamp's bytes read as one big-endian number (year first), as HistoryJoin
// compares them.
std::optional<uint64_t> Latest(const std::vector<Record>& list, size_t stampSize) {
    std::optional<uint64_t> latest;
    for (const Record& r : list) {
        TDateTime day = 0;
        if (ZQ_namespace::IsEmptySlot(r.data()) || !TryEncodeDate(2000 + r[0], r[1], r[2], day)) {
            continue;
        }
        uint64_t stamp = 0;
        for (size_t i = 0; i < stampSize; ++i) {
            stamp = (stamp << 8) | r[i];
        }
        latest = std::max(latest.value_or(0), stamp);
    }
    return latest;
}

// Joins `offered` (newest first) to `history`: the records of `offered`
// before the join that are taken, and where the join was met in `offered`
// (its size when never).
std::vector<Record> Taken(const std::vector<Record>& history, const std::vector<Record>& offered,
                          size_t stampSize, size_t& joinAt) {
    HistoryJoin join(history, stampSize);
    std::vector<Record> fresh;
    joinAt = offered.size();
    for (size_t i = 0; i < offered.size(); ++i) {
        if (join.Offer(offered[i].data())) {
            fresh.push_back(offered[i]);
        } else if (join.Joined()) {
            joinAt = i;
            break;
        }
    }
    size_t changed = 0;
    std::vector<Record> merged = join.Merge(fresh, changed);
    merged.resize(merged.size() - history.size());
    return merged;
}

}  // namespace

ImportJoin JoinImport(const std::vector<Record>& history, const std::vector<Record>& file,
                      size_t stampSize) {
    ImportJoin out;
    const std::optional<uint64_t> fileLatest = Latest(file, stampSize);
    const std::optional<uint64_t> historyLatest = Latest(history, stampSize);
    size_t rest = 0;  // where the file's part older than the history may start
    if (fileLatest && (!historyLatest || *fileLatest > *historyLatest)) {
        size_t joinAt = 0;
        out.front = Taken(history, file, stampSize, joinAt);
        if (joinAt == file.size()) {
            return out;  // nothing of the file is in the history
        }
        rest = joinAt + 1;
    }
    // From the old end: both reversed, the oldest first.
    const std::vector<Record> historyOldFirst(history.rbegin(), history.rend());
    const std::vector<Record> fileOldFirst(file.rbegin(), file.rend() - static_cast<long>(rest));
    size_t joinAt = 0;
    out.back = Taken(historyOldFirst, fileOldFirst, stampSize, joinAt);
    std::reverse(out.back.begin(), out.back.end());
    return out;
}
