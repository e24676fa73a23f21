// The per-user store against a private settings folder: defaults, the
// value-by-value fallback, bad files, round trips, a store that cannot be
// written, files the store must not use or write over, lines it must keep,
// and the one-run overlay.
#include "Settings.h"
#include "SettingsStore.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

ZQ_PRINT_CASES_BY_NAME

QString StorePath() {
    return QString::fromStdString(SettingsStore::FilePath());
}

// Writes the store file by hand. The store notices a changed file by its
// time stamp and size, so each write gets a time stamp of its own.
void WriteStoreFile(const std::string& text) {
    static int generation = 0;
    QDir().mkpath(QFileInfo(StorePath()).absolutePath());
    std::ofstream(SettingsStore::FilePath(), std::ios::binary | std::ios::trunc) << text;
    QFile file(StorePath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(++generation),
                     QFileDevice::FileModificationTime);
}

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        QFile::remove(StorePath());
        ClearChanelSetupOverlay();
    }
    void TearDown() override {
        // Undo the blocked-folder and the unusable-store cases for the next test.
        const QString folder = QFileInfo(StorePath()).absolutePath();
        if (QFileInfo(folder).isFile()) {
            QFile::remove(folder);
        }
        chmod(SettingsStore::FilePath().c_str(), 0600);
        QFile::remove(StorePath());
        QDir(StorePath()).removeRecursively();
        SettingsStore::SetWarningEvent(nullptr);
        ClearChanelSetupOverlay();
    }
};

std::string ReadStoreFile() {
    std::ifstream in(SettingsStore::FilePath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(SettingsTest, FreshStoreGivesDefaults) {
    ChanelSetupStruct chanel;
    chanel.CurrentChanel = 9;
    chanel.ComPortName = "x";
    chanel.MonitoringInterval = 1;
    ASSERT_TRUE(LoadChanelSetup(chanel));
    EXPECT_EQ(chanel, ChanelSetupStruct{});
    EXPECT_EQ(chanel.ComPortName, "COM1");
    EXPECT_EQ(chanel.NetAddress, 0);
    EXPECT_EQ(chanel.MonitoringInterval, 6);

    ReadSettingsStruct read;
    read.ReadJournal = false;
    read.StartInterval = 0;
    ASSERT_TRUE(LoadReadSettings(read));
    EXPECT_TRUE(read.ReadHourArchive && read.ReadDayArchive && read.ReadMonthArchive &&
                read.ReadJournal);
    EXPECT_EQ(read.ReadInterval, 0);
    int y, m, d;
    DecodeDate(read.StartInterval, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20120101);
    DecodeDate(read.FinishInterval, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20120101);
    EXPECT_EQ(ReadIntegerSetting("EnableCalibration", 0), 0);
    EXPECT_EQ(ReadIntegerSetting("EnableCalibration", 7), 7);
}

TEST_F(SettingsTest, RoundTrip) {
    ChanelSetupStruct chanel;
    chanel.CurrentChanel = 1;
    chanel.NetAddress = 254;
    chanel.ComPortName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    chanel.ModemName = "Модем \"Zyxel\" \\ 2";
    chanel.PhoneNumber = "8,W(495)123-45-67";
    chanel.MonitoringInterval = 1000;
    ASSERT_TRUE(SaveChanelSetup(chanel));
    ChanelSetupStruct loaded;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded, chanel);

    ReadSettingsStruct read;
    read.ReadDayArchive = false;
    read.ReadJournal = false;
    read.ReadInterval = 2;
    read.StartInterval = 46000.25;
    read.FinishInterval = 46031.75;
    ASSERT_TRUE(SaveReadSettings(read));
    ReadSettingsStruct readBack;
    ASSERT_TRUE(LoadReadSettings(readBack));
    EXPECT_FALSE(readBack.ReadDayArchive);
    EXPECT_FALSE(readBack.ReadJournal);
    EXPECT_TRUE(readBack.ReadHourArchive);
    EXPECT_EQ(readBack.ReadInterval, 2);
    EXPECT_EQ(readBack.StartInterval, 46000.25);
    EXPECT_EQ(readBack.FinishInterval, 46031.75);
    // Saving one record leaves the other's values alone.
    ChanelSetupStruct again;
    ASSERT_TRUE(LoadChanelSetup(again));
    EXPECT_EQ(again, chanel);
}

// An unknown connection type is kept as it stands (the task then fails to
// create its channel), and the network's values travel beside the others.
TEST_F(SettingsTest, UnknownConnectionTypeAndNetworkValuesAreKept) {
    ChanelSetupStruct chanel;
    chanel.CurrentChanel = 3;
    chanel.NetworkAddress = "[fe80::1]:4001";
    chanel.NetworkMode = 2;
    chanel.AllowedPeers = "10.0.0.7, 10.0.0.8";
    ASSERT_TRUE(SaveChanelSetup(chanel));
    ChanelSetupStruct loaded;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded, chanel);
}

