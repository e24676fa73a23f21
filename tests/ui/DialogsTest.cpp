// The connection dialog and the read settings dialog against a settings
// store in the test's private folder, controls found by their object names.
#include "ChanelSetupDialog.h"
#include "ElidedLabel.h"
#include "ReadParamsSetup.h"

#include "ComList.h"
#include "FakeSysfs.h"
#include "PortCombo.h"
#include "PortInfo.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TTapiVault.h"

#include "CaseNames.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <string>

namespace {

ZQ_PRINT_CASES_BY_NAME

template <typename T>
T* Find(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

void ExpectFixedSize(QDialog& dialog) {
    dialog.layout()->activate();
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(Find<QPushButton>(dialog, "OKButton")->text(), QStringLiteral("OK"));
    EXPECT_EQ(Find<QPushButton>(dialog, "CancelButton")->text().toStdString(), "Отмена");
}

enum class Close { Ok, Cancel, Window };

void CloseDialog(QDialog& dialog, Close how) {
    switch (how) {
        case Close::Ok:
            Find<QPushButton>(dialog, "OKButton")->click();
            break;
        case Close::Cancel:
            Find<QPushButton>(dialog, "CancelButton")->click();
            break;
        case Close::Window:
            dialog.close();
            break;
    }
}

// ------------------------------------------------------- connection dialog

// Two data-modem lines and a fax-only one, listed by the telephony layer
// once for the whole run.
class ChanelSetupTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        SettingsStore store;
        const std::string modems = kModemsKey;
        store.WriteString(modems + "\\Modem A", "Port", "COM5");
        store.WriteString(modems + "\\Modem B", "Port", "COM6");
        store.WriteString(modems + "\\Modem C", "Port", "COM7");
        store.WriteInteger(modems + "\\Modem C", "MediaModes", 0x08);
        ASSERT_TRUE(store.Sync());
        TapiVault.Init();
    }
};

ChanelSetupStruct StoredModemSetup() {
    ChanelSetupStruct s;
    s.CurrentChanel = 1;
    s.NetAddress = 5;
    s.ComPortName = "COM3";
    s.ModemName = "Modem B";
    s.PhoneNumber = "8-800-100-20-30";
    s.MonitoringInterval = 10;
    return s;
}

// What is in the store while the dialog is open, so that a save shows.
ChanelSetupStruct OtherSetup() {
    ChanelSetupStruct s;
    s.CurrentChanel = 0;
    s.NetAddress = 77;
    s.ComPortName = "COM9";
    s.ModemName = "other";
    s.PhoneNumber = "000";
    s.MonitoringInterval = 999;
    return s;
}

TEST_F(ChanelSetupTest, OpensWithTheStoredModemSettings) {
    ASSERT_TRUE(SaveChanelSetup(StoredModemSetup()));
    TChanelSetup dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Настройка подключения");
    ExpectFixedSize(dialog);

    QComboBox* type = Find<QComboBox>(dialog, "ChanelCombo");
    QComboBox* port = Find<QComboBox>(dialog, "ComPortCombo");
    QComboBox* modem = Find<QComboBox>(dialog, "ModemCombo");
    QLineEdit* phone = Find<QLineEdit>(dialog, "PhoneNumber");
    ASSERT_TRUE(type && port && modem && phone);
    EXPECT_EQ(Items(type), (QStringList{QStringLiteral("COM порт"), QStringLiteral("Модем"),
                                        QStringLiteral("Сеть")}));
    EXPECT_FALSE(Find<QLineEdit>(dialog, "NetworkAddress")->isEnabled());
    EXPECT_FALSE(type->isEditable());
    EXPECT_EQ(type->currentIndex(), 1);
    EXPECT_FALSE(port->isEnabled());
    EXPECT_EQ(port->currentText(), QStringLiteral("COM3"));
    EXPECT_TRUE(modem->isEnabled());
    EXPECT_EQ(modem->currentText(), QStringLiteral("Modem B"));
    EXPECT_EQ(Items(modem), (QStringList{QStringLiteral("Modem A"), QStringLiteral("Modem B")}));
    EXPECT_TRUE(phone->isEnabled());
    EXPECT_EQ(phone->text(), QStringLiteral("8-800-100-20-30"));
    EXPECT_EQ(Find<QSpinBox>(dialog, "MonitoringInterval")->value(), 10);
    EXPECT_EQ(Find<QSpinBox>(dialog, "NetAddress")->value(), 5);

    QStringList ports;
    for (const comprt::PortInfo& info : comprt::ListPorts()) {
        ports << QString::fromStdString(info.name);
        if (!info.stablePath.empty()) {
            ports << QString::fromStdString(info.stablePath);
        }
    }
    if (ports.isEmpty()) {
        const comprt::ComPort::ComList fallback{std::vector<std::string>()};
        for (const char* const* name = fallback.Names().data(); *name; ++name) {
            ports << QString::fromUtf8(*name);
        }
    }
    EXPECT_EQ(Items(port), ports);
}

