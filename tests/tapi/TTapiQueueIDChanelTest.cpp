// The modem channel against a scripted Hayes modem on a pseudo-terminal:
// the checks of Open, a dialled call carrying packets, busy, cancel and
// redial, the carrier dropping, and a transfer racing a hang-up.
#include "Crc16.h"
#include "LineService.h"
#include "ModemStore.h"
#include "TTapiConnection.h"
#include "TTapiQueueIDChanel.h"
#include "TTapiVault.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr const char* kModem = "TestModem";

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

Bytes Reply(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

class ModemChanel : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ClearModems();
        AddModem(kModem, "MODEMPORT");
        TapiVault.Init();
    }

    void SetUp() override {
        ASSERT_NE(TapiVault.Get(), nullptr);
        LinkPort("MODEMPORT", modem.SlavePath());
        chanel = std::make_unique<TTapiQueueIDChanel>();
        chanel->SetOnChanelStateEvent([this](ChanelState s) { states.push_back(s); });
        chanel->SetConsoleFunction([this](const std::string& t) {
            texts.push_back(t);
            if (t == "Соединение установлено") {
                pendingAtConnectedText = chanel->GetPendingCount();
            }
        });
        chanel->SetOnRecvPacketEvent([this](const void* data, uint16_t length, int id) {
            const auto* bytes = static_cast<const uint8_t*>(data);
            answers.push_back({id, Bytes(bytes, bytes + length)});
        });
        chanel->SetOnLostPacketEvent([this](int id) { lost.push_back(id); });
    }

    void TearDown() override {
        chanel.reset();
        lineWaitForHangUps();
    }

    // A modem that answers `number` with `dialResult`, and the device behind
    // it, which answers every frame with a fixed identification answer.
    void ModemAnswers(std::string dialResult,
                      std::function<PtyDevice::Reply(const Bytes&)> device = {}) {
        modem.Respond([dialResult, device](const Bytes& request) -> PtyDevice::Reply {
            const std::string text = Text(request);
            if (text.rfind("ATZ", 0) == 0) {
                return {Reply("\r\nOK\r\n")};
            }
            if (text.rfind("ATD", 0) == 0) {
                return {Reply(dialResult)};
            }
            if (text.find("+++") != std::string::npos || text.find("ATH") != std::string::npos) {
                return {Reply("\r\nOK\r\n")};
            }
            if (device) {
                return device(request);
            }
            return {WithCrc({1, 0x11, 1, 2})};
        });
    }

    bool Connect() {
        EXPECT_EQ(chanel->Open(kModem, "8 (495) 123-45-67", 3000, 50), 1);
        return WaitFor([&] { return chanel->GetState() == csConnected; }, 10s);
    }

    std::vector<std::string> Dialogue() {
        std::vector<std::string> lines;
        for (const Bytes& r : modem.Requests()) {
            lines.push_back(Text(r));
        }
        return lines;
    }

    PtyDevice modem;
    std::unique_ptr<TTapiQueueIDChanel> chanel;
    std::vector<ChanelState> states;
    std::vector<std::string> texts;
    std::vector<std::pair<int, Bytes>> answers;
    std::vector<int> lost;
    int pendingAtConnectedText = -1;
};

TEST_F(ModemChanel, OpenRefusedBeforeDialling) {
    const struct {
        const char* modem;
        const char* phone;
        std::vector<std::string> texts;
    } cases[] = {
        {"", "123", {"Не выбран модем"}},
        {kModem, "", {"Нет номера телефона"}},
        {"testmodem", "123", {"Ошибка открытия линии", "Вызов завершен"}},
        {"Other", "123", {"Ошибка открытия линии", "Вызов завершен"}},
    };
    for (const auto& c : cases) {
        texts.clear();
        EXPECT_EQ(chanel->Open(c.modem, c.phone, 3000, 50), -1);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(chanel->GetState(), csDisconnected);
    }
    PumpEvents(300ms);
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(modem.Requests().empty());
    EXPECT_EQ(chanel->GetChanelKind(), 6);
}

TEST_F(ModemChanel, DialledCallCarriesPackets) {
    ModemAnswers("\r\nCONNECT 19200\r\n");
    ASSERT_TRUE(Connect());
    EXPECT_EQ(states, (std::vector<ChanelState>{csConnecting, csConnected}));
    EXPECT_GE(pendingAtConnectedText, 1);  // the attach was queued before the text
    const std::vector<std::string> dialogue = Dialogue();
    ASSERT_GE(dialogue.size(), 2u);
    EXPECT_EQ(dialogue[0], "ATZ\r");
    EXPECT_EQ(dialogue[1], "ATD84951234567\r");
    EXPECT_EQ(texts, (std::vector<std::string>{"Набор номера", "Ожидание ответа",
                                               "Соединение установлено"}));

    const uint8_t request[] = {1, 0x11, 0xC0, 0x2C};
    ASSERT_TRUE(chanel->SendPacket(request, 4, 2, false));
    ASSERT_TRUE(WaitFor([&] { return !answers.empty(); }));
    EXPECT_EQ(answers[0].first, 2);
    EXPECT_EQ(answers[0].second, WithCrc({1, 0x11, 1, 2}));

    texts.clear();
    chanel->Close();
    EXPECT_EQ(texts, std::vector<std::string>{"Вызов завершен"});
    EXPECT_EQ(chanel->GetState(), csDisconnected);
    // The pseudo-terminal has no modem lines: the escape sequence and ATH.
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto d = Dialogue();
            return !d.empty() && d.back().find("ATH") != std::string::npos;
        },
        8s));
}

