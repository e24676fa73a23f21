#include "DeviceModel.h"

#include "Crc16.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zqsim {

namespace {

constexpr uint8_t kFuncReadHolding = 3;
constexpr uint8_t kFuncReadInput = 4;
constexpr uint8_t kFuncWriteMultiple = 16;
constexpr uint8_t kFuncReportSlaveId = 17;
constexpr uint8_t kFuncArchive = 65;

constexpr int kInputCount = 64;
constexpr int kHoldingCount = 16;
constexpr int kWritableHolding = 11;  // 40001..40011; the rest read as zero
constexpr uint16_t kMaxCode = 16383;

uint16_t GetBe16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void PutBe16(std::vector<uint8_t>& regs, int index, uint16_t value) {
    regs[2 * index] = static_cast<uint8_t>(value >> 8);
    regs[2 * index + 1] = static_cast<uint8_t>(value);
}

// A 32-bit value over two registers, high-order register first: the four
// bytes big-endian.
void PutBe32(std::vector<uint8_t>& regs, int index, uint32_t value) {
    PutBe16(regs, index, static_cast<uint16_t>(value >> 16));
    PutBe16(regs, index + 1, static_cast<uint16_t>(value));
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void PutClock(std::vector<uint8_t>& regs, const CivilTime& t) {
    PutBe16(regs, 0, static_cast<uint16_t>(t.year - 2000));
    PutBe16(regs, 1, static_cast<uint16_t>(t.month));
    PutBe16(regs, 2, static_cast<uint16_t>(t.day));
    PutBe16(regs, 3, static_cast<uint16_t>(t.hour));
    PutBe16(regs, 4, static_cast<uint16_t>(t.minute));
    PutBe16(regs, 5, static_cast<uint16_t>(t.second));
}

// The integer part (truncated, as an unsigned 32-bit value) and the rest.
void SplitVolume(double v, uint32_t& whole, float& fraction) {
    const double w = std::floor(std::max(v, 0.0));
    whole = w >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(w);
    fraction = static_cast<float>(std::max(v, 0.0) - whole);
}

std::vector<uint8_t> RegisterAnswer(uint8_t address, uint8_t function,
                                    const std::vector<uint8_t>& regs, uint16_t start,
                                    uint16_t count) {
    std::vector<uint8_t> answer;
    answer.reserve(3 + 2 * count + 2);
    answer.push_back(address);
    answer.push_back(function);
    answer.push_back(static_cast<uint8_t>(2 * count));
    answer.insert(answer.end(), regs.begin() + 2 * start, regs.begin() + 2 * (start + count));
    AppendCrc(answer);
    return answer;
}

}  // namespace

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

DeviceModel::DeviceModel(const DeviceSettings& settings, DeviceContent content, HostClock clock)
    : settings_(settings),
      content_(std::move(content)),
      hostClock_(clock ? std::move(clock) : HostClock(HostCivilSeconds)),
      address_(settings.address) {
    settings_.maxRecords = std::clamp(settings_.maxRecords, 1, 255);
    countersFrom_ = hostClock_();
    if (settings.frozenClock) {
        hostClock_ = [start = countersFrom_] { return start; };
    }
    if (IsValidCivil(settings.clock)) {
        clockOffset_ = ToCivilSeconds(settings.clock) - countersFrom_;
    }
}

CivilTime DeviceModel::Clock() const {
    return FromCivilSeconds(hostClock_() + clockOffset_);
}

CurrentValues DeviceModel::Current() const {
    CurrentValues c = content_.current;
    const int64_t elapsed = std::max<int64_t>(0, hostClock_() - countersFrom_);
    c.ton += static_cast<uint32_t>(elapsed / 60);
    c.twork += static_cast<uint32_t>(elapsed / 60);
    const float steady = c.g;
    // Seconds of flow at the steady G that have passed the meter.
    double flowSeconds = static_cast<double>(elapsed);
    if (settings_.flowSettleSeconds > 0) {
        // G(t) = G (1 - e^(-t/tau) cos(w t)), tau = T/3, w = 2 pi/T: 0 at the
        // start, one overshoot of about a fifth at T/2, within 5 % after T.
        // Its integral is G (t - I(t)), with I(t) = (e^(-t/tau) (w sin(wt) -
        // cos(wt)/tau) + 1/tau) / (1/tau^2 + w^2).
        const double t = static_cast<double>(elapsed);
        const double tau = settings_.flowSettleSeconds / 3.0;
        const double w = 2 * M_PI / settings_.flowSettleSeconds;
        const double decay = std::exp(-t / tau);
        flowSeconds = t - (decay * (w * std::sin(w * t) - std::cos(w * t) / tau) + 1 / tau) /
                              (1 / (tau * tau) + w * w);
        c.g = static_cast<float>(steady * (1 - decay * std::cos(w * t)));
        const int followed =
            (c.g < 0 ? 0x02 : 0) | (c.g < c.gmin ? 0x04 : 0) | (c.g > c.gmax ? 0x08 : 0);
        c.nsFlags = static_cast<uint8_t>((c.nsFlags & ~0x0E) | followed);
    }
    if (steady > 0) {
        c.vPlus += steady * flowSeconds / 3600.0;
    } else {
        c.vMinus -= steady * flowSeconds / 3600.0;
    }
    return c;
}

bool DeviceModel::Accepts(const uint8_t* frame, size_t length) const {
    return length >= 4 && CheckFrameCrc(frame, length) && (frame[0] == address_ || frame[0] == 0);
}

std::vector<uint8_t> DeviceModel::ExceptionAnswer(uint8_t address, uint8_t function, uint8_t code) {
    std::vector<uint8_t> answer{address, static_cast<uint8_t>(function | 0x80), code};
    AppendCrc(answer);
    return answer;
}

std::vector<uint8_t> DeviceModel::Answer(const uint8_t* frame, size_t length) {
    if (!Accepts(frame, length)) {
        return {};
    }
    switch (frame[1]) {
        case kFuncReportSlaveId:
            if (length != 4) {
                return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
            }
            return ReportSlaveId(frame[0]);
        case kFuncReadInput:
            return ReadInput(frame, length);
        case kFuncReadHolding:
            return ReadHolding(frame, length);
        case kFuncWriteMultiple:
            return WriteMultiple(frame, length);
        case kFuncArchive:
            return ReadArchive(frame, length);
        default:
            return ExceptionAnswer(frame[0], frame[1], kIllegalFunction);
    }
}

std::vector<uint8_t> DeviceModel::ReportSlaveId(uint8_t address) const {
    // Byte count 8: the signature and four identification bytes, of which
    // the third is the version.
    std::vector<uint8_t> answer{address, kFuncReportSlaveId, 8, 'R', 'O', 'R', 'I', 'Z',
                                'Q',     settings_.version,  0};
    AppendCrc(answer);
    return answer;
}

std::vector<uint8_t> DeviceModel::InputRegisters() const {
    std::vector<uint8_t> regs(2 * kInputCount, 0);
    PutClock(regs, Clock());
    for (int kind = 0; kind < kRingKinds; ++kind) {
        const RingMemory& ring = content_.rings[kind];
        PutBe16(regs, 6 + 3 * kind, ring.Highest());
        PutBe16(regs, 7 + 3 * kind, ring.oldest);
        PutBe16(regs, 8 + 3 * kind, ring.next);
    }
    const CurrentValues c = Current();
    PutBe16(regs, 18, c.nsFlags);
    PutBe16(regs, 19, c.duIndex);
    PutBe16(regs, 20, c.currentCode);
    PutBe32(regs, 32, c.serial);
    PutBe32(regs, 34, c.ton);
    PutBe32(regs, 36, c.twork);
    PutBe32(regs, 38, FloatBits(c.impulseWeight));
    PutBe32(regs, 40, FloatBits(c.impulseLength));
    PutBe32(regs, 42, FloatBits(c.g));
    PutBe32(regs, 44, FloatBits(c.gmin));
    PutBe32(regs, 46, FloatBits(c.gmax));
    uint32_t whole;
    float fraction;
    SplitVolume(c.vPlus, whole, fraction);
    PutBe32(regs, 48, whole);
    PutBe32(regs, 50, FloatBits(fraction));
    SplitVolume(c.vMinus, whole, fraction);
    PutBe32(regs, 52, whole);
    PutBe32(regs, 54, FloatBits(fraction));
    return regs;
}

std::vector<uint8_t> DeviceModel::HoldingRegisters() const {
    std::vector<uint8_t> regs(2 * kHoldingCount, 0);
    PutClock(regs, Clock());
    PutBe16(regs, 6, 0);  // a clear is carried out at once
    PutBe16(regs, 7, address_);
    PutBe16(regs, 8, content_.holding.calibrationCode);
    PutBe16(regs, 9, content_.holding.testCode);
    PutBe16(regs, 10, content_.holding.testMode);
    return regs;
}

std::vector<uint8_t> DeviceModel::ReadInput(const uint8_t* frame, size_t length) const {
    if (length != 8) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    const uint16_t start = GetBe16(frame + 2);
    const uint16_t count = GetBe16(frame + 4);
    if (count == 0 || start + count > kInputCount) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalAddress);
    }
    return RegisterAnswer(frame[0], frame[1], InputRegisters(), start, count);
}

