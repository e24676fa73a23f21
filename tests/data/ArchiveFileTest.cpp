// The .arch file: its layout, round trips, every check of the reader with
// the sections applied before a failure, and saves that fail without harm.
#include "ArchiveFile.h"
#include "Exception.h"
#include "ParamsRegisters.h"
#include "RecordBuilders.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

constexpr int kIdentAt = kArchiveFileHeaderSize;                // 27
constexpr int kCurrentAt = kIdentAt + kArchiveFileIdentSize;    // 35
constexpr int kSetupAt = kCurrentAt + kArchiveFileCurrentSize;  // 163
constexpr int kRecordsAt = kSetupAt + kArchiveFileSetupSize;    // 227

// A device's data as a read leaves it: 3 hour, 2 day, 1 month and 2 journal
// records, among them pages a file may hold although a read never stores them.
ZQValve SampleValve() {
    ZQValve v;
    const uint8_t ident[4] = {0x11, 0x22, 0x01, 0x44};
    std::memcpy(v.Ident, ident, sizeof ident);
    v.Current.Date = DateOf(2026, 12, 8);
    v.Current.Time = TimeOf(14, 5, 9);
    v.Current.DuIndex = 9;
    v.Current.CurrentCode = 4000;
    v.Current.Serial = 0x01020304;
    v.Current.Ton = 6001;
    v.Current.Twork = 6000;
    v.Current.ImpulseWeight = 10;
    v.Current.ImpulseLength = 50;
    v.Current.G = 1.5f;
    v.Current.Gmin = 0.25f;
    v.Current.Gmax = 100;
    v.Current.Vd = 123.75;
    v.Current.Vr = 0.5;
    v.Current.NSFlags = 0x0C;
    v.Setup.Date = DateOf(2026, 12, 8);
    v.Setup.Time = TimeOf(14, 5, 10);
    v.Setup.NetAddress = 254;
    v.Setup.CalibrationCode = 16383;
    v.Setup.TestCode = 100;
    v.Setup.TestMode = 1;
    v.HourArchive = {ArchiveRecord(26, 12, 8, 13, 1, 0, 60, 9),
                     ArchiveRecord(26, 12, 8, 14, 2, 0, 120, 0),
                     RecordOf<ArchiveStruct>({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})};
    v.DayArchive = {ArchiveRecord(26, 12, 7, 0, 10, 1, 1440, 1),
                    RecordOf<ArchiveStruct>({0, 0, 0, 0, 7})};
    v.MonthArchive = {ArchiveRecord(26, 11, 1, 0, 300, 2, 43200, 2)};
    v.Journal = {JournalRecord(1, 1, 1, 0), JournalRecord(10, 32, 100, FloatBits(0.5f))};
    return v;
}

// Different in every part from SampleValve, to show what a read replaced.
ZQValve OtherValve() {
    ZQValve v;
    const uint8_t ident[4] = {9, 9, 0, 9};
    std::memcpy(v.Ident, ident, sizeof ident);
    v.Current.Serial = 777;
    v.Current.Date = DateOf(2020, 1, 1);
    v.Setup.NetAddress = 5;
    v.Setup.Date = DateOf(2020, 1, 2);
    v.HourArchive.assign(4, ArchiveRecord(20, 1, 1, 0, 0, 0, 0, 0));
    v.DayArchive.assign(5, ArchiveRecord(20, 1, 2, 0, 0, 0, 0, 0));
    v.MonthArchive.assign(6, ArchiveRecord(20, 1, 3, 0, 0, 0, 0, 0));
    v.Journal.assign(7, JournalRecord(0, 69, 0, 0));
    return v;
}

uint16_t Le16At(const QByteArray& data, int offset) {
    return static_cast<uint16_t>(static_cast<uint8_t>(data[offset]) |
                                 (static_cast<uint8_t>(data[offset + 1]) << 8));
}

void SetLe16At(QByteArray& data, int offset, uint16_t value) {
    data[offset] = static_cast<char>(value & 0xFF);
    data[offset + 1] = static_cast<char>(value >> 8);
}

QByteArray Bytes(std::initializer_list<uint8_t> bytes) {
    QByteArray out;
    for (uint8_t b : bytes) {
        out.append(static_cast<char>(b));
    }
    return out;
}

template <class Record>
QByteArray RecordBytes(const Record& record) {
    return QByteArray(reinterpret_cast<const char*>(record.Bytes()), sizeof(Record));
}