TEST_F(ModemChanel, BusyLineEndsTheConnecting) {
    ModemAnswers("\r\nBUSY\r\n");
    EXPECT_EQ(chanel->Open(kModem, "123", 3000, 50), 1);
    ASSERT_TRUE(WaitFor([&] { return states.size() >= 2; }, 10s));
    EXPECT_EQ(states, (std::vector<ChanelState>{csConnecting, csDisconnected}));
    EXPECT_EQ(texts, (std::vector<std::string>{"Набор номера", "Ожидание ответа", "Линия занята",
                                               "Соединение разорвано"}));
}

TEST_F(ModemChanel, SecondOpenCancelsThirdDialsAgain) {
    ModemAnswers("");  // the number never answers
    EXPECT_EQ(chanel->Open(kModem, "123", 3000, 50), 1);
    ASSERT_TRUE(WaitFor([&] { return Dialogue().size() >= 2; }));
    texts.clear();
    EXPECT_EQ(chanel->Open(kModem, "123", 3000, 50), -3);
    EXPECT_EQ(texts, std::vector<std::string>{"Отмена звонка"});
    EXPECT_EQ(chanel->GetState(), csDisconnected);
    EXPECT_EQ(chanel->Open(kModem, "123", 3000, 50), 1);
    EXPECT_EQ(chanel->GetState(), csConnecting);
    ASSERT_TRUE(WaitFor([&] {
        int dials = 0;
        for (const auto& line : Dialogue()) {
            dials += line.rfind("ATD", 0) == 0;
        }
        return dials == 2;
    }));
}

TEST_F(ModemChanel, CarrierDropClosesTheChanel) {
    ModemAnswers("\r\nCONNECT 19200\r\n");
    ASSERT_TRUE(Connect());
    texts.clear();
    modem.HangUp();
    ASSERT_TRUE(WaitFor([&] { return chanel->GetState() == csDisconnected; }));
    EXPECT_EQ(texts, std::vector<std::string>{"Вызов завершен"});
    EXPECT_EQ(chanel->GetConnection(), nullptr);
}

// The connection closes its handle while a transfer is under way and the
// descriptor number goes to a new file at once: the worker never writes
// there, and the transfer on the hung-up line ends as a lost packet.
TEST_F(ModemChanel, TransferRacingHangUpNeverTouchesReusedDescriptor) {
    std::atomic<bool> requestSeen{false};
    ModemAnswers("\r\nCONNECT 19200\r\n", [&](const Bytes&) -> PtyDevice::Reply {
        requestSeen = true;
        std::this_thread::sleep_for(200ms);
        return {Bytes{}, true};  // the carrier drops instead of an answer
    });
    ASSERT_TRUE(Connect());
    TTapiConnection* connection = chanel->GetConnection();
    ASSERT_NE(connection, nullptr);
    const int handle = connection->FCommHandle;
    ASSERT_GE(handle, 0);
    ::close(handle);
    connection->FCommHandle = -1;
    char path[] = "/tmp/zq-reused-XXXXXX";
    const int reused = ::mkstemp(path);
    ASSERT_GE(reused, 0);

    const uint8_t request[] = {1, 0x11, 0xC0, 0x2C};
    ASSERT_TRUE(chanel->SendPacket(request, 4, 7, false));
    ASSERT_TRUE(WaitFor([&] { return !lost.empty() || !answers.empty(); }, 10s));
    EXPECT_EQ(lost, std::vector<int>{7});
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(requestSeen);
    struct stat st {};
    ASSERT_EQ(::fstat(reused, &st), 0);
    EXPECT_EQ(st.st_size, 0) << "bytes of the line went into a reused descriptor";
    ::close(reused);
    ::unlink(path);
}

TEST_F(ModemChanel, DestroyingConnectedChanelHangsUpSilently) {
    ModemAnswers("\r\nCONNECT 19200\r\n");
    ASSERT_TRUE(Connect());
    states.clear();
    texts.clear();
    chanel.reset();
    lineWaitForHangUps();
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(texts.empty());
    EXPECT_TRUE(WaitFor([&] {
        const auto d = Dialogue();
        return !d.empty() && d.back().find("ATH") != std::string::npos;
    }));
}

}  // namespace
