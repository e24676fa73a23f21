// The serial port over a real pseudo-terminal pair: the read rule, exclusive
// opening, adopted descriptors, a hung-up line, the line settings and the
// comm-event monitor.
#include "ChanelNotice.h"
#include "ComPort.h"
#include "PtyDevice.h"
#include "win_error.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QObject>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using comprt::ComPort;
using Clock = std::chrono::steady_clock;

namespace {

ZQ_PRINT_CASES_BY_NAME

// Runs `action` and returns the text of the Exception it raises ("" if none).
template <typename Action>
std::string ErrorText(Action action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return {};
}

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

comprt::CommTimeouts ReadTimeouts(uint32_t total, uint32_t interval) {
    comprt::CommTimeouts timeouts = ComPort::MakeTimeouts(total);
    timeouts.ReadIntervalTimeout = interval;
    return timeouts;
}

class NoticeSink : public QObject {
public:
    bool event(QEvent* e) override {
        const ChanelNotice* notice = ChanelNotice::From(e);
        if (notice == nullptr) {
            return QObject::event(e);
        }
        notices.push_back({notice->Message, notice->WParam, notice->LParam});
        return true;
    }
    struct Seen {
        uint32_t message;
        intptr_t wParam;
        intptr_t lParam;
    };
    std::vector<Seen> notices;
};

// --- The read rule ---------------------------------------------------------

struct ReadCase {
    const char* name;
    size_t sent;  // bytes the device sends before the read
    size_t bufferSize;
    uint32_t totalMs;
    uint32_t intervalMs;
    int expected;       // bytes returned; -1 = "Прибор не отвечает"
    int64_t atLeastMs;  // the read must not end before this
    int64_t beforeMs;   // ... and must end well before this
};

class ReadRule : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadRule, EndsAsTheTimeoutsSay) {
    const ReadCase& c = GetParam();
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath(), 19200, c.totalMs);
    port.SetTimeouts(ReadTimeouts(c.totalMs, c.intervalMs));
    Bytes sent(c.sent);
    for (size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<uint8_t>(i + 1);
    }
    device.Send(sent);
    std::vector<uint8_t> buffer(c.bufferSize);
    const auto start = Clock::now();
    int got = -1;
    const std::string error =
        ErrorText([&] { got = static_cast<int>(port.Read(buffer.data(), buffer.size())); });
    const int64_t elapsed = MsSince(start);
    if (c.expected < 0) {
        EXPECT_EQ(error, "Прибор не отвечает");
    } else {
        EXPECT_EQ(error, "");
        ASSERT_EQ(got, c.expected);
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + got, sent.begin()));
    }
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.beforeMs);
}

INSTANTIATE_TEST_SUITE_P(
    ComPort, ReadRule,
    testing::Values(
        // Nothing comes: the read waits the whole total, then reports no answer.
        ReadCase{"SilentLine", 0, 64, 300, 20, -1, 300, 5000},
        // A frame of 7 bytes ends at the first silence, long before the total.
        ReadCase{"SevenBytesThenSilence", 7, 64, 8000, 50, 7, 50, 4000},
        // A full buffer ends the read without waiting for silence.
        ReadCase{"BufferFullEndsEarly", 20, 8, 8000, 4000, 8, 0, 4000}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// Bytes keep coming closer than the interval: the total, counted from the
// start of the read, cuts the answer off.
TEST(ComPortRead, TotalCutsAStream) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath(), 19200, 300);
    port.SetTimeouts(ReadTimeouts(300, 200));
    std::atomic<bool> stop{false};
    std::thread dribbler([&] {
        for (int i = 0; i < 200 && !stop; ++i) {
            device.Send({0x55});
            std::this_thread::sleep_for(20ms);
        }
    });
    uint8_t buffer[512];
    const auto start = Clock::now();
    const size_t got = port.Read(buffer, sizeof buffer);
    const int64_t elapsed = MsSince(start);
    stop = true;
    dribbler.join();
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 2500);  // the stream goes on for 4 s
    EXPECT_GE(got, 1u);
    EXPECT_LT(got, sizeof buffer);
}

