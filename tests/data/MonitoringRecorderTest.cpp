// The recording of monitoring: the lines as the page shows the values, the
// file appended to and never rewritten, a failed write that leaves whole
// lines only, and paths that are no regular file refused.
#include "Exception.h"
#include "MonitoringRecorder.h"
#include "ParamsTexts.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace {

ZQ_PRINT_CASES_BY_NAME

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) {
        fields.push_back(field);
    }
    return fields;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TDateTime At(int hour, int minute, int second) {
    TDateTime date = 0, time = 0;
    TryEncodeDate(2026, 3, 9, date);
    TryEncodeTime(hour, minute, second, 0, time);
    return date + time;
}

CurrentParamsStruct Params(float g, double vd, uint8_t flags) {
    CurrentParamsStruct p;
    p.G = g;
    p.Vd = vd;
    p.Vr = 4.391;
    p.Twork = 1041411;
    p.Ton = 61;
    p.NSFlags = flags;
    p.CurrentCode = 12088;
    return p;
}

// Each line against the page's own texts of the same record (the tests run
// in the C locale, where printf writes a point too).
struct LineCase {
    const char* name;
    CurrentParamsStruct params;
    // For a value that is not finite, the text its field must hold (the
    // page has no text of its own to compare with).
    const char* gText = nullptr;
    const char* vdText = nullptr;
};

class CsvLine : public testing::TestWithParam<LineCase> {};