// Which callbacks ran, in order, each with the size of the list it was given.
struct SectionLog {
    std::vector<std::string> ran;

    ArchiveFileSections Callbacks() {
        ArchiveFileSections s;
        s.OnCurrentParams = [this](const CurrentParamsStruct&) { ran.push_back("current"); };
        s.OnSetupParams = [this](const SetupParamsStruct&) { ran.push_back("setup"); };
        s.OnArchive = [this](const std::vector<ArchiveStruct>& list, ArchiveKind kind) {
            const char* names[] = {"hour", "day", "month"};
            ran.push_back(std::string(kind >= akHour && kind <= akMonth ? names[kind] : "?") + ":" +
                          std::to_string(list.size()));
        };
        s.OnJournal = [this](const std::vector<JournalStruct>& list) {
            ran.push_back("journal:" + std::to_string(list.size()));
        };
        return s;
    }
};

using Log = std::vector<std::string>;

class ArchiveFile : public testing::Test {
protected:
    std::string PathOf(const char* name) const { return dir_.filePath(name).toStdString(); }

    void WriteRaw(const std::string& path, const QByteArray& data) {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(data), data.size());
    }

    QByteArray ReadRaw(const std::string& path) {
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        return file.readAll();
    }

    // Reads `data` as a file into `valve`; returns the message of the check
    // that failed, "" when the whole file was read.
    std::string ReadBytes(const QByteArray& data, ZQValve& valve, SectionLog& log) {
        const std::string path = PathOf("in.arch");
        WriteRaw(path, data);
        try {
            ReadArchiveFile(path, valve, log.Callbacks());
        } catch (const EOSError& e) {
            ADD_FAILURE() << "file-system failure instead of a check: " << e.what();
            return e.what();
        } catch (const Exception& e) {
            return e.what();
        }
        return "";
    }

    QTemporaryDir dir_;
    ScopedSeparators separators_{'/', ':'};
};

TEST_F(ArchiveFile, RoundTripRecordForRecord) {
    const ZQValve original = SampleValve();
    const std::string path = PathOf("valve.arch");
    WriteArchiveFile(path, original);

    ZQValve read = OtherValve();
    SectionLog log;
    ReadArchiveFile(path, read, log.Callbacks());
    EXPECT_EQ(read, original);
    EXPECT_EQ(log.ran, (Log{"current", "setup", "hour:3", "day:2", "month:1", "journal:2"}));

    // Without callbacks the result is the same.
    ZQValve again = OtherValve();
    ReadArchiveFile(path, again);
    EXPECT_EQ(again, original);
}