std::vector<uint8_t> DeviceModel::ReadHolding(const uint8_t* frame, size_t length) const {
    if (length != 8) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    const uint16_t start = GetBe16(frame + 2);
    const uint16_t count = GetBe16(frame + 4);
    if (count == 0 || start + count > kHoldingCount) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalAddress);
    }
    return RegisterAnswer(frame[0], frame[1], HoldingRegisters(), start, count);
}

std::vector<uint8_t> DeviceModel::WriteMultiple(const uint8_t* frame, size_t length) {
    if (length < 9) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    const uint16_t start = GetBe16(frame + 2);
    const uint16_t count = GetBe16(frame + 4);
    const uint8_t byteCount = frame[6];
    if (byteCount != 2 * count || length != 9u + byteCount) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    if (count == 0 || start + count > kWritableHolding) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalAddress);
    }
    // Check every value first: a rejected write changes nothing.
    uint16_t regs[kWritableHolding] = {};
    bool written[kWritableHolding] = {};
    for (int i = 0; i < count; ++i) {
        regs[start + i] = GetBe16(frame + 7 + 2 * i);
        written[start + i] = true;
    }
    const bool clockWritten = std::any_of(written, written + 6, [](bool w) { return w; });
    CivilTime clock = Clock();
    if (clockWritten) {
        int* fields[6] = {&clock.year, &clock.month,  &clock.day,
                          &clock.hour, &clock.minute, &clock.second};
        for (int i = 0; i < 6; ++i) {
            if (written[i]) {
                *fields[i] = i == 0 ? 2000 + regs[i] : regs[i];
            }
        }
        if (!IsValidCivil(clock) || clock.year > 2255) {
            return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
        }
    }
    const bool bad = (written[6] && regs[6] > 1) ||
                     (written[7] && (regs[7] < 1 || regs[7] > 254)) ||
                     (written[8] && regs[8] > kMaxCode) || (written[9] && regs[9] > kMaxCode) ||
                     (written[10] && regs[10] > 1);
    if (bad) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    if (clockWritten) {
        clockOffset_ = ToCivilSeconds(clock) - hostClock_();
    }
    if (written[6] && regs[6] == 1) {
        ClearCounters();
    }
    if (written[7]) {
        address_ = static_cast<uint8_t>(regs[7]);
    }
    if (written[8]) {
        content_.holding.calibrationCode = regs[8];
    }
    if (written[9]) {
        content_.holding.testCode = regs[9];
    }
    if (written[10]) {
        content_.holding.testMode = regs[10];
    }
    std::vector<uint8_t> answer(frame, frame + 6);
    AppendCrc(answer);
    return answer;
}

