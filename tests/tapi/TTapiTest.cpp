// The line application: the modem list, and how line messages become call
// state codes and texts.
#include "ModemStore.h"
#include "TTapi.h"
#include "TTapiConnection.h"
#include "TapiConstants.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class TTapiList : public testing::Test {
protected:
    void SetUp() override {
        ClearModems();
        AddModem("A", "COM91", 0x10, "USR Sportster");
        AddModem("B", "COM92", 0x10, "USR Sportster");
        AddModem("C", "COM93", 0x04, "Voice line");
        AddModem("D", "COM94", 0x10 | 0x04);
    }
    void TearDown() override { ClearModems(); }
};

TEST_F(TTapiList, ListsDataModemsInOrderWithTheirIds) {
    TTapi tapi;
    ASSERT_EQ(tapi.GetDeviceCount(), 3u);
    EXPECT_EQ(tapi.GetDeviceName(0), "USR Sportster");
    EXPECT_EQ(tapi.GetDeviceName(1), "USR Sportster");
    EXPECT_EQ(tapi.GetDeviceName(2), "D");
    EXPECT_EQ(tapi.GetDeviceID(0), 0);
    EXPECT_EQ(tapi.GetDeviceID(1), 1);
    EXPECT_EQ(tapi.GetDeviceID(2), 3);  // the voice line keeps its ID
    EXPECT_EQ(tapi.GetDeviceName(3), "");
    EXPECT_EQ(tapi.GetDeviceID(3), -1);
    EXPECT_EQ(tapi.GetDeviceID(static_cast<unsigned>(-1)), -1);
    EXPECT_EQ(tapi.FindDevice("USR Sportster"), 0);
    EXPECT_EQ(tapi.FindDevice("usr sportster"), -1);
    EXPECT_EQ(tapi.FindDevice("Voice line"), -1);
    EXPECT_EQ(tapi.FindDevice(""), -1);
}

TEST_F(TTapiList, LineOfUnknownIndexOrMissingPortDoesNotOpen) {
    TTapi tapi;
    TTapiConnection connection(&tapi);
    EXPECT_FALSE(connection.OpenLine(-1));
    EXPECT_FALSE(connection.OpenLine(7));
    EXPECT_FALSE(connection.OpenLine(0));  // COM91 reaches no device
    EXPECT_FALSE(connection.MakeCall("123"));
    TTapiConnection orphan(nullptr);
    EXPECT_FALSE(orphan.OpenLine(0));
}

TEST(TTapiEmpty, NoModemsNoLines) {
    ClearModems();
    TTapi tapi;
    EXPECT_EQ(tapi.GetDeviceCount(), 0u);
    TTapiConnection connection(&tapi);
    EXPECT_FALSE(connection.OpenLine(0));
}

// Messages straight into a connection: every state's text, and the state
// code always before its text.
TEST(TTapiMessages, CallStatesGiveCodesThenTexts) {
    TTapiConnection connection(nullptr);
    std::vector<std::string> seen;
    connection.FOnState = [&](int code) { seen.push_back("code " + std::to_string(code)); };
    connection.FOnText = [&](const std::string& text) { seen.push_back(text); };
    const struct {
        uint32_t state;
        std::vector<std::string> expected;
    } cases[] = {
        {LINECALLSTATE_IDLE, {"Линия в состоянии ожидания"}},
        {LINECALLSTATE_OFFERING, {"Прием вызова"}},
        {LINECALLSTATE_ACCEPTED, {"Вызов принят"}},
        {LINECALLSTATE_DIALTONE, {"Линия готова"}},
        {LINECALLSTATE_DIALING, {"code 1", "Набор номера"}},
        {LINECALLSTATE_RINGBACK, {"Обратный звонок"}},
        {LINECALLSTATE_BUSY, {"Линия занята"}},
        {LINECALLSTATE_SPECIALINFO, {"Обмен служебной информацией"}},
        {LINECALLSTATE_CONNECTED, {"code 2", "Соединение установлено"}},
        {LINECALLSTATE_PROCEEDING, {"Ожидание ответа"}},
        {LINECALLSTATE_ONHOLD, {"Пауза"}},
        {LINECALLSTATE_DISCONNECTED, {"code 0", "Соединение разорвано"}},
        {LINECALLSTATE_UNKNOWN, {"Состояние линии не определено"}},
        {0x12345, {""}},
    };
    for (const auto& c : cases) {
        seen.clear();
        connection.HandleLineMessage(0, LINE_CALLSTATE, 0, c.state, 0, 0);
        EXPECT_EQ(seen, c.expected) << std::hex << c.state;
    }
    EXPECT_EQ(connection.FCallState, 0);
}

TEST(TTapiMessages, FailedRequestGivesExactlyOneText) {
    TTapiConnection connection(nullptr);
    std::vector<std::string> texts;
    connection.FOnText = [&](const std::string& text) { texts.push_back(text); };
    connection.HandleLineMessage(0, LINE_REPLY, 0, 1, 0, 0);
    EXPECT_TRUE(texts.empty());
    connection.HandleLineMessage(0, LINE_REPLY, 0, 1, LINEERR_OPERATIONFAILED, 0);
    EXPECT_EQ(texts, std::vector<std::string>{"Ошибка вызова TAPI функции"});
    connection.HandleLineMessage(0, 99, 0, 1, 1, 0);
    EXPECT_EQ(texts.size(), 1u);
}

}  // namespace
