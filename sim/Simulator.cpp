#include "Simulator.h"

#include "SimLine.h"
#include "SimSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace zqsim {

namespace {

using std::chrono::milliseconds;

std::vector<SimDevice> InitialDevices(const SimOptions& options) {
    const CivilTime& given = options.deviceSettings.clock;
    const CivilTime start = IsValidCivil(given) ? given : FromCivilSeconds(HostCivilSeconds());
    return MakeSimDevices(options, start);
}

int PollTimeout(std::optional<SimTime> deadline, SimTime now) {
    if (!deadline) {
        return -1;
    }
    if (*deadline <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<milliseconds>(*deadline - now).count();
    return static_cast<int>(std::min<int64_t>(ms, 60000));
}

std::unique_ptr<SimPort> MakePort(const SimOptions& options, SimLog log) {
    if (options.net.mode != NetSettings::Mode::None) {
        return std::make_unique<SimSocket>(options.net, log);
    }
    return std::make_unique<SimLine>(options.devicePath, options.baud, options.link);
}

// Text with its control bytes as C escapes, for the log.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

Simulator::Simulator(const SimOptions& options, PathSink onPath, SimLog log, int stopFd)
    : options_(options),
      onPath_(std::move(onPath)),
      log_(log),
      port_(MakePort(options, log)),
      devices_(InitialDevices(options)) {
    if (options_.modem) {
        modem_ = std::make_unique<ModemModel>(options_.modemSettings);
    }
    if (stopFd >= 0) {
        stopPipe_[0] = stopFd;
    } else if (pipe2(stopPipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        stopPipe_[0] = stopPipe_[1] = -1;
    }
}

Simulator::~Simulator() {
    if (stopPipe_[1] >= 0) {
        close(stopPipe_[0]);
        close(stopPipe_[1]);
    }
}

void Simulator::RequestStop() {
    if (stopPipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(stopPipe_[1], &byte, 1);
    }
}

bool Simulator::Start(std::string& error) {
    if (stopPipe_[0] < 0) {
        error = "cannot make the stop pipe";
        return false;
    }
    PortEvent event;
    if (!port_->Open(event, error)) {
        return false;
    }
    if (modem_ && !event.note.empty()) {
        event.note += " (modem)";
    }
    lastRx_ = SimClock::now();
    for (const SimDevice& device : devices_) {
        log_.Note("device " + std::to_string(device.model.Address()) + ": serial " +
                  std::to_string(device.model.Current().serial));
    }
    Dump();  // before the line is announced: whoever waits for it finds the dump
    OnPortEvent(event);
    return true;
}

void Simulator::OnPortEvent(const PortEvent& event) {
    if (!event.note.empty()) {
        log_.Note(event.note);
    }
    if (!event.announce.empty() && onPath_) {
        onPath_(event.announce);
    }
    if (!event.connected) {
        return;
    }
    frame_.clear();
    connectionAnswers_ = 0;
    if (!options_.banner.empty()) {
        log_.Note("banner " + Escaped(options_.banner));
        WritePaced(reinterpret_cast<const uint8_t*>(options_.banner.data()),
                   options_.banner.size());
    }
}

bool Simulator::SleepUntil(SimTime t) const {
    for (;;) {
        const SimTime now = SimClock::now();
        if (now >= t) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(t - now).count();
        const timespec wait{static_cast<time_t>(left / 1'000'000'000),
                            static_cast<long>(left % 1'000'000'000)};
        pollfd stop{stopPipe_[0], POLLIN, 0};
        if (ppoll(&stop, 1, &wait, nullptr) > 0) {
            return false;
        }
    }
}

SimClock::duration Simulator::WireTime(size_t bytes) const {
    if (options_.baud <= 0) {
        return SimClock::duration::zero();
    }
    // 10 bits a byte: start, 8 data, stop.
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::nanoseconds(static_cast<int64_t>(bytes) * 10'000'000'000LL / options_.baud));
}

SimClock::duration Simulator::FrameGap() const {
    // 3.5 character times, at least 2 ms.
    const auto gap = WireTime(35) / 10;
    return std::max<SimClock::duration>(gap, milliseconds(2));
}

SimClock::duration Simulator::IdleLimit() const {
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::duration<double>(options_.exitAfterIdleSeconds));
}

std::optional<SimTime> Simulator::NextWake() const {
    std::optional<SimTime> wake;
    auto consider = [&wake](SimTime t) {
        if (!wake || t < *wake) {
            wake = t;
        }
    };
    if (!frame_.empty()) {
        consider(frameLast_ + FrameGap());
    }
    if (modem_) {
        if (auto t = modem_->NextDeadline()) {
            consider(*t);
        }
    }
    if (options_.exitAfterIdleSeconds > 0) {
        consider(lastRx_ + IdleLimit());
    }
    if (auto t = port_->NextWake()) {
        consider(*t);
    }
    return wake;
}

int Simulator::Run() {
    while (!ending_) {
        const SimTime now = SimClock::now();
        if (!frame_.empty() && now - frameLast_ >= FrameGap()) {
            HandleFrame(now);
            continue;
        }
        if (modem_) {
            ModemOutput out;
            modem_->Poll(now, out);
            ApplyModem(out, now);
            if (ending_) {
                break;
            }
        }
        if (options_.exitAfterIdleSeconds > 0 && now - lastRx_ >= IdleLimit()) {
            log_.Note("idle: exit");
            break;
        }

        // poll() passes over a negative descriptor: a port without a host
        // connected, or without anything of its own to watch.
        pollfd fds[3] = {{port_->Fd(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}, port_->Watch()};
        if (poll(fds, 3, PollTimeout(NextWake(), now)) < 0) {
            if (errno == EINTR) {
                continue;
            }
            log_.Note("poll failed");
            exitCode_ = 1;
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        const std::optional<SimTime> portWake = port_->NextWake();
        if (fds[2].revents != 0 || (portWake && *portWake <= SimClock::now())) {
            OnPortEvent(port_->Service(fds[2].revents, SimClock::now()));
        }
        if (fds[0].revents != 0 && !ReadLine(fds[0].revents) && !HangUp("the line was lost")) {
            break;
        }
    }
    log_.Note("stopped");
    port_->Shutdown();
    return exitCode_;
}

bool Simulator::ReadLine(short revents) {
    // The port reads 0 bytes when there are no more for now; the line or the
    // connection is lost on a hang-up or a read error.
    bool lost = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    uint8_t buffer[4096];
    while ((revents & POLLIN) != 0 && !ending_) {
        const ssize_t n = port_->Read(buffer, sizeof buffer);
        if (n > 0) {
            OnLineBytes(buffer, static_cast<size_t>(n), SimClock::now());
            continue;
        }
        lost = lost || n < 0;
        break;
    }
    return !lost || ending_;
}

void Simulator::OnLineBytes(const uint8_t* data, size_t length, SimTime now) {
    lastRx_ = now;
    if (modem_) {
        ModemOutput out;
        modem_->Receive(data, length, now, out);
        ApplyModem(out, now);
        return;
    }
    if (frame_.empty()) {
        frameFirst_ = now;
    }
    frame_.insert(frame_.end(), data, data + length);
    frameLast_ = now;
}

void Simulator::ApplyModem(ModemOutput& out, SimTime now) {
    for (const std::string& note : out.notes) {
        log_.Note(note);
    }
    if (!out.toLine.empty()) {
        WritePaced(reinterpret_cast<const uint8_t*>(out.toLine.data()), out.toLine.size());
    }
    if (!out.toDevice.empty()) {
        if (frame_.empty()) {
            frameFirst_ = now;
        }
        frame_.insert(frame_.end(), out.toDevice.begin(), out.toDevice.end());
        frameLast_ = now;
    }
    if (out.hangUp) {
        HangUp("carrier lost");
    }
}

SimDevice* Simulator::Addressee(const std::vector<uint8_t>& frame) {
    for (SimDevice& device : devices_) {
        if (device.model.Accepts(frame.data(), frame.size())) {
            return &device;
        }
    }
    return nullptr;
}

std::string Simulator::Named(const SimDevice& device, const std::string& note) const {
    if (devices_.size() < 2) {
        return note;
    }
    return "device " + std::to_string(device.model.Address()) + ": " + note;
}

void Simulator::HandleFrame(SimTime now) {
    const std::vector<uint8_t> frame = std::move(frame_);
    frame_.clear();
    log_.Bytes("<-", frame);
    SimDevice* device = Addressee(frame);
    if (device == nullptr) {
        log_.Note("   not answered: bad CRC or another address");
        return;
    }
    ++requests_;
    ++device->requests;
    if (options_.hangupAfter > 0 && !hungUpOnce_ && requests_ > options_.hangupAfter) {
        hungUpOnce_ = true;
        HangUp("hang-up after " + std::to_string(options_.hangupAfter) + " requests");
        return;
    }
    if (modem_) {
        ModemOutput out;
        if (modem_->RequestArrives(out)) {
            ApplyModem(out, now);
            return;
        }
    }
    if (options_.stopAfter > 0 && device->requests > options_.stopAfter) {
        log_.Note("   " + Named(*device, "not answered: silent after " +
                                             std::to_string(options_.stopAfter) + " requests"));
        return;
    }
    if (options_.tcpMute) {
        log_.Note("   not answered: mute");
        return;
    }
    std::vector<uint8_t> answer = device->model.Answer(frame.data(), frame.size());
    if (frame.size() > 1 && frame[1] == 16) {
        Dump();  // a write may have cleared the rings
    }
    std::vector<std::string> applied;
    int holdMs = 0;
    device->faults.Apply(device->requests, answer, applied, &holdMs);
    for (const std::string& fault : applied) {
        log_.Note("   " + Named(*device, "fault: " + fault));
    }
    if (answer.empty()) {
        return;
    }
    // The device hears the request's last byte one wire time after its
    // first, then takes its latency; the network may hold the answer longer.
    const SimTime ready = std::max(now, frameFirst_ + WireTime(frame.size())) +
                          milliseconds(options_.latencyMs + options_.answerDelayMs + holdMs);
    if (!SleepUntil(ready)) {
        return;
    }
    log_.Bytes("->", answer);
    WriteAnswer(answer);
    ++connectionAnswers_;
    if (options_.tcpDropAfter > 0 && connectionAnswers_ >= options_.tcpDropAfter) {
        HangUp("connection dropped after " + std::to_string(connectionAnswers_) + " answers");
    }
}

void Simulator::WriteAnswer(const std::vector<uint8_t>& answer) {
    const size_t piece =
        options_.segmentBytes > 0 ? static_cast<size_t>(options_.segmentBytes) : answer.size();
    for (size_t at = 0; at < answer.size(); at += piece) {
        if (at > 0 && !SleepUntil(SimClock::now() + milliseconds(options_.segmentGapMs))) {
            return;
        }
        if (!WritePaced(answer.data() + at, std::min(piece, answer.size() - at))) {
            return;
        }
    }
}

bool Simulator::HangUp(const std::string& why) {
    log_.Note("hang-up: " + why);
    frame_.clear();
    if (modem_) {
        modem_->Reset();
    }
    if (options_.exitOnHangup) {
        port_->Shutdown();
        ending_ = true;
        return false;
    }
    std::string error;
    PortEvent event;
    if (!port_->Reopen(event, error)) {
        log_.Note("cannot open the line again: " + error);
        std::fprintf(stderr, "zqsim: %s\n", error.c_str());
        exitCode_ = 1;
        ending_ = true;
        return false;
    }
    OnPortEvent(event);
    return true;
}

bool Simulator::WriteAll(const uint8_t* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = port_->Write(data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            // Nobody reads the line: wait a while, then drop the rest.
            pollfd out{port_->Fd(), POLLOUT, 0};
            if (poll(&out, 1, 1000) > 0 && (out.revents & POLLOUT) != 0) {
                continue;
            }
        }
        log_.Note("   write failed: " + std::to_string(length - done) + " bytes dropped");
        return false;
    }
    return true;
}

bool Simulator::WritePaced(const uint8_t* data, size_t length) {
    if (options_.baud <= 0) {
        return WriteAll(data, length);
    }
    // Byte k has fully crossed the line at start + (k + 1) byte times.
    const SimTime start = SimClock::now();
    const auto byteTime = WireTime(1);
    size_t written = 0;
    while (written < length) {
        const size_t due =
            std::min(length, static_cast<size_t>((SimClock::now() - start) / byteTime));
        if (due > written) {
            if (!WriteAll(data + written, due - written)) {
                return false;
            }
            written = due;
        }
        if (written < length) {
            const SimTime next = start + byteTime * static_cast<int64_t>(written + 1);
            std::this_thread::sleep_until(std::max(next, SimClock::now() + milliseconds(1)));
        }
    }
    return true;
}

void Simulator::Dump() const {
    if (!options_.dumpFile.empty()) {
        WriteSimDump(options_.dumpFile, devices_);
    }
}

}  // namespace zqsim
