// The worker's commands over a pseudo-terminal: open with the line setup,
// transfer, close, attach with the carrier watch, wake-up, and the notices
// each posts.
#include "ChanelNotice.h"
#include "PtyDevice.h"
#include "TChanelThread.h"

#include <gtest/gtest.h>

#include <QObject>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>

namespace {

// Records every notice; acknowledges completions as the channel would.
class Receiver : public QObject {
public:
    explicit Receiver(TChanelThread& worker) : worker(worker) {}
    bool event(QEvent* e) override {
        const ChanelNotice* notice = ChanelNotice::From(e);
        if (notice == nullptr) {
            return QObject::event(e);
        }
        std::string what;
        if (notice->Message == kCompletionNotice) {
            auto& slot = worker.Items[worker.Head];
            what = "done " + std::to_string(slot.Command) + " " + std::to_string(notice->WParam);
            messages.push_back(slot.Message);
            if (slot.Command == cmdTransfer && notice->WParam == 1) {
                answers.emplace_back(slot.Data.RxBuffer, slot.Data.RxBuffer + slot.Data.RxLength);
            }
            worker.Head = (worker.Head + 1) % TChanelThread::kSlotCount;
        } else if (notice->Message == kActivityNotice) {
            what = notice->WParam == 1 ? "sending" : "received";
        } else if (notice->Message == kPortEventNotice) {
            what = "port " + std::to_string(notice->WParam);
        }
        seen.push_back(what);
        return true;
    }
    size_t Completions() const {
        return static_cast<size_t>(
            std::count_if(seen.begin(), seen.end(),
                          [](const std::string& s) { return s.rfind("done", 0) == 0; }));
    }
    TChanelThread& worker;
    std::vector<std::string> seen;
    std::vector<std::string> messages;  // of each completion, in order
    std::vector<Bytes> answers;
};

class ChanelThreadTest : public testing::Test {
protected:
    ChanelThreadTest() : receiver(worker) {
        worker.NotifyWindow = &receiver;
        worker.Resume();
    }
    ~ChanelThreadTest() override { worker.Stop(); }

    void QueueOpen(const std::string& name, bool modemTimeouts = false) {
        ChanelCommonStruct& data = worker.Items[worker.Tail].Data;
        data = {};
        data.PortName = name;
        data.BaudRate = 19200;
        data.ReadTotalTimeout = 500;
        data.ReadIntervalTimeout = 20;
        data.Dtr = 1;
        data.ModemTimeouts = modemTimeouts ? 1 : 0;
        worker.Push(cmdOpen, qfAlways);
    }
    void QueueTransfer(const Bytes& request, int packetId, int command = cmdTransfer) {
        ChanelCommonStruct& data = worker.Items[worker.Tail].Data;
        data = {};
        std::memcpy(data.TxBuffer, request.data(), request.size());
        data.TxLength = static_cast<uint16_t>(request.size());
        data.PacketId = packetId;
        worker.Push(command, qfAlways);
    }
    void Queue(int command, uint8_t sendFF = 0) {
        worker.Items[worker.Tail].Data = {};
        worker.Items[worker.Tail].Data.SendFF = sendFF;
        worker.Push(command, qfAlways);
    }
    bool WaitCompletions(size_t count) {
        return WaitFor([&] { return receiver.Completions() >= count; }, std::chrono::seconds(10));
    }

