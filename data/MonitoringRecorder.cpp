#include "MonitoringRecorder.h"

#include "Exception.h"
#include "ParamsTexts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

std::string FixedPointText(double value, int width, int precision) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    }
    // The longest finite double in fixed notation: 309 digits, a sign, a
    // point and the fraction.
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    std::string text(buffer, r.ec == std::errc() ? r.ptr : buffer);
    const size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() >= static_cast<size_t>(width)) {
        return text;
    }
    std::string padded(text, 0, sign);
    padded.append(static_cast<size_t>(width) - text.size(), '0');
    padded.append(text, sign);
    return padded;
}

std::string MonitoringCsvHeader() {
    std::string line;
    for (int i = 0; i < kMonitoringColumnCount; ++i) {
        line += i ? "," : "";
        line += kMonitoringColumns[i];
    }
    return line + "\n";
}

std::string MonitoringCsvLine(TDateTime localTime, const CurrentParamsStruct& p) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(localTime, year, month, day);
    DecodeTime(localTime, hour, minute, second, ms);
    char time[64];
    std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    // The page's formats: G "%05.4f", volumes "%013.3f", times "hh:mm" of
    // minutes, the current "%.3f" of its code x 0.001 mA.
    std::string line = time;
    for (const std::string& field :
         {FixedPointText(static_cast<double>(p.G), 5, 4), FormatMinutes(p.Twork),
          FormatMinutes(p.Ton), FixedPointText(p.Vd, 13, 3), FixedPointText(p.Vr, 13, 3)}) {
        line += ',';
        line += field;
    }
    for (int bit = 0; bit < 4; ++bit) {
        line += (p.NSFlags >> bit) & 1 ? ",1" : ",0";
    }
    line += ',';
    line += FixedPointText(p.CurrentCode * 0.001, 0, 3);
    return line + "\n";
}

MonitoringRecorder::~MonitoringRecorder() {
    Close();
}

void MonitoringRecorder::Close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void MonitoringRecorder::Fail(const char* what, int error) {
    Close();
    throw Exception(std::string(what) + ": " + path + ": " + std::strerror(error), path);
}

namespace {

// What a file of `mode` is, for the refusal; null for a regular file.
const char* NotAFileKind(mode_t mode) {
    if (S_ISREG(mode)) {
        return nullptr;
    }
    return S_ISDIR(mode)                    ? "это папка"
           : S_ISFIFO(mode)                 ? "это именованный канал"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "это устройство"
           : S_ISSOCK(mode)                 ? "это сокет"
                                            : "это не обычный файл";
}

std::string NotAFileText(const std::string& path, const char* kind) {
    return std::string(kRecordNotAFileText) + ": " + path + " — " + kind;
}

}  // namespace

std::string RecordPathProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    const char* kind = NotAFileKind(st.st_mode);
    return kind ? NotAFileText(path, kind) : std::string();
}

void MonitoringRecorder::Open(const std::string& filePath) {
    Close();
    path = filePath;
    const std::string problem = RecordPathProblem(path);
    if (!problem.empty()) {
        throw Exception(problem, path);
    }
    // Read access only to look at the last byte; a file we may only write
    // to is appended to without that look. O_NONBLOCK: a pipe put in the
    // file's place since the look above must not hang the open; it is
    // refused below like the rest.
    constexpr int kFlags = O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    bool created = false;
    fd = ::open(path.c_str(), O_RDWR | kFlags);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_WRONLY | kFlags);
    }
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666);
        created = fd >= 0;
    }
    if (fd < 0) {
        Fail(kRecordOpenFailedText, errno);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        Fail(kRecordOpenFailedText, errno);
    }
    if (const char* kind = NotAFileKind(st.st_mode)) {
        Close();
        throw Exception(NotAFileText(path, kind), path);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (created) {
        // The new file's name survives a power cut only once its folder is
        // on the disk too.
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            ::close(dir);
        }
    }
    Start();
}

void MonitoringRecorder::OpenStandardOutput() {
    Close();
    path = kStandardOutputName;
    fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        Fail(kRecordOpenFailedText, errno);
    }
    Start();
}

void MonitoringRecorder::Start() {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        Fail(kRecordOpenFailedText, errno);
    }
    std::string start;
    char last = '\n';
    if (S_ISREG(st.st_mode) && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n') {
        start.push_back('\n');
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        start = MonitoringCsvHeader();
    }
    size_t written = 0;
    if (!start.empty() && !WriteWhole(start, written)) {
        Fail(kRecordOpenFailedText, errno);
    }
}

bool MonitoringRecorder::WriteWhole(const std::string& text, size_t& written) {
    written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<size_t>(n);
    }
    // A pipe or a terminal has nothing to flush (EINVAL).
    return fdatasync(fd) == 0 || errno == EINVAL;
}

void MonitoringRecorder::Append(TDateTime localTime, const CurrentParamsStruct& params) {
    AppendLine(MonitoringCsvLine(localTime, params));
}

void MonitoringRecorder::AppendLine(const std::string& line) {
    if (fd < 0) {
        throw Exception(std::string(kRecordStoppedText) + ": " + path, path);
    }
    struct stat before {};
    const bool sized = fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    size_t written = 0;
    if (!WriteWhole(line, written)) {
        const int error = errno;
        // A line cut short by a full disk or a size limit is taken off, so
        // the file keeps whole lines only.
        if (sized && written > 0 && written < line.size()) {
            [[maybe_unused]] const int ignored = ftruncate(fd, before.st_size);
        }
        Fail(kRecordStoppedText, error);
    }
}
