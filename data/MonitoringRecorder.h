#pragma once

#include "CurrentParamsStruct.h"
#include "DateTime.h"

#include <string>

// The recording of a monitoring run: one CSV line per cycle, appended to a
// file that is never truncated or rewritten, so that the window and zqcli
// leave the same evidence of what the device said.
//
// A line: the PC's local time "yyyy-mm-dd hh:mm:ss", then G, Tраб, Твкл, V+,
// V-, the four flags (0 or 1) and the current output, each as the
// current-parameters page shows it but always with '.' as the decimal point;
// comma-separated, UTF-8, ended by "\n". No field holds a comma or a quote.

// Names of the columns, as the page labels its fields.
inline constexpr int kMonitoringColumnCount = 11;
inline constexpr const char* kMonitoringColumns[kMonitoringColumnCount] = {
    "Время",           "G",       "Tраб",        "Твкл",         "V+",           "V-",
    "1.Неисправность", "2.g < 0", "3.g < g_пор", "4.g > g_макс", "Значение тока"};

// The header line, "\n" included.
std::string MonitoringCsvHeader();
// The line of one cycle read at `localTime`, "\n" included.
std::string MonitoringCsvLine(TDateTime localTime, const CurrentParamsStruct& params);

// printf's "%0<width>.<precision>f" of `value` with '.' as the decimal point
// whatever the locale; "nan", "inf" or "-inf" (not padded) for the values
// that are not finite.
std::string FixedPointText(double value, int width, int precision);

// Why `path` cannot take a recording: it names a folder, a named pipe, a
// device or a socket (a read of those would block or go elsewhere than a
// file). Empty when it is a regular file, a link to one, or missing (then it
// is created); other failures are left to Open.
std::string RecordPathProblem(const std::string& path);

// Appends the lines of one recording to its file. Each line goes out in one
// write() and is flushed to the disk (fdatasync) before Append returns, so a
// crash, a kill or a power cut costs at most the line being written; on a
// slow disk that is as slow as the disk (MonitoringRecorderQueue keeps it
// off the window's thread). Failures raise Exception with a text for the
// user that names the file and the system's reason. One thread at a time.
class MonitoringRecorder {
public:
    MonitoringRecorder() = default;
    ~MonitoringRecorder();
    MonitoringRecorder(const MonitoringRecorder&) = delete;
    MonitoringRecorder& operator=(const MonitoringRecorder&) = delete;

    // Opens `path` for appending, creating it when missing. A new or empty
    // file gets the header line first; a file whose last line is unfinished
    // (a recording cut by a crash) gets a line end first, so that the next
    // line stands on its own. What the file held stays as it was. A recorder
    // already open is closed first. A path that is not a regular file is
    // refused (RecordPathProblem's text).
    void Open(const std::string& path);
    // The same on a duplicate of standard output, which may be a pipe or a
    // terminal: the header first, unless it is a regular file that holds
    // lines already (">>"). Messages name it "стандартный вывод".
    void OpenStandardOutput();
    void Close();
    bool IsOpen() const { return fd >= 0; }
    // The file as its messages name it.
    const std::string& Path() const { return path; }

    // Appends the line of one cycle. On a failure the file is closed (the
    // bytes of a line cut short are taken off the file's end again when they
    // can be) and Exception is raised; later calls raise it again.
    void Append(TDateTime localTime, const CurrentParamsStruct& params);
    // The same for a line made already (MonitoringCsvLine, "\n" included).
    void AppendLine(const std::string& line);

private:
    // One write of `text` (repeated only for what a short write left) and
    // the flush. On failure: errno of the failed call, and `written` bytes
    // of `text` that reached the file.
    bool WriteWhole(const std::string& text, size_t& written);
    [[noreturn]] void Fail(const char* what, int error);
    // The header or the line end that an opened file needs first.
    void Start();

    int fd = -1;
    std::string path;
};

// Texts of the failures, completed with the file and the system's reason.
inline constexpr const char* kRecordOpenFailedText = "Не удалось открыть файл записи мониторинга";
inline constexpr const char* kRecordStoppedText = "Запись мониторинга остановлена";
// "<this>: <path> — <what it is>".
inline constexpr const char* kRecordNotAFileText =
    "Запись мониторинга возможна только в обычный файл";
inline constexpr const char* kStandardOutputName = "стандартный вывод";