    TChanelThread worker;
    Receiver receiver;
};

TEST_F(ChanelThreadTest, OpenTransferCloseInOrder) {
    PtyDevice device;
    device.Respond([](const Bytes& request) {
        Bytes answer(request.rbegin(), request.rend());
        return PtyDevice::Reply{answer};
    });
    QueueOpen(device.SlavePath());
    QueueTransfer({1, 2, 3, 4}, 7);
    Queue(cmdClose);
    Queue(cmdClose);  // on a closed port: succeeds
    ASSERT_TRUE(WaitCompletions(4));
    const std::vector<std::string> expected = {"done 1 1", "sending",  "received",
                                               "done 4 1", "done 2 1", "done 2 1"};
    EXPECT_EQ(receiver.seen, expected);
    ASSERT_EQ(receiver.answers.size(), 1u);
    EXPECT_EQ(receiver.answers[0], (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(device.Requests(), (std::vector<Bytes>{{1, 2, 3, 4}}));
    worker.Stop();
    EXPECT_FALSE(worker.Port().IsOpen());
}

TEST_F(ChanelThreadTest, SilentDeviceFailsTheTransferWithoutReceiveNotice) {
    PtyDevice device;
    QueueOpen(device.SlavePath());
    QueueTransfer({0x01, 0x11}, 2);
    ASSERT_TRUE(WaitCompletions(2));
    EXPECT_EQ(receiver.seen, (std::vector<std::string>{"done 1 1", "sending", "done 4 0"}));
    EXPECT_EQ(receiver.messages[1], "Прибор не отвечает");
    EXPECT_EQ(device.Receive(2), (Bytes{0x01, 0x11}));
}

TEST_F(ChanelThreadTest, ClosedPortFailsEveryPortCommand) {
    QueueTransfer({1}, 1);
    Queue(cmdWakeUp, 1);
    ASSERT_TRUE(WaitCompletions(2));
    EXPECT_EQ(receiver.seen, (std::vector<std::string>{"done 4 0", "done 6 0"}));
    EXPECT_EQ(receiver.messages,
              (std::vector<std::string>{"COM-порт не открыт", "COM-порт не открыт"}));
}

TEST_F(ChanelThreadTest, LineSetupSetsTheReadTimeouts) {
    PtyDevice device;
    QueueOpen(device.SlavePath());
    ASSERT_TRUE(WaitCompletions(1));
    worker.Stop();  // the port is the test's now
    comprt::CommTimeouts timeouts = worker.Port().GetTimeouts();
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 20u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
}

TEST_F(ChanelThreadTest, ModemTimeoutsReplaceTheGivenOnes) {
    PtyDevice device;
    QueueOpen(device.SlavePath(), true);
    ASSERT_TRUE(WaitCompletions(1));
    worker.Stop();
    comprt::CommTimeouts timeouts = worker.Port().GetTimeouts();
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 6000u);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 100u);
}

TEST_F(ChanelThreadTest, WakeUpEndsWithOneFFWhenAsked) {
    PtyDevice device;
    QueueOpen(device.SlavePath());
    Queue(cmdWakeUp, 1);
    Queue(cmdWakeUp, 0);
    ASSERT_TRUE(WaitCompletions(3));
    EXPECT_EQ(receiver.seen, (std::vector<std::string>{"done 1 1", "done 6 1", "done 6 1"}));
    EXPECT_EQ(device.Receive(2, std::chrono::milliseconds(300)), Bytes{0xFF});
}

TEST_F(ChanelThreadTest, AttachWatchesTheCarrier) {
    PtyDevice device;
    const int modemPort = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(modemPort, 0);
    ChanelCommonStruct& data = worker.Items[worker.Tail].Data;
    data = {};
    data.PortHandle = modemPort;
    data.ReadTotalTimeout = 700;
    data.ReadIntervalTimeout = 30;
    worker.Push(cmdAttach, qfAlways);
    ASSERT_TRUE(WaitCompletions(1));
    EXPECT_EQ(receiver.seen, (std::vector<std::string>{"done 3 1"}));
    device.HangUp();
    ASSERT_TRUE(WaitFor([&] { return receiver.seen.size() == 2; }));
    EXPECT_EQ(receiver.seen[1], "port " + std::to_string(comprt::EV_RLSD));
    worker.Stop();
    EXPECT_TRUE(worker.Port().IsAttached());
    EXPECT_EQ(worker.Port().GetTimeouts().ReadTotalTimeoutConstant, 700u);
    EXPECT_EQ(worker.Port().GetTimeouts().ReadIntervalTimeout, 30u);
    worker.Port().Close();
    EXPECT_NE(::fcntl(modemPort, F_GETFD), -1);  // the owner's descriptor
    ::close(modemPort);
}

TEST_F(ChanelThreadTest, AttachOfNoDescriptorFails) {
    Queue(cmdAttach);  // PortHandle -1: nothing adopted, the port stays closed
    ASSERT_TRUE(WaitCompletions(1));
    EXPECT_EQ(receiver.seen, (std::vector<std::string>{"done 3 0"}));
    EXPECT_EQ(receiver.messages[0], "COM-порт не открыт");
}

}  // namespace