struct ChanelCase {
    const char* name;
    ChanelSetupStruct stored;
    std::function<void(TChanelSetup&)> edit;
    Close close;
    ChanelSetupStruct expected;  // in the store afterwards; OtherSetup() if nothing saved
};

class ChanelSetupSaveTest : public ChanelSetupTest,
                            public testing::WithParamInterface<ChanelCase> {};

TEST_P(ChanelSetupSaveTest, SavesOnlyOnOk) {
    const ChanelCase& c = GetParam();
    ASSERT_TRUE(SaveChanelSetup(c.stored));
    TChanelSetup dialog(nullptr);
    ASSERT_TRUE(SaveChanelSetup(OtherSetup()));
    if (c.edit) {
        c.edit(dialog);
    }
    CloseDialog(dialog, c.close);
    ChanelSetupStruct saved;
    ASSERT_TRUE(LoadChanelSetup(saved));
    EXPECT_EQ(saved, c.expected);
}

ChanelSetupStruct With(ChanelSetupStruct s, const std::function<void(ChanelSetupStruct&)>& f) {
    f(s);
    return s;
}

void EditEverything(TChanelSetup& d) {
    Find<QComboBox>(d, "ChanelCombo")->setCurrentIndex(0);
    Find<QComboBox>(d, "ComPortCombo")->setEditText(QStringLiteral("COM4"));
    Find<QComboBox>(d, "ModemCombo")->setEditText(QStringLiteral("Modem A"));
    Find<QLineEdit>(d, "PhoneNumber")->setText(QStringLiteral("1"));
    Find<QSpinBox>(d, "MonitoringInterval")->setValue(3);
    Find<QSpinBox>(d, "NetAddress")->setValue(9);
}