TEST_F(ArchiveFile, LayoutOfWrittenFile) {
    ZQValve valve = SampleValve();
    valve.Setup.ClearArchive = 1;
    const QByteArray data = EncodeArchiveFile(valve);
    ASSERT_EQ(data.size(), kArchiveFileEmptySize + 16 * 8);

    EXPECT_EQ(data.left(kArchiveFileHeaderSize),
              Bytes({'R', 'O', 'R', 'I', 0, 8,  0, 128, 0, 64, 0, 16, 0, 3,
                     0,   16,  0,   2,   0, 16, 0, 1,   0, 16, 0, 2,  0}));
    EXPECT_EQ(data.mid(kIdentAt, 8), Bytes({'R', 'O', 'R', 'I', 0x11, 0x22, 0x01, 0x44}));

    // Current block in the device's byte order: registers big-endian,
    // 32-bit values high-order register first; the rest zero.
    const QByteArray current = data.mid(kCurrentAt, kArchiveFileCurrentSize);
    EXPECT_EQ(current.left(12), Bytes({0, 26, 0, 12, 0, 8, 0, 14, 0, 5, 0, 9}));
    EXPECT_EQ(current.mid(12, 24), QByteArray(24, '\0')) << "ring registers 6..17";
    EXPECT_EQ(current.mid(36, 6), Bytes({0, 0x0C, 0, 9, 0x0F, 0xA0}));
    EXPECT_EQ(current.mid(42, 22), QByteArray(22, '\0')) << "registers 21..31";
    EXPECT_EQ(current.mid(64, 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(current.mid(84, 4), Bytes({0x3F, 0xC0, 0, 0})) << "G = 1.5";
    EXPECT_EQ(current.mid(96, 8), Bytes({0, 0, 0, 123, 0x3F, 0x40, 0, 0})) << "V+ = 123 + 0.75";
    EXPECT_EQ(current.mid(112), QByteArray(16, '\0'));

    const QByteArray setup = data.mid(kSetupAt, kArchiveFileSetupSize);
    EXPECT_EQ(setup.left(22), Bytes({0,  26, 0, 12, 0,   8,    0,    14, 0,   5, 0,
                                     10, 0,  1, 0,  254, 0x3F, 0xFF, 0,  100, 0, 1}));
    EXPECT_EQ(setup.mid(22), QByteArray(42, '\0'));

    // The records exactly as held, list by list.
    QByteArray records;
    for (const auto& r : valve.HourArchive)
        records += RecordBytes(r);
    for (const auto& r : valve.DayArchive)
        records += RecordBytes(r);
    for (const auto& r : valve.MonthArchive)
        records += RecordBytes(r);
    for (const auto& r : valve.Journal)
        records += RecordBytes(r);
    EXPECT_EQ(data.mid(kRecordsAt), records);

    const std::string path = PathOf("layout.arch");
    WriteArchiveFile(path, valve);
    EXPECT_EQ(ReadRaw(path), data);
}

TEST_F(ArchiveFile, EmptyListsGive227Bytes) {
    ZQValve empty = SampleValve();
    empty.HourArchive.clear();
    empty.DayArchive.clear();
    empty.MonthArchive.clear();
    empty.Journal.clear();
    const std::string path = PathOf("empty.arch");
    WriteArchiveFile(path, empty);
    EXPECT_EQ(QFile(QString::fromStdString(path)).size(), 227);

    ZQValve read = OtherValve();
    SectionLog log;
    ReadArchiveFile(path, read, log.Callbacks());
    EXPECT_EQ(read, empty);
    EXPECT_EQ(log.ran, (Log{"current", "setup", "hour:0", "day:0", "month:0", "journal:0"}));
}

TEST_F(ArchiveFile, BytesAfterLastJournalRecordIgnored) {
    const ZQValve original = SampleValve();
    ZQValve read;
    SectionLog log;
    EXPECT_EQ(ReadBytes(EncodeArchiveFile(original) + QByteArray(100, '\x5A'), read, log), "");
    EXPECT_EQ(read, original);
}

// A file cut at every offset fails with the message of the section it ends
// in; the sections before stay applied, the list being read keeps its whole
// records, and the page callback of an incomplete list does not run.
TEST_F(ArchiveFile, CutAtEveryOffset) {
    const ZQValve original = SampleValve();
    const QByteArray full = EncodeArchiveFile(original);
    const ZQValve before = OtherValve();

    struct Section {
        const char* name;
        int size;  // in records for lists, in bytes for blocks
        const char* message;
    };
    const int hourAt = kRecordsAt;
    const int dayAt = hourAt + 16 * 3;
    const int monthAt = dayAt + 16 * 2;
    const int journalAt = monthAt + 16 * 1;
    ASSERT_EQ(journalAt + 16 * 2, full.size());

    for (int cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ZQValve read = before;
        SectionLog log;
        const std::string message = ReadBytes(full.left(cut), read, log);

        // Complete records of the list [at, at + 16 * count) within the cut.
        auto whole = [cut](int at, int count) {
            return cut <= at ? 0 : std::min(count, (cut - at) / 16);
        };
        Log ran;
        if (cut >= kSetupAt)
            ran.push_back("current");
        if (cut >= kRecordsAt)
            ran.push_back("setup");
        if (cut >= dayAt)
            ran.push_back("hour:3");
        if (cut >= monthAt)
            ran.push_back("day:2");
        if (cut >= journalAt)
            ran.push_back("month:1");
        EXPECT_EQ(log.ran, ran);

        const char* expected = cut < kIdentAt ? "Ошибка при чтении заголовка"
                               : cut < kCurrentAt ? "Ошибка при чтении идентификационных данных"
                               : cut < kSetupAt ? "Ошибка при чтении текущих параметров"
                               : cut < kRecordsAt ? "Ошибка при чтении настроечных параметров"
                               : cut < journalAt ? "Ошибка при чтении архивных параметров"
                                                 : "Ошибка при чтении журнала";
        EXPECT_EQ(message, expected);

        EXPECT_EQ(std::memcmp(read.Ident, (cut >= kCurrentAt ? original : before).Ident, 4), 0);
        EXPECT_EQ(read.Current, (cut >= kSetupAt ? original : before).Current);
        EXPECT_EQ(read.Setup, (cut >= kRecordsAt ? original : before).Setup);
        if (cut < kRecordsAt) {
            EXPECT_EQ(read.HourArchive, before.HourArchive);
            EXPECT_EQ(read.DayArchive, before.DayArchive);
            EXPECT_EQ(read.MonthArchive, before.MonthArchive);
        } else {
            auto prefix = [](const std::vector<ArchiveStruct>& list, int n) {
                return std::vector<ArchiveStruct>(list.begin(), list.begin() + n);
            };
            EXPECT_EQ(read.HourArchive, prefix(original.HourArchive, whole(hourAt, 3)));
            EXPECT_EQ(read.DayArchive, prefix(original.DayArchive, whole(dayAt, 2)));
            EXPECT_EQ(read.MonthArchive, prefix(original.MonthArchive, whole(monthAt, 1)));
        }
        if (cut < journalAt) {
            EXPECT_EQ(read.Journal, before.Journal);
        } else {
            EXPECT_EQ(read.Journal,
                      std::vector<JournalStruct>(original.Journal.begin(),
                                                 original.Journal.begin() + whole(journalAt, 2)));
        }
    }
}

struct MagicCase {
    const char* name;
    int offset;
    const char* message;
};

void PrintTo(const MagicCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveFileMagic : public ArchiveFile, public testing::WithParamInterface<MagicCase> {};

// A wrong magic stops the reading before anything is applied.
TEST_P(ArchiveFileMagic, Refused) {
    const MagicCase& c = GetParam();
    QByteArray data = EncodeArchiveFile(SampleValve());
    data[c.offset] = 'X';
    const ZQValve before = OtherValve();
    ZQValve read = before;
    SectionLog log;
    EXPECT_EQ(ReadBytes(data, read, log), c.message);
    EXPECT_EQ(read, before);
    EXPECT_TRUE(log.ran.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Magic, ArchiveFileMagic,
    testing::Values(MagicCase{"HeaderFirstLetter", 0, "Неправильный формат файла"},
                    MagicCase{"HeaderLastLetter", 3, "Неправильный формат файла"},
                    MagicCase{"IdentFirstLetter", kIdentAt, "Неизвестный тип прибора"},
                    MagicCase{"IdentLastLetter", kIdentAt + 3, "Неизвестный тип прибора"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArchiveFile, ReservedByteNotExamined) {
    QByteArray data = EncodeArchiveFile(SampleValve());
    data[4] = '\x7F';
    ZQValve read;
    SectionLog log;
    EXPECT_EQ(ReadBytes(data, read, log), "");
    EXPECT_EQ(read, SampleValve());
}

// Block lengths: the header's length field changed and the block padded (or
// cut) to match, so only the length decides.
struct BlockLengthCase {
    const char* name;
    int field;            // offset of the length field in the header
    int blockAt;          // where the block starts
    int written;          // the length the writer used
    int length;           // the length in the changed file
    const char* message;  // "" when the file reads
    Log ran;
};

void PrintTo(const BlockLengthCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveFileBlockLength : public ArchiveFile,
                               public testing::WithParamInterface<BlockLengthCase> {};

TEST_P(ArchiveFileBlockLength, AcceptedOrRefused) {
    const BlockLengthCase& c = GetParam();
    const ZQValve original = SampleValve();
    QByteArray data = EncodeArchiveFile(original);
    SetLe16At(data, c.field, static_cast<uint16_t>(c.length));
    const int end = c.blockAt + c.written;
    if (c.length > c.written) {
        data.insert(end, QByteArray(c.length - c.written, '\xEE'));
    } else {
        data.remove(c.blockAt + c.length, c.written - c.length);
    }

    const ZQValve before = OtherValve();
    ZQValve read = before;
    SectionLog log;
    EXPECT_EQ(ReadBytes(data, read, log), c.message);
    EXPECT_EQ(log.ran, c.ran);
    if (*c.message == '\0') {
        EXPECT_EQ(read, original);
    }
}

const Log kAll{"current", "setup", "hour:3", "day:2", "month:1", "journal:2"};

INSTANTIATE_TEST_SUITE_P(
    Lengths, ArchiveFileBlockLength,
    testing::Values(BlockLengthCase{"Ident512", 5, kIdentAt, 8, 512, "", kAll},
                    BlockLengthCase{"Ident12", 5, kIdentAt, 8, 12, "", kAll},
                    BlockLengthCase{"Ident513", 5, kIdentAt, 8, 513, "Неизвестный тип прибора", {}},
                    BlockLengthCase{"Ident7", 5, kIdentAt, 8, 7, "Неизвестный тип прибора", {}},
                    BlockLengthCase{"Ident0", 5, kIdentAt, 8, 0, "Неизвестный тип прибора", {}},
                    BlockLengthCase{"Current512", 7, kCurrentAt, 128, 512, "", kAll},
                    BlockLengthCase{"Current112", 7, kCurrentAt, 128, 112, "", kAll},
                    BlockLengthCase{"Current513",
                                    7,
                                    kCurrentAt,
                                    128,
                                    513,
                                    "Неверная количество данных текущих параметров",
                                    {}},
                    BlockLengthCase{"Current65535",
                                    7,
                                    kCurrentAt,
                                    128,
                                    65535,
                                    "Неверная количество данных текущих параметров",
                                    {}},
                    BlockLengthCase{"Setup512", 9, kSetupAt, 64, 512, "", kAll},
                    BlockLengthCase{"Setup22", 9, kSetupAt, 64, 22, "", kAll},
                    BlockLengthCase{"Setup513",
                                    9,
                                    kSetupAt,
                                    64,
                                    513,
                                    "Неверная количество данных настроечных параметров",
                                    {"current"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A block too short for the registers that are decoded supplies zeros for
// the rest, never what an earlier block left in the reader's buffer.
TEST_F(ArchiveFile, ShortBlocksZeroFilled) {
    const ZQValve original = SampleValve();
    QByteArray data = EncodeArchiveFile(original);
    // Ring registers 7..10 of the current block are not decoded; fill them
    // so that a stale buffer would show in the setup record.
    for (int i = 14; i < 22; ++i) {
        data[kCurrentAt + i] = '\x5A';
    }
    // V- (registers 52..55) and the setup registers 7..10 are cut off.
    SetLe16At(data, 7, 104);
    data.remove(kCurrentAt + 104, 24);
    const int setupAt = kSetupAt - 24;
    SetLe16At(data, 9, 14);
    data.remove(setupAt + 14, 50);

    ZQValve read;
    SectionLog log;
    ASSERT_EQ(ReadBytes(data, read, log), "");
    EXPECT_EQ(read.Current.Vd, original.Current.Vd);
    EXPECT_EQ(read.Current.Vr, 0.0);
    EXPECT_EQ(read.Current.Serial, original.Current.Serial);
    EXPECT_EQ(read.Setup.Date, original.Setup.Date);
    EXPECT_EQ(read.Setup.NetAddress, 0);
    EXPECT_EQ(read.Setup.CalibrationCode, 0);
    EXPECT_EQ(read.Setup.TestCode, 0);
    EXPECT_EQ(read.Setup.TestMode, 0);
    EXPECT_EQ(read.HourArchive, original.HourArchive);
    EXPECT_EQ(read.Journal, original.Journal);
}

TEST_F(ArchiveFile, DeviceVersion) {
    const struct {
        uint8_t version;
        const char* message;
    } kVersions[] = {
        {0, ""}, {1, ""}, {2, "Неизвестная версия прибора"}, {255, "Неизвестная версия прибора"}};
    for (const auto& v : kVersions) {
        SCOPED_TRACE(v.version);
        ZQValve original = SampleValve();
        original.Ident[2] = v.version;
        const ZQValve before = OtherValve();
        ZQValve read = before;
        SectionLog log;
        EXPECT_EQ(ReadBytes(EncodeArchiveFile(original), read, log), v.message);
        // The identification is replaced before its version is examined.
        EXPECT_EQ(std::memcmp(read.Ident, original.Ident, 4), 0);
        if (*v.message != '\0') {
            EXPECT_TRUE(log.ran.empty());
            EXPECT_EQ(read.Current, before.Current);
            EXPECT_EQ(read.Journal, before.Journal);
        } else {
            EXPECT_EQ(read, original);
        }
    }
}

struct RecordLengthCase {
    const char* name;
    int field;
    uint16_t length;
    const char* message;
    Log ran;
};

void PrintTo(const RecordLengthCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveFileRecordLength : public ArchiveFile,
                                public testing::WithParamInterface<RecordLengthCase> {};

// Every list's record length is examined before its records are read as 16
// bytes: a wrong one would shift the lists after it.
TEST_P(ArchiveFileRecordLength, Refused) {
    const RecordLengthCase& c = GetParam();
    const ZQValve original = SampleValve();
    QByteArray data = EncodeArchiveFile(original);
    SetLe16At(data, c.field, c.length);
    const ZQValve before = OtherValve();
    ZQValve read = before;
    SectionLog log;
    EXPECT_EQ(ReadBytes(data, read, log), c.message);
    EXPECT_EQ(log.ran, c.ran);
    EXPECT_EQ(read.Current, original.Current);
    EXPECT_EQ(read.Setup, original.Setup);
    const std::string message = c.message;
    if (message == "Неверная длина архивных параметров") {
        EXPECT_TRUE(read.HourArchive.empty());
        EXPECT_TRUE(read.DayArchive.empty());
        EXPECT_TRUE(read.MonthArchive.empty());
        EXPECT_EQ(read.Journal, before.Journal);
    } else {
        EXPECT_EQ(read.HourArchive, original.HourArchive);
        EXPECT_EQ(read.MonthArchive, original.MonthArchive);
        EXPECT_TRUE(read.Journal.empty());
    }
}

const Log kThroughSetup{"current", "setup"};
const Log kThroughMonth{"current", "setup", "hour:3", "day:2", "month:1"};

INSTANTIATE_TEST_SUITE_P(
    Lengths, ArchiveFileRecordLength,
    testing::Values(
        RecordLengthCase{"Hour0", 11, 0, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Hour15", 11, 15, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Hour17", 11, 17, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Day0", 15, 0, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Day20", 15, 20, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Month8", 19, 8, "Неверная длина архивных параметров", kThroughSetup},
        RecordLengthCase{"Month65535", 19, 65535, "Неверная длина архивных параметров",
                         kThroughSetup},
        RecordLengthCase{"Journal15", 23, 15, "Неверная длина журнала", kThroughMonth},
        RecordLengthCase{"Journal32", 23, 32, "Неверная длина журнала", kThroughMonth}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArchiveFile, MissingFileReportsFileSystemError) {
    const std::string path = PathOf("no such.arch");
    QFile probe(QString::fromStdString(path));
    ASSERT_FALSE(probe.open(QIODevice::ReadOnly));
    ZQValve read = OtherValve();
    try {
        ReadArchiveFile(path, read);
        FAIL() << "a missing file was read";
    } catch (const EOSError& e) {
        EXPECT_EQ(std::string(e.what()), probe.errorString().toStdString());
    }
    EXPECT_EQ(read, OtherValve());
}

TEST_F(ArchiveFile, FolderInsteadOfFileReportsFileSystemError) {
    ZQValve read;
    EXPECT_THROW(ReadArchiveFile(dir_.path().toStdString(), read), EOSError);
}

TEST_F(ArchiveFile, MoreThan65535RecordsSavedAsFirst65535) {
    ZQValve big = SampleValve();
    big.HourArchive.clear();
    for (uint32_t i = 0; i < 65537; ++i) {
        big.HourArchive.push_back(ArchiveRecord(26, 1, 1, 0, 0, 0, i, 0));
    }
    big.Journal.assign(65536, JournalRecord(6, 17, 0, 0));
    big.Journal.back() = JournalRecord(6, 17, 1, 1);

    EXPECT_EQ(RecordsBeyondFile(big), (std::array<size_t, 4>{2, 0, 0, 1}));
    const QByteArray data = EncodeArchiveFile(big);
    EXPECT_EQ(Le16At(data, 13), 65535);
    EXPECT_EQ(Le16At(data, 25), 65535);
    EXPECT_EQ(data.size(), kArchiveFileEmptySize + 16 * (65535 + 2 + 1 + 65535));

    const std::string path = PathOf("big.arch");
    WriteArchiveFile(path, big);
    ZQValve read;
    ReadArchiveFile(path, read);
    ASSERT_EQ(read.HourArchive.size(), 65535u);
    EXPECT_TRUE(
        std::equal(read.HourArchive.begin(), read.HourArchive.end(), big.HourArchive.begin()));
    EXPECT_EQ(read.DayArchive, big.DayArchive);
    EXPECT_EQ(read.MonthArchive, big.MonthArchive);
    ASSERT_EQ(read.Journal.size(), 65535u);
    EXPECT_EQ(read.Journal.back(), big.Journal.front()) << "the 65536th record is left out";
}

TEST_F(ArchiveFile, SaveReplacesExistingFile) {
    const std::string path = PathOf("old.arch");
    WriteRaw(path, QByteArray(5000, 'o'));
    WriteArchiveFile(path, SampleValve());
    EXPECT_EQ(ReadRaw(path), EncodeArchiveFile(SampleValve()));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"old.arch"});
}

TEST_F(ArchiveFile, SaveIntoMissingFolderFails) {
    const std::string path = PathOf("missing/x.arch");
    EXPECT_THROW(WriteArchiveFile(path, SampleValve()), EOSError);
    EXPECT_FALSE(QDir(dir_.filePath("missing")).exists());
}

// Names the files of a folder with their contents.
std::map<QString, QByteArray> FolderContents(const QString& folder) {
    std::map<QString, QByteArray> contents;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::ReadOnly)) {
            contents[name] = file.readAll();
        }
    }
    return contents;
}

// While alive, file-system permission checks of this thread are those of an
// ordinary user: root, whom permissions do not bind, takes the file-system
// user ID of "nobody" (which drops its file-system capabilities as well).
class OrdinaryUserFileRights {
public:
    OrdinaryUserFileRights() {
        if (geteuid() == 0) {
            setfsuid(kNobody);
            changed_ = setfsuid(kNobody) == static_cast<int>(kNobody);
        }
    }
    ~OrdinaryUserFileRights() {
        if (changed_) {
            setfsuid(0);
        }
    }
    OrdinaryUserFileRights(const OrdinaryUserFileRights&) = delete;
    OrdinaryUserFileRights& operator=(const OrdinaryUserFileRights&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool changed_ = false;
};

TEST_F(ArchiveFile, SaveIntoReadOnlyFolderKeepsOldFile) {
    const QFile::Permissions open =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    const QFile::Permissions readOnly =
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    const QString folder = dir_.filePath("ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    const std::string path = (folder + "/old.arch").toStdString();
    WriteRaw(path, QByteArray("previous contents"));
    ASSERT_TRUE(QFile::setPermissions(dir_.path(), open));
    ASSERT_TRUE(QFile::setPermissions(folder, readOnly));
    const auto before = FolderContents(folder);
    {
        OrdinaryUserFileRights rights;
        QFile probe(folder + "/probe");
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            GTEST_SKIP() << "folder permissions do not bind this process";
        }
        EXPECT_THROW(WriteArchiveFile(path, SampleValve()), EOSError);
        EXPECT_THROW(WriteArchiveFile((folder + "/new.arch").toStdString(), SampleValve()),
                     EOSError);
    }
    EXPECT_EQ(FolderContents(folder), before);
    QFile::setPermissions(folder, open);
}

// A write that fails half-way (here: the file-size limit, as on a full disk)
// leaves the old file as it was and no temporary file behind. Permissions do
// not stop root; the size limit does.
TEST_F(ArchiveFile, SaveFailingMidwayKeepsOldFile) {
    const std::string path = PathOf("old.arch");
    const QByteArray old("previous contents");
    WriteRaw(path, old);
    ZQValve big = SampleValve();
    big.Journal.assign(1000, JournalRecord(6, 17, 0, 0));

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string error;
    try {
        WriteArchiveFile(path, big);
    } catch (const EOSError& e) {
        error = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    EXPECT_EQ(error, std::strerror(EFBIG)) << "the save did not report the system's failure";
    EXPECT_EQ(FolderContents(dir_.path()), (std::map<QString, QByteArray>{{"old.arch", old}}));
}

TEST(DefaultArchiveFileName, Examples) {
    TDateTime date = 0, time = 0;
    ASSERT_TRUE(TryEncodeDate(2027, 3, 9, date));
    ASSERT_TRUE(TryEncodeTime(8, 7, 6, 0, time));
    EXPECT_EQ(DefaultArchiveFileName("42", date + time), "0000_ZQ_42_270309_080706.arch");
    EXPECT_EQ(DefaultArchiveFileName("", date + time), "0000_ZQ__270309_080706.arch");

    ScopedSeparators separators('.', '.');
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, date));
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 0, time));
    EXPECT_EQ(DefaultArchiveFileName("000012345", date + time),
              "0000_ZQ_000012345_261208_140509.arch");
}

}  // namespace