TEST(ComPortRead, RestOfALongAnswerIsPurged) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath(), 19200, 1000);
    port.SetTimeouts(ReadTimeouts(1000, 20));
    Bytes answer(20);
    for (size_t i = 0; i < answer.size(); ++i) {
        answer[i] = static_cast<uint8_t>(0xA0 + i);
    }
    device.Send(answer);
    uint8_t buffer[8];
    ASSERT_EQ(port.Read(buffer, sizeof buffer), 8u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), Bytes(answer.begin(), answer.begin() + 8));
    // The other 12 wait in the driver until the purge.
    int waiting = 0;
    ASSERT_TRUE(
        WaitFor([&] { return ::ioctl(port.Handle(), FIONREAD, &waiting) == 0 && waiting == 12; }));
    port.Purge();
    device.Send({'o', 'k'});
    uint8_t next[64];
    const size_t got = port.Read(next, sizeof next);
    EXPECT_EQ(Bytes(next, next + got), (Bytes{'o', 'k'}));
}

// --- A hung-up line -----------------------------------------------------------

TEST(ComPortHangUp, EndsAReadAtOnceAndFailsWrites) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath(), 19200, 20000);
    port.SetTimeouts(ReadTimeouts(20000, 20));
    std::thread farSide([&] {
        std::this_thread::sleep_for(100ms);
        device.HangUp();
    });
    uint8_t buffer[64];
    auto start = Clock::now();
    EXPECT_EQ(ErrorText([&] { port.Read(buffer, sizeof buffer); }), "Прибор не отвечает");
    EXPECT_LT(MsSince(start), 10000);  // not the 20 s total
    farSide.join();

    // A later read on the dead line does not wait either.
    start = Clock::now();
    EXPECT_EQ(ErrorText([&] { port.Read(buffer, sizeof buffer); }), "Прибор не отвечает");
    EXPECT_LT(MsSince(start), 10000);

    const uint8_t frame[] = {1, 2, 3};
    try {
        port.Write(frame, sizeof frame);
        ADD_FAILURE() << "a write on a hung-up line succeeded";
    } catch (const win_error& e) {
        EXPECT_EQ(e.Code, EIO);
    }
    EXPECT_TRUE(port.IsOpen());
}

// --- Opening --------------------------------------------------------------------

TEST(ComPortOpen, BadNamesDoNotOpen) {
    PtyDevice device;
    char fileName[] = "/tmp/zq-not-a-port-XXXXXX";
    const int file = ::mkstemp(fileName);
    ASSERT_GE(file, 0);
    ::close(file);
    // 255 bytes reaching the pseudo-terminal through repeated slashes.
    const std::string tail = device.SlavePath().substr(4);  // "/pts/N"
    const std::string longest = "/dev" + std::string(255 - 4 - tail.size(), '/') + tail;
    ASSERT_EQ(longest.size(), 255u);
    const struct {
        const char* what;
        std::string name;
    } bad[] = {
        {"missing device", "/dev/zq-no-such-port"},
        {"a file, not a terminal", fileName},
        {"a name nothing reaches", "NOPORT"},
        {"empty name", ""},
        {"256 bytes", "/" + longest},
        {"embedded NUL", device.SlavePath() + std::string(1, '\0') + "x"},
    };
    for (const auto& b : bad) {
        ComPort port;
        EXPECT_EQ(ErrorText([&] { port.Open(b.name); }), "COM-порт не открыт") << b.what;
        EXPECT_FALSE(port.IsOpen()) << b.what;
    }
    ComPort port;
    EXPECT_NO_THROW(port.Open(longest));
    EXPECT_TRUE(port.IsOpen());
    ::unlink(fileName);
}

// A device the user may not open: the fixed text for the user, the system's
// reason and how to get the right for the log. Run in a child that drops
// root, since root opens any device.
TEST(ComPortOpen, RefusedPermissionNamesTheReasonAndTheGroup) {
    PtyDevice device;
    const std::string path = device.SlavePath();
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(10);
        }
        try {
            ComPort port;
            port.Open(path);
            ::_exit(11);  // opened after all
        } catch (const Exception& e) {
            const std::string detail = e.Detail();
            const bool ok = std::string(e.what()) == "COM-порт не открыт" &&
                            detail.find(path + ": " + std::strerror(EACCES)) == 0 &&
                            detail.find("usermod -aG ") != std::string::npos;
            ::_exit(ok ? 0 : 12);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop root, 11: opened, 12: wrong texts";
}