INSTANTIATE_TEST_SUITE_P(
    Closing, ChanelSetupSaveTest,
    testing::Values(
        ChanelCase{"OkWritesBackTheSameSixValues", StoredModemSetup(), nullptr, Close::Ok,
                   StoredModemSetup()},
        ChanelCase{"SwitchingToComPortKeepsModemAndNumber", StoredModemSetup(),
                   [](TChanelSetup& d) {
                       Find<QComboBox>(d, "ChanelCombo")->setCurrentIndex(0);
                       EXPECT_TRUE(Find<QComboBox>(d, "ComPortCombo")->isEnabled());
                       EXPECT_FALSE(Find<QComboBox>(d, "ModemCombo")->isEnabled());
                       EXPECT_FALSE(Find<QLineEdit>(d, "PhoneNumber")->isEnabled());
                       EXPECT_EQ(Find<QComboBox>(d, "ModemCombo")->currentText(),
                                 QStringLiteral("Modem B"));
                   },
                   Close::Ok,
                   With(StoredModemSetup(), [](ChanelSetupStruct& s) { s.CurrentChanel = 0; })},
        ChanelCase{"CancelAfterChangesSavesNothing", StoredModemSetup(), EditEverything,
                   Close::Cancel, OtherSetup()},
        ChanelCase{"ClosingTheWindowSavesNothing", StoredModemSetup(), EditEverything,
                   Close::Window, OtherSetup()},
        ChanelCase{
            "UnlistedPortNameKept",
            With(ChanelSetupStruct{}, [](ChanelSetupStruct& s) { s.ComPortName = "COM250"; }),
            [](TChanelSetup& d) {
                QComboBox* port = Find<QComboBox>(d, "ComPortCombo");
                EXPECT_EQ(port->findText(QStringLiteral("COM250")), -1);
                EXPECT_EQ(port->currentText(), QStringLiteral("COM250"));
                EXPECT_TRUE(port->isEnabled());
            },
            Close::Ok,
            With(ChanelSetupStruct{}, [](ChanelSetupStruct& s) { s.ComPortName = "COM250"; })},
        ChanelCase{"UnknownConnectionTypeKept",
                   With(StoredModemSetup(), [](ChanelSetupStruct& s) { s.CurrentChanel = 3; }),
                   [](TChanelSetup& d) {
                       EXPECT_EQ(Find<QComboBox>(d, "ChanelCombo")->currentIndex(), -1);
                       EXPECT_FALSE(Find<QComboBox>(d, "ComPortCombo")->isEnabled());
                       EXPECT_FALSE(Find<QComboBox>(d, "ModemCombo")->isEnabled());
                   },
                   Close::Ok,
                   With(StoredModemSetup(), [](ChanelSetupStruct& s) { s.CurrentChanel = 3; })},
        ChanelCase{"NetworkWaitingForTheCall", StoredModemSetup(),
                   [](TChanelSetup& d) {
                       Find<QComboBox>(d, "ChanelCombo")->setCurrentIndex(2);
                       EXPECT_FALSE(Find<QComboBox>(d, "ModemCombo")->isEnabled());
                       EXPECT_FALSE(Find<QLineEdit>(d, "AllowedPeers")->isEnabled());
                       QLabel* note = Find<QLabel>(d, "AllowedPeersNote");
                       EXPECT_TRUE(note->isHidden());
                       Find<QComboBox>(d, "NetworkModeCombo")->setCurrentIndex(2);
                       EXPECT_TRUE(Find<QLineEdit>(d, "AllowedPeers")->isEnabled());
                       // An empty list lets any caller in, and the dialog says so.
                       EXPECT_FALSE(note->isHidden());
                       EXPECT_EQ(note->text(), QStringLiteral("Пустой список: принимается "
                                                              "звонок с любого адреса"));
                       Find<QLineEdit>(d, "NetworkAddress")->setText(QStringLiteral("4001"));
                       Find<QLineEdit>(d, "AllowedPeers")->setText(QStringLiteral(" ,; "));
                       EXPECT_FALSE(note->isHidden());
                       Find<QLineEdit>(d, "AllowedPeers")->setText(QStringLiteral("10.0.0.7"));
                       EXPECT_TRUE(note->isHidden());
                   },
                   Close::Ok,
                   With(StoredModemSetup(),
                        [](ChanelSetupStruct& s) {
                            s.CurrentChanel = 2;
                            s.NetworkAddress = "4001";
                            s.NetworkMode = 2;
                            s.AllowedPeers = "10.0.0.7";
                        })},
        // A malformed address keeps the dialog open with the reason shown.
        ChanelCase{
            "MalformedNetworkAddressNeverSaved", StoredModemSetup(),
            [](TChanelSetup& d) {
                Find<QComboBox>(d, "ChanelCombo")->setCurrentIndex(2);
                Find<QLineEdit>(d, "NetworkAddress")->setText(QStringLiteral("fe80::1:4001"));
                Find<QPushButton>(d, "OKButton")->click();
                EXPECT_EQ(d.result(), 0);
                EXPECT_TRUE(Find<QLabel>(d, "NetworkErrorLabel")
                                ->text()
                                .startsWith(QStringLiteral("Неверный сетевой адрес")));
            },
            Close::Cancel, OtherSetup()},
        ChanelCase{"SpinValuesHeldInTheirRanges",
                   With(ChanelSetupStruct{},
                        [](ChanelSetupStruct& s) {
                            s.NetAddress = 300;
                            s.MonitoringInterval = 1;
                        }),
                   nullptr, Close::Ok,
                   With(ChanelSetupStruct{},
                        [](ChanelSetupStruct& s) {
                            s.NetAddress = 254;
                            s.MonitoringInterval = 2;
                        })}),
    [](const testing::TestParamInfo<ChanelCase>& info) { return std::string(info.param.name); });