// Files the store may meet on disk; every value that cannot be read takes
// its default, the others are still read.
struct FileCase {
    const char* name;
    const char* text;
    ChanelSetupStruct expected;
};

class SettingsFile : public SettingsTest, public testing::WithParamInterface<FileCase> {};

TEST_P(SettingsFile, UnreadableValuesTakeDefaults) {
    WriteStoreFile(GetParam().text);
    ChanelSetupStruct loaded;
    loaded.CurrentChanel = 77;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded, GetParam().expected);
}

ChanelSetupStruct With(int address, const char* port = "COM1", int interval = 6) {
    ChanelSetupStruct s;
    s.NetAddress = address;
    s.ComPortName = port;
    s.MonitoringInterval = interval;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFile,
    testing::Values(
        FileCase{"Empty", "", ChanelSetupStruct{}},
        FileCase{"Garbage", "\x01\x02 garbage ]]] [[[\n\xff\xfe\n=\"\"\n", ChanelSetupStruct{}},
        FileCase{"PortStoredAsInteger",
                 "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"ComPortName\"=int:3\n"
                 "\"NetAddress\"=int:5\n\"MonitoringInterval\"=int:20\n",
                 With(5, "COM1", 20)},
        FileCase{"IntegerStoredAsString",
                 "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=\"5\"\n"
                 "\"ComPortName\"=\"COM4\"\n",
                 With(0, "COM4")},
        FileCase{"TruncatedLine",
                 "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=int:12\n"
                 "\"ComPortName\"=\"COM",
                 With(12)},
        FileCase{"BadNumbers",
                 "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=int:12x\n"
                 "\"MonitoringInterval\"=int:99999999999\n\"ComPortName\"=\"COM2\"\n",
                 With(0, "COM2")},
        FileCase{"ValuesOutsideTheirKey",
                 "\"NetAddress\"=int:12\n[Software\\Halbrec\\ZURavorav]\n\"NetAddress\"=int:13\n",
                 ChanelSetupStruct{}},
        FileCase{"DateWhereIntegerExpected",
                 "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=date:40909\n"
                 "\"MonitoringInterval\"=int:3\n",
                 With(0, "COM1", 3)}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, MistypedReadSettingsFallBackValueByValue) {
    WriteStoreFile(
        "[Software\\Halbrec\\ZURavorav\\ReadSettings]\n\"ReadHourArchive\"=\"0\"\n"
        "\"ReadDayArchive\"=int:0\n\"ReadJournal\"=int:-3\n\"StartInterval\"=int:5\n"
        "\"FinishInterval\"=date:nan\n\"ReadInterval\"=int:1\n"
        "[Software\\Halbrec\\ZURavorav]\n\"EnableCalibration\"=\"1\"\n");
    ReadSettingsStruct read;
    ASSERT_TRUE(LoadReadSettings(read));
    EXPECT_TRUE(read.ReadHourArchive);  // a string is not a flag
    EXPECT_FALSE(read.ReadDayArchive);
    EXPECT_TRUE(read.ReadJournal);  // non-zero is true
    EXPECT_EQ(read.ReadInterval, 1);
    EXPECT_EQ(read.StartInterval, 40909);
    EXPECT_EQ(read.FinishInterval, 40909);
    EXPECT_EQ(ReadIntegerSetting("EnableCalibration", 0), 0);
}

TEST_F(SettingsTest, StoreThatCannotBeWrittenMakesSaveFail) {
    // The store's folder is taken by a plain file, which even root cannot
    // write into.
    const QString folder = QFileInfo(StorePath()).absolutePath();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(SaveChanelSetup(ChanelSetupStruct{}));
    EXPECT_FALSE(SaveReadSettings(ReadSettingsStruct{}));
    ChanelSetupStruct loaded;
    loaded.NetAddress = 3;
    EXPECT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded.NetAddress, 0);
}

TEST_F(SettingsTest, SaveKeepsFileReadableAndTyped) {
    ChanelSetupStruct chanel;
    chanel.ComPortName = "COM3";
    ASSERT_TRUE(SaveChanelSetup(chanel));
    QFile file(StorePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("[Software\\Halbrec\\ZURavorav\\ChanelSetup]")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"ComPortName\"=\"COM3\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("\"CurrentChanel\"=int:0")) << text.toStdString();
}