TEST(ComPortOpen, HeldPortIsRefusedUntilReleased) {
    PtyDevice device;
    ComPort first;
    ComPort second;
    first.Open(device.SlavePath());
    EXPECT_EQ(ErrorText([&] { second.Open(device.SlavePath()); }), "COM-порт не открыт");
    EXPECT_FALSE(second.IsOpen());
    first.Close();
    EXPECT_NO_THROW(second.Open(device.SlavePath()));
    second.Close();

    // Another program holding the device with an exclusive lock.
    const int other = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ErrorText([&] { first.Open(device.SlavePath()); }), "COM-порт не открыт");
    ::close(other);
    EXPECT_NO_THROW(first.Open(device.SlavePath()));
}

TEST(ComPortOpen, LineIsRaw8N1WithoutFlowControl) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath(), 19200, 1000);
    termios tio{};
    ASSERT_EQ(::tcgetattr(device.Slave(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(port.GetTimeouts().ReadTotalTimeoutConstant, 1000u);

    // Binary bytes pass unchanged both ways.
    const Bytes binary = {0x00, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0xFF};
    port.Write(binary.data(), binary.size());
    EXPECT_EQ(device.Receive(binary.size()), binary);
    device.Send(binary);
    uint8_t buffer[16];
    port.SetTimeouts(ReadTimeouts(2000, 50));
    const size_t got = port.Read(buffer, sizeof buffer);
    EXPECT_EQ(Bytes(buffer, buffer + got), binary);
}

TEST(ComPortOpen, UnsupportedSpeedClosesThePort) {
    PtyDevice device;
    ComPort port;
    try {
        port.Open(device.SlavePath(), 12345, 1000);
        ADD_FAILURE() << "12345 baud was accepted";
    } catch (const win_error& e) {
        EXPECT_EQ(e.Code, EINVAL);
    }
    EXPECT_FALSE(port.IsOpen());
    // It was given back: a good open follows.
    EXPECT_NO_THROW(port.Open(device.SlavePath(), 9600, 1000));
}

TEST(ComPortOpen, LinesOfAPseudoTerminalAreNothingToSwitch) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath());
    for (int function : {comprt::SETDTR, comprt::CLRDTR, comprt::SETRTS, comprt::CLRRTS}) {
        EXPECT_NO_THROW(port.Escape(function)) << function;
    }
    device.HangUp();
    // A dead line is a real failure.
    EXPECT_THROW(port.Escape(comprt::SETDTR), win_error);
}

TEST(ComPortOpen, EveryUseOfAClosedPortSaysItIsNotOpen) {
    ComPort port;
    uint8_t buffer[4] = {};
    const std::pair<const char*, std::function<void()>> uses[] = {
        {"Read", [&] { port.Read(buffer, sizeof buffer); }},
        {"Write", [&] { port.Write(buffer, sizeof buffer); }},
        {"Purge", [&] { port.Purge(); }},
        {"Escape", [&] { port.Escape(comprt::SETDTR); }},
        {"GetTimeouts", [&] { port.GetTimeouts(); }},
        {"SetTimeouts", [&] { port.SetTimeouts({}); }},
        {"Handle", [&] { port.Handle(); }},
        {"StartNotify", [&] { port.StartNotify(comprt::EV_RLSD, nullptr, kPortEventNotice); }},
    };
    for (const auto& [name, use] : uses) {
        EXPECT_EQ(ErrorText(use), "COM-порт не открыт") << name;
    }
    EXPECT_NO_THROW(port.Close());
    EXPECT_FALSE(port.IsOpen());
}

TEST(ComPortError, CarriesTheSystemCodeAndText) {
    const win_error error(EIO);
    EXPECT_EQ(error.Code, EIO);
    EXPECT_EQ(std::string(error.what()),
              "System Error.  Code: 5.\r\n" + std::string(std::strerror(EIO)));
    const EOSError& asOsError = error;  // caught by the worker as the general error
    EXPECT_NE(std::string(asOsError.what()).find("Code: 5."), std::string::npos);
}

// --- Adopted descriptors ---------------------------------------------------------

TEST(ComPortAttach, MinusOneChangesNothing) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath());
    port.Attach(-1);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.IsAttached());
    const uint8_t byte = 0x42;
    port.Write(&byte, 1);
    EXPECT_EQ(device.Receive(1), Bytes{0x42});
}