// The label beside the port box follows the name as it is typed; a screen
// reader reads the whole text even when the label shows it shortened.
TEST_F(ChanelSetupTest, ShowsTheDeviceThePortNameReaches) {
    const QString ports =
        QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Halbrec/ZURavorav/ports");
    ASSERT_TRUE(QDir().mkpath(ports));
    QFile::remove(ports + QStringLiteral("/Meter"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), ports + QStringLiteral("/Meter")));
    ASSERT_TRUE(SaveChanelSetup(ChanelSetupStruct{}));
    TChanelSetup dialog(nullptr);
    dialog.show();
    QComboBox* port = Find<QComboBox>(dialog, "ComPortCombo");
    auto* device = qobject_cast<ElidedLabel*>(Find<QLabel>(dialog, "PortDeviceLabel"));
    ASSERT_TRUE(port && device);
    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(device);
    ASSERT_NE(heard, nullptr);
    const int width = dialog.width();

    const struct {
        const char* typed;
        const char* shown;
        bool elided;
    } rows[] = {
        {"meter", "→ /dev/null", false},
        {"/dev/zq-no-such-port", "→ /dev/zq-no-such-port: устройство не найдено", false},
        {"ttyX", "устройство не найдено", false},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         "→ /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0: устройство не найдено",
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        port->lineEdit()->clear();
        QTest::keyClicks(port->lineEdit(), QString::fromUtf8(row.typed));
        EXPECT_EQ(device->text().toStdString(), row.shown);
        EXPECT_EQ(heard->text(QAccessible::Name).toStdString(), row.shown);
        EXPECT_EQ(port->accessibleDescription().toStdString(), row.shown);
        EXPECT_EQ(device->IsElided(), row.elided);
        EXPECT_EQ(dialog.width(), width);
    }
}

