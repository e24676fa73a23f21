#include "HistoryJoin.h"

#include "ArchiveStruct.h"

#include <algorithm>
#include <cstring>
#include <map>

HistoryJoin::HistoryJoin(std::vector<Record> list, size_t stamp)
    : history(std::move(list)), stampSize(std::min(stamp, sizeof(uint64_t))) {
    index.reserve(history.size());
    for (size_t i = 0; i < history.size(); ++i) {
        if (!ZQ_namespace::IsEmptySlot(history[i].data())) {
            index.push_back(static_cast<uint32_t>(i));
        }
    }
    // Stable: of equal records the newest comes first.
    std::stable_sort(index.begin(), index.end(),
                     [this](uint32_t a, uint32_t b) { return history[a] < history[b]; });
}

bool HistoryJoin::Offer(const uint8_t* bytes) {
    if (joined || ZQ_namespace::IsEmptySlot(bytes)) {
        return false;
    }
    Record record;
    std::memcpy(record.data(), bytes, record.size());
    const auto at = std::lower_bound(
        index.begin(), index.end(), record,
        [this](uint32_t position, const Record& r) { return history[position] < r; });
    if (at != index.end() && history[*at] == record) {
        joined = true;
        joinIndex = *at;
        return false;
    }
    return true;
}

uint64_t HistoryJoin::Stamp(const Record& record) const {
    uint64_t stamp = 0;
    for (size_t i = 0; i < stampSize; ++i) {
        stamp = (stamp << 8) | record[i];
    }
    return stamp;
}

std::vector<HistoryJoin::Record> HistoryJoin::Merge(const std::vector<Record>& fresh,
                                                    size_t& changed) const {
    changed = 0;
    // How many history records newer than the join carry each stamp: each
    // stands for one fresh record of that stamp.
    std::map<uint64_t, size_t> historyStamps;
    const size_t join = JoinIndex();
    for (size_t i = 0; i < join; ++i) {
        if (!ZQ_namespace::IsEmptySlot(history[i].data())) {
            ++historyStamps[Stamp(history[i])];
        }
    }
    std::vector<Record> merged;
    merged.reserve(fresh.size() + history.size());
    for (const Record& record : fresh) {
        const auto same = historyStamps.find(Stamp(record));
        if (same != historyStamps.end() && same->second > 0) {
            --same->second;
            ++changed;
            continue;
        }
        merged.push_back(record);
    }
    merged.insert(merged.end(), history.begin(), history.end());
    return merged;
}
