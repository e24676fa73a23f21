#include "DeviceContent.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <vector>

namespace zqsim {

namespace {

class Draw {
public:
    explicit Draw(uint64_t seed) : engine_(seed) {}
    // [0, 1) with 53 bits; the engine's output is fixed by the standard, so
    // the same seed gives the same contents everywhere.
    double Unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    int64_t Int(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(engine_() % static_cast<uint64_t>(hi - lo + 1));
    }
    bool Chance(double p) { return Unit() < p; }

private:
    std::mt19937_64 engine_;
};

void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void PutLeFloat(uint8_t* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutLe32(p, bits);
}

void PutStamp(uint8_t* p, const CivilTime& t) {
    p[0] = static_cast<uint8_t>(t.year - 2000);
    p[1] = static_cast<uint8_t>(t.month);
    p[2] = static_cast<uint8_t>(t.day);
    p[3] = static_cast<uint8_t>(t.hour);
    p[4] = static_cast<uint8_t>(t.minute);
    p[5] = static_cast<uint8_t>(t.second);
}

Record ArchiveRecord(const CivilTime& start, bool withHour, double vPlus, double vMinus,
                     int64_t work, uint8_t flags) {
    Record r{};
    r[0] = static_cast<uint8_t>(start.year - 2000);
    r[1] = static_cast<uint8_t>(start.month);
    r[2] = static_cast<uint8_t>(start.day);
    r[3] = static_cast<uint8_t>(withHour ? start.hour : 0);
    PutLeFloat(&r[4], static_cast<float>(vPlus));
    PutLeFloat(&r[8], static_cast<float>(vMinus));
    const uint32_t minutes = static_cast<uint32_t>(std::clamp<int64_t>(work, 0, 0xFFFFFF));
    r[12] = static_cast<uint8_t>(minutes);
    r[13] = static_cast<uint8_t>(minutes >> 8);
    r[14] = static_cast<uint8_t>(minutes >> 16);
    r[15] = flags;
    return r;
}

// Start of the period `back` periods before the newest completed one.
int64_t PeriodStart(int kind, const CivilTime& now, int64_t back) {
    CivilTime t = now;
    t.second = 0;
    t.minute = 0;
    if (kind == kHourRing) {
        return ToCivilSeconds(t) - (back + 1) * 3600;
    }
    t.hour = 0;
    if (kind == kDayRing) {
        return ToCivilSeconds(t) - (back + 1) * 86400;
    }
    t.day = 1;
    t.month -= static_cast<int>(back + 1);
    return ToCivilSeconds(t);
}

// Archive records oldest first. Volumes and operating time are totals at
// the end of each period, worked back from the current counters.
std::vector<Record> ArchiveRecords(Draw& draw, int kind, int count, const CivilTime& now,
                                   const CurrentValues& current) {
    std::vector<Record> newestFirst;
    newestFirst.reserve(count);
    const int64_t nowSec = ToCivilSeconds(now);
    int64_t end = PeriodStart(kind, now, -1);  // end of the newest period
    double vPlus = current.vPlus - current.g * static_cast<double>(nowSec - end) / 3600.0;
    double vMinus = current.vMinus;
    int64_t work = static_cast<int64_t>(current.twork) - (nowSec - end) / 60;
    for (int back = 0; back < count; ++back) {
        const int64_t start = PeriodStart(kind, now, back);
        uint8_t flags = 0;
        if (draw.Chance(0.06)) {
            flags = static_cast<uint8_t>(draw.Int(1, 15));
        }
        newestFirst.push_back(ArchiveRecord(FromCivilSeconds(start), kind == kHourRing,
                                            std::max(vPlus, 0.0), std::max(vMinus, 0.0), work,
                                            flags));
        const double hours = static_cast<double>(end - start) / 3600.0;
        vPlus -= current.g * hours * (0.6 + 0.8 * draw.Unit());
        if (draw.Chance(0.03)) {
            vMinus -= 0.05 * hours * draw.Unit();
        }
        int64_t minutes = (end - start) / 60;
        if (draw.Chance(0.04)) {
            minutes -= draw.Int(1, minutes / 3 + 1);
        }
        work -= minutes;
        end = start;
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

// Journal events: code, value type, and how the two values are made.
enum class Values {
    None,
    Flag,
    Byte,
    SignedByte,
    Word,
    SignedWord,
    Dword,
    SignedDword,
    Real,
    Stamp,
    Counter
};

struct EventKind {
    uint16_t code;
    Values values;
    int weight;
};

const EventKind kEvents[] = {
    {0, Values::None, 6},         {0, Values::Stamp, 4},       {1, Values::Flag, 8},
    {2, Values::Flag, 6},         {3, Values::Stamp, 6},       {16, Values::None, 2},
    {17, Values::Word, 3},        {32, Values::Counter, 3},    {33, Values::Counter, 2},
    {34, Values::Dword, 3},       {48, Values::Byte, 2},       {49, Values::Real, 2},
    {50, Values::Real, 2},        {51, Values::SignedByte, 2}, {52, Values::SignedWord, 2},
    {53, Values::SignedDword, 1}, {54, Values::Byte, 2},       {55, Values::Flag, 2},
};

uint8_t ValueType(Values v) {
    return static_cast<uint8_t>(v);  // the enumerators follow the value types 0..10
}

Record JournalRecord(Draw& draw, const EventKind& e, int64_t when, const CurrentValues& current) {
    Record r{};
    PutStamp(&r[0], FromCivilSeconds(when));
    const uint16_t code = static_cast<uint16_t>((ValueType(e.values) << 12) | e.code);
    r[6] = static_cast<uint8_t>(code);
    r[7] = static_cast<uint8_t>(code >> 8);
    uint8_t* oldValue = &r[8];
    uint8_t* newValue = &r[12];
    switch (e.values) {
        case Values::None:
            break;
        case Values::Flag:
            oldValue[0] = 0;
            newValue[0] = 1;
            break;
        case Values::Byte:
            oldValue[0] = static_cast<uint8_t>(draw.Int(1, 247));
            newValue[0] = static_cast<uint8_t>(draw.Int(1, 247));
            break;
        case Values::SignedByte:
            oldValue[0] = static_cast<uint8_t>(static_cast<int8_t>(draw.Int(-40, 60)));
            newValue[0] = static_cast<uint8_t>(static_cast<int8_t>(draw.Int(-40, 60)));
            break;
        case Values::Word:
        case Values::SignedWord: {
            const bool sign = e.values == Values::SignedWord;
            const int64_t lo = sign ? -2000 : 0;
            const int64_t hi = sign ? 2000 : 16383;
            const uint16_t a = static_cast<uint16_t>(draw.Int(lo, hi));
            const uint16_t b = static_cast<uint16_t>(draw.Int(lo, hi));
            oldValue[0] = static_cast<uint8_t>(a);
            oldValue[1] = static_cast<uint8_t>(a >> 8);
            newValue[0] = static_cast<uint8_t>(b);
            newValue[1] = static_cast<uint8_t>(b >> 8);
            break;
        }
        case Values::Dword:  // operating time before the change, minutes
            PutLe32(oldValue,
                    current.twork > 0 ? static_cast<uint32_t>(draw.Int(0, current.twork)) : 0);
            break;
        case Values::SignedDword:
            PutLe32(oldValue,
                    static_cast<uint32_t>(static_cast<int32_t>(draw.Int(-100000, 100000))));
            PutLe32(newValue,
                    static_cast<uint32_t>(static_cast<int32_t>(draw.Int(-100000, 100000))));
            break;
        case Values::Real:
            PutLeFloat(oldValue, static_cast<float>(draw.Int(1, 400)) / 8.0f);
            PutLeFloat(newValue, static_cast<float>(draw.Int(1, 400)) / 8.0f);
            break;
        case Values::Stamp:  // the clock before the event, over both values
            PutStamp(oldValue, FromCivilSeconds(when - draw.Int(30, 7200)));
            break;
        case Values::Counter: {  // the counter before it was reset: integer + fraction
            const double total = (e.code == 32 ? current.vPlus : current.vMinus) * draw.Unit();
            const double whole = std::floor(total);
            PutLe32(oldValue, static_cast<uint32_t>(whole));
            PutLeFloat(newValue, static_cast<float>(total - whole));
            break;
        }
    }
    return r;
}

// One event kind, drawn by the weights.
const EventKind& PickEvent(Draw& draw) {
    int totalWeight = 0;
    for (const EventKind& e : kEvents) {
        totalWeight += e.weight;
    }
    int pick = static_cast<int>(draw.Int(0, totalWeight - 1));
    for (const EventKind& e : kEvents) {
        if (pick < e.weight) {
            return e;
        }
        pick -= e.weight;
    }
    return kEvents[0];
}

std::vector<Record> JournalRecords(Draw& draw, int count, const CivilTime& now,
                                   const CurrentValues& current) {
    std::vector<Record> newestFirst;
    newestFirst.reserve(count);
    int64_t when = ToCivilSeconds(now) - draw.Int(60, 3600);
    for (int i = 0; i < count; ++i) {
        const EventKind& kind = PickEvent(draw);
        newestFirst.push_back(JournalRecord(draw, kind, when, current));
        when -= draw.Int(300, 43200);
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

// The serial number, the first thing drawn from the seed unless it is given.
uint32_t DrawSerial(Draw& draw, const ContentOptions& options) {
    return options.serial >= 0 ? static_cast<uint32_t>(options.serial)
                               : static_cast<uint32_t>(draw.Int(100000000, 999999999));
}

CurrentValues MakeCurrent(Draw& draw, const ContentOptions& options) {
    CurrentValues c;
    c.serial = DrawSerial(draw, options);
    c.duIndex = static_cast<uint16_t>(options.duIndex >= 0 ? options.duIndex : draw.Int(0, 11));
    c.nsFlags = static_cast<uint8_t>(options.nsFlags >= 0 ? options.nsFlags : 0);
    c.gmax = static_cast<float>(draw.Int(20, 200));
    c.gmin = c.gmax / 50.0f;
    c.g = static_cast<float>(c.gmax * (0.1 + 0.6 * draw.Unit()));
    c.impulseWeight = static_cast<float>(draw.Int(1, 100));
    c.impulseLength = 50.0f;
    c.currentCode = static_cast<uint16_t>(4000 + 16000.0 * c.g / c.gmax);
    c.twork = static_cast<uint32_t>(draw.Int(400, 900) * 1440 + draw.Int(0, 1439));
    c.ton = c.twork + static_cast<uint32_t>(draw.Int(0, 30 * 1440));
    c.vPlus = c.g * (c.twork / 60.0) * (0.5 + 0.3 * draw.Unit());
    c.vMinus = draw.Unit() * 20.0;
    return c;
}

void EraseSlots(Draw& draw, RingMemory& ring, const ContentOptions& options) {
    const std::vector<uint16_t> live = ring.ReadOrder();
    if (live.empty()) {
        return;
    }
    for (uint16_t index : live) {
        if (options.emptyProbability > 0 && draw.Chance(options.emptyProbability)) {
            ring.slots[index] = ErasedRecord();
        }
    }
    for (int i = 0; i < options.emptyCount; ++i) {
        ring.slots[live[draw.Int(0, static_cast<int64_t>(live.size()) - 1)]] = ErasedRecord();
    }
}

// A draw of its own for one period of one stream (the flow of an hour, the
// flags of a record, the events of an hour): what the device wrote for a
// period depends on the seed and the period only, not on how many days the
// later records span, so two reads a month apart see one device's history.
Draw PeriodDraw(uint64_t seed, int stream, int64_t periodStart) {
    // splitmix64's finaliser over seed, stream and period.
    auto mix = [](uint64_t x) {
        x += 0x9E3779B97F4A7C15ULL;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return x ^ (x >> 31);
    };
    return Draw(mix(mix(mix(seed ^ 0x5DEECE66DULL) + static_cast<uint64_t>(stream)) +
                    static_cast<uint64_t>(periodStart)));
}

// Streams of PeriodDraw beside the ring kinds' own (the flags of kind k).
constexpr int kFlowStream = kRingKinds;
constexpr int kEventStream = kRingKinds + 1;

// The records of the `seconds` after `from`, appended to the rings as the
// device would have written them: an archive record when its period ends
// (volumes and operating time run on from the counters at `from`, the flow
// varying from hour to hour), journal events now and then (about one hour
// in six has one). The counters end as they stand at the end.
void AddLaterRecords(DeviceContent& content, const ContentOptions& options, int64_t from,
                     int64_t seconds) {
    CurrentValues& c = content.current;
    const int64_t to = from + seconds;
    // V+ at every hour boundary after `from`, the last one at or after `to`.
    const CivilTime fromTime = FromCivilSeconds(from);
    const int64_t firstHour = PeriodStart(kHourRing, fromTime, -1);
    std::map<int64_t, double> vPlusAt;
    double vPlus = c.vPlus + c.g * static_cast<double>(firstHour - from) / 3600.0;
    for (int64_t t = firstHour; t < to + 3600; t += 3600) {
        vPlusAt[t] = std::max(vPlus, 0.0);
        vPlus += c.g * (0.6 + 0.8 * PeriodDraw(options.seed, kFlowStream, t).Unit());
    }
    for (int kind = kHourRing; kind <= kMonthRing; ++kind) {
        // Back -1 is the period `from` falls in, -2 the one after it, ...
        for (int64_t back = -1;; --back) {
            const int64_t start = PeriodStart(kind, fromTime, back);
            const int64_t end = PeriodStart(kind, fromTime, back - 1);
            if (end > to) {
                break;
            }
            Draw draw = PeriodDraw(options.seed, kind, start);
            const int64_t work = static_cast<int64_t>(c.twork) + (end - from) / 60;
            const uint8_t flags = draw.Chance(0.06) ? static_cast<uint8_t>(draw.Int(1, 15)) : 0;
            content.rings[kind].Append(ArchiveRecord(FromCivilSeconds(start), kind == kHourRing,
                                                     vPlusAt[end], c.vMinus, work, flags));
        }
    }
    for (int64_t hour = firstHour; hour <= to; hour += 3600) {
        Draw draw = PeriodDraw(options.seed, kEventStream, hour);
        if (!draw.Chance(1.0 / 6)) {
            continue;
        }
        const int64_t when = hour + draw.Int(0, 3599);
        if (when > from && when <= to) {
            content.rings[kJournalRing].Append(JournalRecord(draw, PickEvent(draw), when, c));
        }
    }
    const auto last = vPlusAt.upper_bound(to);
    c.vPlus = std::prev(last)->second;
    c.twork += static_cast<uint32_t>(seconds / 60);
    c.ton += static_cast<uint32_t>(seconds / 60);
}

DeviceContent GenerateAt(const ContentOptions& options, const CivilTime& now) {
    Draw draw(options.seed);
    DeviceContent content;
    content.current = MakeCurrent(draw, options);
    content.holding.calibrationCode = static_cast<uint16_t>(draw.Int(15000, 16383));
    for (int kind = 0; kind < kRingKinds; ++kind) {
        const RingLayout& layout = options.rings[kind];
        const std::vector<Record> records =
            kind == kJournalRing ? JournalRecords(draw, layout.records, now, content.current)
                                 : ArchiveRecords(draw, kind, layout.records, now, content.current);
        content.rings[kind] = RingMemory::Make(static_cast<size_t>(layout.size),
                                               static_cast<uint16_t>(layout.oldest), records);
        EraseSlots(draw, content.rings[kind], options);
    }
    return content;
}

}  // namespace

uint32_t ContentSerial(const ContentOptions& options) {
    Draw draw(options.seed);
    return DrawSerial(draw, options);
}

DeviceContent GenerateContent(const ContentOptions& options, const CivilTime& now) {
    if (options.laterDays <= 0) {
        return GenerateAt(options, now);
    }
    const int64_t seconds = static_cast<int64_t>(options.laterDays) * 86400;
    const int64_t from = ToCivilSeconds(now) - seconds;
    DeviceContent content = GenerateAt(options, FromCivilSeconds(from));
    AddLaterRecords(content, options, from, seconds);
    return content;
}

}  // namespace zqsim