// The port box over a tree standing for the system: each port with its
// device and what is behind it, the stored name kept as a plain name, an
// adapter plugged in and pulled out while the dialog is open.
TEST_F(ChanelSetupTest, PortListTellsWhatIsBehindAndFollowsTheAdapter) {
    QDir(QString::fromStdString(comprt::PortFolder())).removeRecursively();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    FakeSysfs sys(dir.path().toStdString() + "/root");
    sys.AddUart("ttyS0", 4, "0x3F8");
    TPortCombo::SetSystemRoot(sys.Root());
    const struct RealRootAfterwards {
        ~RealRootAfterwards() { TPortCombo::SetSystemRoot("/"); }
    } restore;
    ChanelSetupStruct stored;
    stored.ComPortName = "COM33";
    ASSERT_TRUE(SaveChanelSetup(stored));
    TChanelSetup dialog(nullptr);
    dialog.show();
    auto* port = Find<TPortCombo>(dialog, "ComPortCombo");
    QLabel* device = Find<QLabel>(dialog, "PortDeviceLabel");
    ASSERT_TRUE(port && device);
    auto row = [&](int index) {
        QStringList cells;
        for (int column = 0; column < 3; ++column) {
            cells << port->model()->index(index, column).data().toString();
        }
        return cells.join(QStringLiteral(" | ")).toStdString();
    };
    ASSERT_EQ(port->count(), 1);
    EXPECT_EQ(row(0), "COM1 | /dev/ttyS0 | UART 16550A, порт 0x3F8");
    EXPECT_EQ(port->currentText(), QStringLiteral("COM33"));
    EXPECT_EQ(device->text().toStdString(), "→ /dev/ttyUSB0: устройство не найдено");

    sys.AddUsbAdapter("1-2", "ttyUSB0", "0403:6001", "FTDI", "FT232R USB UART", "A10K1234",
                      "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->count() == 3; }, 5000));
    EXPECT_EQ(row(1), "COM33 | /dev/ttyUSB0 | FTDI FT232R USB UART (A10K1234)");
    EXPECT_EQ(row(2),
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0 | /dev/ttyUSB0 | "
              "постоянный путь: FTDI FT232R USB UART (A10K1234)");
    EXPECT_EQ(port->currentIndex(), 1);
    EXPECT_EQ(port->currentText(), QStringLiteral("COM33"));
    EXPECT_EQ(device->text().toStdString(), "→ /dev/ttyUSB0, FTDI FT232R USB UART (A10K1234)");
    EXPECT_EQ(port->accessibleDescription(), device->text());

    sys.Remove("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
    sys.Remove("/dev/ttyUSB0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->count() == 1; }, 5000));
    EXPECT_EQ(port->currentText(), QStringLiteral("COM33"));
    EXPECT_EQ(device->text().toStdString(), "→ /dev/ttyUSB0: устройство не найдено");
}

// ----------------------------------------------------- read settings dialog

ReadSettingsStruct DayAndMonth() {
    ReadSettingsStruct s;
    s.ReadHourArchive = false;
    s.ReadDayArchive = true;
    s.ReadMonthArchive = true;
    s.ReadJournal = false;
    s.ReadInterval = 0;
    s.StartInterval = 45000;
    s.FinishInterval = 45010;
    return s;
}

ReadSettingsStruct OtherReadSettings() {
    ReadSettingsStruct s;
    s.ReadInterval = 2;
    s.StartInterval = 1000;
    s.FinishInterval = 2000;
    return s;
}

struct ReadCase {
    const char* name;
    ReadSettingsStruct stored;
    std::function<void(TReadParamsSetupDialog&)> check;
    Close close;
    ReadSettingsStruct expected;  // OtherReadSettings() if nothing saved
    bool documentOpen = false;
};

class ReadParamsSetupTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadParamsSetupTest, ShowsAndSavesOnlyOnOk) {
    const ReadCase& c = GetParam();
    ASSERT_TRUE(SaveReadSettings(c.stored));
    TReadParamsSetupDialog dialog(nullptr, c.documentOpen);
    ASSERT_TRUE(SaveReadSettings(OtherReadSettings()));
    if (c.check) {
        c.check(dialog);
    }
    CloseDialog(dialog, c.close);
    ReadSettingsStruct saved;
    ASSERT_TRUE(LoadReadSettings(saved));
    EXPECT_EQ(saved, c.expected);
}

ReadSettingsStruct WithRead(ReadSettingsStruct s,
                            const std::function<void(ReadSettingsStruct&)>& f) {
    f(s);
    return s;
}

std::vector<bool> Ticked(TReadParamsSetupDialog& d) {
    std::vector<bool> ticked;
    for (const char* name : {"CheckBox3", "CheckBox4", "CheckBox5", "CheckBox6"}) {
        ticked.push_back(Find<QCheckBox>(d, name)->isChecked());
    }
    return ticked;
}

std::vector<bool> Selected(TReadParamsSetupDialog& d) {
    std::vector<bool> selected;
    for (const char* name : {"RadioButton1", "RadioButton2", "RadioButton3"}) {
        selected.push_back(Find<QRadioButton>(d, name)->isChecked());
    }
    return selected;
}

INSTANTIATE_TEST_SUITE_P(
    Closing, ReadParamsSetupTest,
    testing::Values(
        ReadCase{"StoredFlagsShownAndWrittenBack", DayAndMonth(),
                 [](TReadParamsSetupDialog& d) {
                     EXPECT_EQ(Ticked(d), (std::vector<bool>{false, true, true, false}));
                     EXPECT_EQ(Selected(d), (std::vector<bool>{true, false, false}));
                     EXPECT_EQ(Find<QDateEdit>(d, "DateTimePicker1")->date(), QDate(2023, 3, 15));
                 },
                 Close::Ok, DayAndMonth()},
        ReadCase{"MissingPartShownWithADocument",
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 1; }),
                 [](TReadParamsSetupDialog& d) {
                     EXPECT_EQ(Selected(d), (std::vector<bool>{false, true, false}));
                 },
                 Close::Ok,
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 1; }), true},
        // Without a document the whole archive is what a read gets; the
        // stored choice stays for the next time a document is open.
        ReadCase{"MissingPartWithoutADocumentShowsTheWholeArchiveAndIsKept",
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 1; }),
                 [](TReadParamsSetupDialog& d) {
                     EXPECT_EQ(Selected(d), (std::vector<bool>{true, false, false}));
                 },
                 Close::Ok,
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 1; })},
        ReadCase{"GivenIntervalChosenWithItsDates", DayAndMonth(),
                 [](TReadParamsSetupDialog& d) {
                     Find<QRadioButton>(d, "RadioButton3")->click();
                     Find<QDateEdit>(d, "DateTimePicker1")->setDate(QDate(2024, 5, 25));
                     Find<QDateEdit>(d, "DateTimePicker2")->setDate(QDate(2024, 5, 31));
                 },
                 Close::Ok,
                 WithRead(DayAndMonth(),
                          [](ReadSettingsStruct& s) {
                              s.ReadInterval = 2;
                              TryEncodeDate(2024, 5, 25, s.StartInterval);
                              TryEncodeDate(2024, 5, 31, s.FinishInterval);
                          })},
        ReadCase{"IntervalOutOfRangeSelectsNoneAndIsKept",
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 5; }),
                 [](TReadParamsSetupDialog& d) {
                     EXPECT_EQ(Selected(d), (std::vector<bool>{false, false, false}));
                 },
                 Close::Ok,
                 WithRead(DayAndMonth(), [](ReadSettingsStruct& s) { s.ReadInterval = 5; })},
        ReadCase{"IntervalDatesWrittenBackExactly",
                 WithRead(DayAndMonth(),
                          [](ReadSettingsStruct& s) {
                              s.StartInterval = 45000.25;
                              s.FinishInterval = -700000;  // before year 1: shown as no date
                          }),
                 nullptr, Close::Ok,
                 WithRead(DayAndMonth(),
                          [](ReadSettingsStruct& s) {
                              s.StartInterval = 45000.25;
                              s.FinishInterval = -700000;
                          })},
        ReadCase{"TickedBoxesSavedOnOk", DayAndMonth(),
                 [](TReadParamsSetupDialog& d) {
                     Find<QCheckBox>(d, "CheckBox3")->click();
                     Find<QCheckBox>(d, "CheckBox5")->click();
                 },
                 Close::Ok,
                 WithRead(DayAndMonth(),
                          [](ReadSettingsStruct& s) {
                              s.ReadHourArchive = true;
                              s.ReadMonthArchive = false;
                          })},
        ReadCase{"CancelSavesNothing", DayAndMonth(),
                 [](TReadParamsSetupDialog& d) { Find<QCheckBox>(d, "CheckBox3")->click(); },
                 Close::Cancel, OtherReadSettings()},
        ReadCase{"ClosingTheWindowSavesNothing", DayAndMonth(), nullptr, Close::Window,
                 OtherReadSettings()}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// The interval group works: the dates only for "Заданный интервал", the