TEST_P(CsvLine, HoldsThePageTexts) {
    const CurrentParamsStruct& p = GetParam().params;
    const std::string line = MonitoringCsvLine(At(14, 5, 9), p);
    ASSERT_EQ(line.back(), '\n');
    const std::vector<std::string> f = Fields(line.substr(0, line.size() - 1));
    ASSERT_EQ(f.size(), static_cast<size_t>(kMonitoringColumnCount));
    const CurrentParamsTexts page = FormatCurrentParams(p);
    EXPECT_EQ(f[0], "2026-03-09 14:05:09");
    EXPECT_EQ(f[1], GetParam().gText ? GetParam().gText : page.G);
    EXPECT_EQ(f[2], page.Twork);
    EXPECT_EQ(f[3], page.Ton);
    EXPECT_EQ(f[4], GetParam().vdText ? GetParam().vdText : page.Vd);
    EXPECT_EQ(f[5], page.Vr);
    for (int bit = 0; bit < 4; ++bit) {
        EXPECT_EQ(f[6 + bit], (p.NSFlags >> bit) & 1 ? "1" : "0") << "flag " << bit;
    }
    EXPECT_EQ(f[10], page.CurrentValue);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CsvLine,
    testing::Values(LineCase{"Typical", Params(58.1393f, 744921.439, 0x05)},
                    LineCase{"ReverseFlow", Params(-1.5f, 0, 0x02)},
                    LineCase{"WideVolume", Params(0.00004f, 12345678901.25, 0x0F)},
                    LineCase{"HighFlagBitsIgnored", Params(1e6f, 0.0005, 0xF8)},
                    LineCase{"FlowNotANumber",
                             Params(std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(), 0),
                             "nan", "inf"}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(MonitoringCsv, NotANumberIsOneWord) {
    // printf pads "nan" with spaces to the width; a CSV field holds no spaces.
    EXPECT_EQ(FixedPointText(std::nan(""), 5, 4), "nan");
    EXPECT_EQ(FixedPointText(-std::numeric_limits<double>::infinity(), 13, 3), "-inf");
    EXPECT_EQ(FixedPointText(-1.5, 13, 3), "-00000001.500");
}

// What the file held before the recording, and what it must start with
// after it.
struct FileCase {
    const char* name;
    bool exists;
    std::string before;
    std::string keptPrefix;  // the old bytes as they must stay, header included
};

class MonitoringRecording : public testing::TestWithParam<FileCase> {};

TEST_P(MonitoringRecording, AppendsWholeLinesToWhatTheFileHeld) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("run.csv").toStdString();
    const FileCase& c = GetParam();
    if (c.exists) {
        WriteAll(path, c.before);
    }
    {
        MonitoringRecorder recorder;
        recorder.Open(path);
        recorder.Append(At(10, 0, 0), Params(1, 100, 0));
        recorder.Append(At(10, 0, 2), Params(2, 100.5, 1));
    }
    {
        MonitoringRecorder again;  // a second run goes on in the same file
        again.Open(path);
        again.Append(At(10, 5, 0), Params(3, 101, 0));
    }
    const std::string expected = c.keptPrefix + MonitoringCsvLine(At(10, 0, 0), Params(1, 100, 0)) +
                                 MonitoringCsvLine(At(10, 0, 2), Params(2, 100.5, 1)) +
                                 MonitoringCsvLine(At(10, 5, 0), Params(3, 101, 0));
    EXPECT_EQ(ReadAll(path), expected);
}

// The columns as the page labels its fields.
const std::string kHeader =
    "Время,G,Tраб,Твкл,V+,V-,1.Неисправность,2.g < 0,3.g < g_пор,4.g > g_макс,Значение тока\n";
const std::string kOldLine =
    "2026-03-08 09:00:00,1.0000,00:01,00:01,000000001.000,"
    "000000000.000,0,0,0,0,4.000\n";
const std::string kOld = kHeader + kOldLine;
const std::string kCut = kHeader + kOldLine + "2026-03-08 09:00:02,1.00";

INSTANTIATE_TEST_SUITE_P(
    Files, MonitoringRecording,
    testing::Values(FileCase{"New", false, "", kHeader}, FileCase{"Empty", true, "", kHeader},
                    FileCase{"EarlierRecording", true, kOld, kOld},
                    // A run cut by a kill: the cut line is ended, never joined.
                    FileCase{"UnfinishedLastLine", true, kCut, kCut + "\n"}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// A file-size limit stands for a full disk: the line that meets it is taken
// off again, the recorder stops and says why, the earlier lines stay.
TEST(MonitoringRecording, AFailedWriteStopsTheRecordingAndKeepsWholeLines) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("full.csv").toStdString();
    MonitoringRecorder recorder;
    recorder.Open(path);
    recorder.Append(At(10, 0, 0), Params(1, 100, 0));
    const std::string before = ReadAll(path);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string text;
    try {
        recorder.Append(At(10, 0, 2), Params(2, 101, 0));
    } catch (const Exception& e) {
        text = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(text.rfind(std::string(kRecordStoppedText) + ": " + path + ": ", 0), 0u) << text;
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_THROW(recorder.Append(At(10, 0, 4), Params(3, 102, 0)), Exception);
    EXPECT_EQ(ReadAll(path), before);

    const std::string missing = dir.filePath("gone/run.csv").toStdString();
    try {
        recorder.Open(missing);
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const Exception& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind(std::string(kRecordOpenFailedText) + ": " + missing, 0), 0u)
            << e.what();
    }
}

// A pipe would stall the recording (an open for writing waits for a
// reader), a device or a folder takes no CSV file: each is refused at once
// with what it is, and nothing is written to it.
struct NotAFileCase {
    const char* name;
    const char* kind;
};

class RecordPathRefused : public testing::TestWithParam<NotAFileCase> {};

TEST_P(RecordPathRefused, WithWhatItIs) {
    QTemporaryDir dir;
    const std::string name = GetParam().name;
    std::string path = dir.filePath("folder").toStdString();
    if (name == "Folder") {
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    } else if (name == "NamedPipe") {
        path = dir.filePath("pipe.csv").toStdString();
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else {
        path = "/dev/null";
    }
    const std::string expected =
        std::string(kRecordNotAFileText) + ": " + path + " — " + GetParam().kind;
    EXPECT_EQ(RecordPathProblem(path), expected);
    MonitoringRecorder recorder;
    try {
        recorder.Open(path);
        ADD_FAILURE() << "opened " << path;
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), expected);
    }
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_EQ(RecordPathProblem(dir.filePath("new.csv").toStdString()), "");
}

INSTANTIATE_TEST_SUITE_P(Paths, RecordPathRefused,
                         testing::Values(NotAFileCase{"Folder", "это папка"},
                                         NotAFileCase{"NamedPipe", "это именованный канал"},
                                         NotAFileCase{"Device", "это устройство"}),
                         [](const testing::TestParamInfo<NotAFileCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