TEST_F(SettingsTest, OverlayIsSeenByLoadButNeverSaved) {
    ChanelSetupStruct stored;
    stored.ComPortName = "COM5";
    stored.NetAddress = 3;
    ASSERT_TRUE(SaveChanelSetup(stored));
    ChanelSetupOverlay overlay;
    overlay.ComPortName = "/dev/pts/9";
    overlay.MonitoringInterval = 2;
    SetChanelSetupOverlay(overlay);
    ChanelSetupStruct loaded;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded.ComPortName, "/dev/pts/9");
    EXPECT_EQ(loaded.NetAddress, 3);
    EXPECT_EQ(loaded.MonitoringInterval, 2);
    ClearChanelSetupOverlay();
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded.ComPortName, "COM5");
    EXPECT_EQ(loaded.MonitoringInterval, 6);
}

TEST_F(SettingsTest, SubKeysAndRemoval) {
    {
        SettingsStore store;
        store.WriteString(std::string(kModemsKey) + "\\Beta", "Port", "COM2");
        store.WriteString(std::string(kModemsKey) + "\\Alpha", "Port", "COM1");
        store.WriteInteger(std::string(kModemsKey) + "\\Alpha", "MediaModes", 16);
        ASSERT_TRUE(store.Sync());
    }
    SettingsStore store;
    EXPECT_EQ(store.SubKeys(kModemsKey), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(store.ReadInteger(std::string(kModemsKey) + "\\Alpha", "MediaModes"), 16);
    store.RemoveKey(std::string(kModemsKey) + "\\Alpha");
    ASSERT_TRUE(store.Sync());
    SettingsStore reread;
    EXPECT_EQ(reread.SubKeys(kModemsKey), (std::vector<std::string>{"Beta"}));
}

// Store files that cannot be used: every value takes its default (the run's
// options still apply), the warning names the file once, and a save writes
// nothing, leaving the file or folder exactly as it was.
struct UnusableCase {
    const char* name;
    std::function<void()> make;
    const char* reason;
};

std::string ValidStoreText() {
    return "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=int:5\n"
           "\"ComPortName\"=\"COM4\"\n";
}

// What a save could have changed: the bytes and mode of a file, or the
// entries of a folder.
std::string Snapshot() {
    struct stat st {};
    if (lstat(SettingsStore::FilePath().c_str(), &st) != 0) {
        return "missing";
    }
    std::string what = std::to_string(st.st_mode) + ":";
    if (S_ISDIR(st.st_mode)) {
        return what + QDir(StorePath()).entryList(QDir::AllEntries).join(u',').toStdString();
    }
    if (S_ISREG(st.st_mode)) {
        return what + ReadStoreFile();
    }
    return what;
}

class UnusableStore : public SettingsTest, public testing::WithParamInterface<UnusableCase> {};

TEST_P(UnusableStore, GivesDefaultsWarnsOnceAndIsNeverWritten) {
    QDir().mkpath(QFileInfo(StorePath()).absolutePath());
    GetParam().make();
    if (std::string(GetParam().name) == "NoReadPermission" &&
        access(SettingsStore::FilePath().c_str(), R_OK) == 0) {
        GTEST_SKIP() << "this user reads files of mode 000";
    }
    const std::string before = Snapshot();
    std::vector<std::string> warnings;
    SettingsStore::SetWarningEvent([&](const std::string& text) { warnings.push_back(text); });
    ChanelSetupOverlay overlay;
    overlay.ComPortName = "/dev/ttyUSB3";
    SetChanelSetupOverlay(overlay);

    ChanelSetupStruct loaded;
    loaded.NetAddress = 77;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    ChanelSetupStruct expected;
    expected.ComPortName = "/dev/ttyUSB3";
    EXPECT_EQ(loaded, expected);
    ReadSettingsStruct read;
    read.ReadJournal = false;
    ASSERT_TRUE(LoadReadSettings(read));
    EXPECT_EQ(read, ReadSettingsStruct{});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(SettingsStore::FilePath() + " " + GetParam().reason),
              std::string::npos)
        << warnings[0];
    EXPECT_EQ(warnings[0].find('\n'), std::string::npos);

    ChanelSetupStruct chanel;
    chanel.NetAddress = 9;
    EXPECT_FALSE(SaveChanelSetup(chanel));
    EXPECT_FALSE(SaveReadSettings(ReadSettingsStruct{}));
    EXPECT_EQ(Snapshot(), before);
}

void WriteFileMode(const std::string& bytes, mode_t mode) {
    WriteStoreFile(bytes);
    chmod(SettingsStore::FilePath().c_str(), mode);
}