// missing part only when a document is open.
TEST(ReadParamsSetup, ParametersAlwaysReadAndIntervalChosenByMouse) {
    for (const bool documentOpen : {false, true}) {
        SCOPED_TRACE(documentOpen ? "document open" : "no document");
        ASSERT_TRUE(SaveReadSettings(DayAndMonth()));
        TReadParamsSetupDialog dialog(nullptr, documentOpen);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Чтение параметров");
        ExpectFixedSize(dialog);
        QCheckBox* current = Find<QCheckBox>(dialog, "CheckBox1");
        QCheckBox* setup = Find<QCheckBox>(dialog, "CheckBox2");
        ASSERT_TRUE(current && setup);
        EXPECT_EQ(setup->text().toStdString(), "Настроечные  параметры");
        QTest::mouseClick(current, Qt::LeftButton);
        QTest::mouseClick(setup, Qt::LeftButton);
        for (QCheckBox* box : {current, setup}) {
            EXPECT_TRUE(box->isChecked());
            EXPECT_FALSE(box->isEnabled());
        }
        EXPECT_TRUE(Find<QGroupBox>(dialog, "GroupBox2")->isEnabled());
        auto datesEnabled = [&dialog] {
            std::vector<bool> enabled;
            for (const char* name : {"DateTimePicker1", "DateTimePicker2", "DateTimePicker1Label",
                                     "DateTimePicker2Label"}) {
                enabled.push_back(Find<QWidget>(dialog, name)->isEnabled());
            }
            return enabled;
        };
        const std::vector<bool> none(4, false);
        const std::vector<bool> all(4, true);
        EXPECT_EQ(datesEnabled(), none);
        // A radio button takes a click on its circle or its text only.
        auto click = [&dialog](const char* name) {
            QRadioButton* button = Find<QRadioButton>(dialog, name);
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        };
        click("RadioButton3");
        EXPECT_EQ(Selected(dialog), (std::vector<bool>{false, false, true}));
        EXPECT_EQ(datesEnabled(), all);
        click("RadioButton2");
        EXPECT_EQ(Selected(dialog), (std::vector<bool>{false, documentOpen, !documentOpen}));
        EXPECT_EQ(datesEnabled(), documentOpen ? none : all);
        click("RadioButton1");
        EXPECT_EQ(Selected(dialog), (std::vector<bool>{true, false, false}));
        EXPECT_EQ(datesEnabled(), none);
    }
}

}  // namespace