TEST(ComPortAttach, NotACharacterDeviceIsRefusedAndThePortClosed) {
    PtyDevice device;
    ComPort port;
    port.Open(device.SlavePath());
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    EXPECT_EQ(ErrorText([&] { port.Attach(pipeEnds[0]); }), "Неверный дескриптор порта");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(ErrorText([&] { port.Attach(-7); }), "Неверный дескриптор порта");
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    // The held lock went with the port: the device opens again.
    EXPECT_NO_THROW(port.Open(device.SlavePath()));
}

TEST(ComPortAttach, CloseLeavesTheAdoptedDescriptorOpen) {
    PtyDevice device;
    const int adopted = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(adopted, 0);
    ComPort port;
    port.Attach(adopted);
    EXPECT_TRUE(port.IsAttached());
    EXPECT_NE(port.Handle(), adopted);  // the port works on its own duplicate
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    ASSERT_NE(::fcntl(adopted, F_GETFD), -1);
    const uint8_t byte = 0x17;
    EXPECT_EQ(::write(adopted, &byte, 1), 1);
    EXPECT_EQ(device.Receive(1), Bytes{0x17});
    ::close(adopted);
}

TEST(ComPortAttach, OwnerClosingTheOriginalCannotRedirectThePort) {
    PtyDevice device;
    const int adopted = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(adopted, 0);
    ComPort port;
    port.Attach(adopted);
    // The owner hangs up and the number is handed to the next file opened.
    ::close(adopted);
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK), 0);
    const Bytes frame = {0x01, 0x11, 0xC0, 0x2C};
    port.Write(frame.data(), frame.size());
    EXPECT_EQ(device.Receive(frame.size()), frame);
    uint8_t stray[8];
    EXPECT_EQ(::read(pipeEnds[0], stray, sizeof stray), -1);  // nothing went to the new file
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

// --- The comm-event monitor -------------------------------------------------------

TEST(ComPortMonitor, HangUpPostsOneCarrierEventAndLeavesDataToTheReader) {
    PtyDevice device;
    const int adopted = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(adopted, 0);
    ComPort port;
    NoticeSink sink;
    port.Attach(adopted);
    port.SetTimeouts(ReadTimeouts(2000, 50));
    port.StartNotify(comprt::EV_RLSD, &sink, kPortEventNotice);

    device.Send({1, 2, 3, 4, 5});
    uint8_t buffer[16];
    const size_t got = port.Read(buffer, sizeof buffer);
    EXPECT_EQ(Bytes(buffer, buffer + got), (Bytes{1, 2, 3, 4, 5}));
    PumpEvents(150ms);
    EXPECT_TRUE(sink.notices.empty());

    device.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !sink.notices.empty(); }));
    PumpEvents(300ms);  // no flood after the hang-up
    ASSERT_EQ(sink.notices.size(), 1u);
    EXPECT_EQ(sink.notices[0].message, kPortEventNotice);
    EXPECT_EQ(sink.notices[0].wParam, static_cast<intptr_t>(comprt::EV_RLSD));
    EXPECT_EQ(sink.notices[0].lParam, reinterpret_cast<intptr_t>(&port));
    port.StopNotify();
    port.Close();
    ::close(adopted);
}

TEST(ComPortMonitor, StopsWithThePortAndCanBeRestarted) {
    PtyDevice device;
    ComPort port;
    NoticeSink sink;
    port.Open(device.SlavePath());
    const int before = ThreadCount();
    port.StartNotify(comprt::EV_RLSD, &sink, kPortEventNotice);
    EXPECT_EQ(ThreadCount(), before + 1);
    port.StartNotify(comprt::EV_RLSD, &sink, kPortEventNotice);  // replaces the first
    port.Close();
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == before; }));
    port.Open(device.SlavePath());
    port.StartNotify(comprt::EV_RLSD | comprt::EV_CTS, &sink, kPortEventNotice);
    device.HangUp();
    ASSERT_TRUE(WaitFor([&] { return !sink.notices.empty(); }));
    EXPECT_EQ(sink.notices.back().wParam, static_cast<intptr_t>(comprt::EV_RLSD));
}

}  // namespace