void DeviceModel::ClearCounters() {
    CurrentValues c = Current();
    c.vPlus = 0;
    c.vMinus = 0;
    c.twork = 0;
    content_.current = c;
    countersFrom_ = hostClock_();
    for (RingMemory& ring : content_.rings) {
        ring.oldest = ring.next;
    }
}

std::vector<uint8_t> DeviceModel::ReadArchive(const uint8_t* frame, size_t length) const {
    // addr, 65, kind, 1, start (low byte first), count, CRC
    if (length != 9 || frame[2] >= kRingKinds || frame[6] == 0) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalValue);
    }
    const RingMemory& ring = content_.rings[frame[2]];
    const uint16_t start = static_cast<uint16_t>(frame[4] | (frame[5] << 8));
    if (start > ring.Highest()) {
        return ExceptionAnswer(frame[0], frame[1], kIllegalAddress);
    }
    int n = std::min<int>(frame[6], settings_.maxRecords);
    if (ring.Holds(start)) {
        // Records from `start` back to the oldest, both included.
        const int size = static_cast<int>(ring.slots.size());
        const int left = (start - ring.oldest + size) % size + 1;
        n = std::min(n, left);
    }
    // A start outside the records walks the slots as they stand (erased
    // pages), so a reader always gets on.
    std::vector<uint8_t> answer{frame[0], kFuncArchive, frame[2], 0, 0, 0, static_cast<uint8_t>(n)};
    answer.reserve(7 + 16 * n + 2);
    uint16_t index = start;
    for (int i = 0; i < n; ++i) {
        const Record& r = ring.slots[index];
        answer.insert(answer.end(), r.begin(), r.end());
        index = ring.Previous(index);
    }
    answer[4] = static_cast<uint8_t>(index);
    answer[5] = static_cast<uint8_t>(index >> 8);
    AppendCrc(answer);
    return answer;
}

}  // namespace zqsim