std::string Utf16WithBom(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableStore,
    testing::Values(
        UnusableCase{"Utf16WithByteOrderMark",
                     [] { WriteStoreFile(Utf16WithBom(ValidStoreText())); }, "is not UTF-8 text"},
        UnusableCase{"LargerThanOneMegabyte",
                     [] {
                         std::string text = ValidStoreText();
                         while (text.size() <= static_cast<size_t>(kSettingsFileMaxSize)) {
                             text += "; padding padding padding padding padding padding\n";
                         }
                         WriteStoreFile(text);
                     },
                     "is larger than 1 MB"},
        UnusableCase{"NoReadPermission", [] { WriteFileMode(ValidStoreText(), 0); },
                     "cannot be read"},
        UnusableCase{"FolderInItsPlace",
                     [] { QDir().mkpath(StorePath() + QStringLiteral("/inner")); }, "is a folder"},
        UnusableCase{"SymbolicLinkLoop", [] { QFile::link(StorePath(), StorePath()); },
                     "cannot be read"}),
    [](const testing::TestParamInfo<UnusableCase>& info) { return std::string(info.param.name); });

// A save rewrites only the lines of the values it changes and adds the
// missing ones at the end of their section; comments, values of other types
// and lines it cannot parse stay as they were, line ends included.
TEST_F(SettingsTest, SaveKeepsTheLinesItDoesNotUnderstand) {
    WriteStoreFile(
        "; written by hand\n"
        "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n"
        "# the office line\n"
        "\"ComPortName\"=\"COM4\"\n"
        "\"Baud\"=dword:00004b00\n"
        "\"NetAddress\"=int:12\n"
        "\"Key\"=hex:01,02,03\n"
        "\"NetAddress\"=int:99999999999\n"
        "\n"
        "; the read settings follow\n"
        "[Software\\Halbrec\\Other]\r\n"
        "\"X\"=hex(2):41,00\r\n");
    ChanelSetupStruct chanel;
    chanel.ComPortName = "COM4";
    chanel.NetAddress = 3;
    ASSERT_TRUE(SaveChanelSetup(chanel));
    const std::string saved = ReadStoreFile();
    EXPECT_EQ(saved,
              "; written by hand\n"
              "[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n"
              "# the office line\n"
              "\"ComPortName\"=\"COM4\"\n"
              "\"Baud\"=dword:00004b00\n"
              "\"NetAddress\"=int:3\n"
              "\"Key\"=hex:01,02,03\n"
              "\"NetAddress\"=int:99999999999\n"
              "\"CurrentChanel\"=int:0\n"
              "\"ModemName\"=\"\"\n"
              "\"PhoneNumber\"=\"\"\n"
              "\"MonitoringInterval\"=int:6\n"
              "\"NetworkAddress\"=\"\"\n"
              "\"NetworkMode\"=int:0\n"
              "\"AllowedPeers\"=\"\"\n"
              "\n"
              "; the read settings follow\n"
              "[Software\\Halbrec\\Other]\r\n"
              "\"X\"=hex(2):41,00\r\n");
    ChanelSetupStruct loaded;
    ASSERT_TRUE(LoadChanelSetup(loaded));
    EXPECT_EQ(loaded, chanel);
    // Saving the same values again changes nothing.
    ASSERT_TRUE(SaveChanelSetup(chanel));
    EXPECT_EQ(ReadStoreFile(), saved);
}

// The store file is read once per run; our own save does not read it again,
// a change made by someone else does.
TEST_F(SettingsTest, StoreIsReadOncePerRun) {
    WriteStoreFile(ValidStoreText());
    const int before = SettingsStore::FileReads();
    ChanelSetupStruct chanel;
    ASSERT_TRUE(LoadChanelSetup(chanel));
    ReadSettingsStruct read;
    ASSERT_TRUE(LoadReadSettings(read));
    EXPECT_EQ(ReadIntegerSetting("EnableCalibration", 0), 0);
    EXPECT_TRUE(SettingsStore().SubKeys(kModemsKey).empty());
    ASSERT_TRUE(LoadChanelSetup(chanel));
    EXPECT_EQ(chanel.NetAddress, 5);
    EXPECT_EQ(SettingsStore::FileReads() - before, 1);

    chanel.NetAddress = 6;
    ASSERT_TRUE(SaveChanelSetup(chanel));
    ASSERT_TRUE(LoadChanelSetup(chanel));
    EXPECT_EQ(chanel.NetAddress, 6);
    EXPECT_EQ(SettingsStore::FileReads() - before, 1);

    WriteStoreFile("[Software\\Halbrec\\ZURavorav\\ChanelSetup]\n\"NetAddress\"=int:8\n");
    ASSERT_TRUE(LoadChanelSetup(chanel));
    EXPECT_EQ(chanel.NetAddress, 8);
    EXPECT_EQ(SettingsStore::FileReads() - before, 2);
}

}  // namespace
