#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

// What stat says of the file; the store reads the file again when it changes.
struct Signature {
    int error = 0;  // errno of a failed stat, else 0
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    mode_t mode = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const Signature& o) const {
        return error == o.error && dev == o.dev && ino == o.ino && size == o.size &&
               mode == o.mode && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

Signature StatFile(const std::string& path) {
    Signature s;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        s.error = errno;
        return s;
    }
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mode = st.st_mode;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
}

// Waiting for another program's write to the store, in ms.
constexpr int kLockWaitMs = 5000;

std::atomic<int> gFileReads{0};

std::mutex& WarningMutex() {
    static std::mutex m;
    return m;
}

SettingsWarningEvent& WarningEvent() {
    static SettingsWarningEvent event;
    return event;
}

void Warn(const std::string& text) {
    SettingsWarningEvent event;
    {
        std::lock_guard<std::mutex> lock(WarningMutex());
        event = WarningEvent();
    }
    if (event) {
        event(text);
    }
}

// A store file holds UTF-8 text: a NUL byte never occurs in it, and a UTF-16
// or UTF-32 byte-order mark (FF FE, FE FF, 00 00 FE FF) marks another encoding.
bool IsUtf8Text(const std::string& bytes) {
    if (bytes.size() >= 2 &&
        ((static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) ||
         (static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF))) {
        return false;
    }
    return bytes.find('\0') == std::string::npos;
}

}  // namespace

struct SettingsStore::FileState {
    enum Status { Missing, Usable, Unusable };
    Status status = Missing;
    std::string problem;  // Unusable: the warning text
    Signature signature;
    SettingsDocument document;  // empty unless Usable
};

namespace {

using FileState = SettingsStore::FileState;

std::string Problem(const std::string& path, const std::string& reason) {
    return "settings store " + path + " " + reason +
           "; using the defaults, the file is left as it is";
}

// Reads the file at `path`, which stat described as `signature`. Reads at
// most one byte more than the limit, whatever the file has grown to since.
std::shared_ptr<FileState> ReadFileState(const std::string& path, const Signature& signature) {
    auto state = std::make_shared<FileState>();
    state->signature = signature;
    if (signature.error == ENOENT) {
        return state;
    }
    ++gFileReads;
    state->status = FileState::Unusable;
    if (signature.error != 0) {
        state->problem =
            Problem(path, std::string("cannot be read (") + std::strerror(signature.error) + ")");
        return state;
    }
    if (S_ISDIR(signature.mode)) {
        state->problem = Problem(path, "is a folder");
        return state;
    }
    // A FIFO or a device could block the read or never end.
    if (!S_ISREG(signature.mode)) {
        state->problem = Problem(path, "is not a regular file");
        return state;
    }
    const std::string tooLarge = Problem(path, "is larger than 1 MB");
    if (signature.size > kSettingsFileMaxSize) {
        state->problem = tooLarge;
        return state;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        state->problem =
            Problem(path, std::string("cannot be read (") + std::strerror(errno) + ")");
        return state;
    }
    std::string bytes(static_cast<size_t>(kSettingsFileMaxSize) + 1, '\0');
    size_t got = 0;
    int readError = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            readError = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(got);
    if (readError != 0) {
        state->problem =
            Problem(path, std::string("cannot be read (") + std::strerror(readError) + ")");
    } else if (got > static_cast<size_t>(kSettingsFileMaxSize)) {
        state->problem = tooLarge;
    } else if (!IsUtf8Text(bytes)) {
        state->problem = Problem(path, "is not UTF-8 text");
    } else {
        state->status = FileState::Usable;
        state->document = SettingsDocument::Parse(bytes);
    }
    return state;
}

// The file states of this process, by path: each file is read again only
// when stat shows it changed.
std::mutex& CacheMutex() {
    static std::mutex m;
    return m;
}

std::unordered_map<std::string, std::shared_ptr<const FileState>>& Cache() {
    static std::unordered_map<std::string, std::shared_ptr<const FileState>> cache;
    return cache;
}

std::shared_ptr<const FileState> CurrentState(const std::string& path) {
    std::shared_ptr<const FileState> state;
    bool fresh = false;
    {
        std::lock_guard<std::mutex> lock(CacheMutex());
        const Signature signature = StatFile(path);
        auto& cached = Cache()[path];
        if (!cached || !(cached->signature == signature)) {
            cached = ReadFileState(path, signature);
            fresh = true;
        }
        state = cached;
    }
    if (fresh && state->status == FileState::Unusable) {
        Warn(state->problem);
    }
    return state;
}

void RememberWritten(const std::string& path, SettingsDocument document) {
    auto state = std::make_shared<FileState>();
    state->status = FileState::Usable;
    state->document = std::move(document);
    std::lock_guard<std::mutex> lock(CacheMutex());
    state->signature = StatFile(path);
    Cache()[path] = std::move(state);
}

}  // namespace

std::string SettingsStore::FilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return (base + QStringLiteral("/Halbrec/ZURavorav.reg")).toStdString();
}

SettingsStore::SettingsStore() : path_(FilePath()), state_(CurrentState(path_)) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::IsAccessible() const {
    return state_->status != FileState::Unusable;
}

std::string SettingsStore::ProblemText() const {
    return state_->problem;
}

const SettingsDocument& SettingsStore::Document() const {
    return edited_ ? *edited_ : state_->document;
}

std::optional<int32_t> SettingsStore::ReadInteger(const std::string& key,
                                                  const std::string& name) const {
    const SettingsValue* v = Document().Find(key, name);
    if (v == nullptr || !std::holds_alternative<int32_t>(*v)) {
        return std::nullopt;
    }
    return std::get<int32_t>(*v);
}

std::optional<std::string> SettingsStore::ReadString(const std::string& key,
                                                     const std::string& name) const {
    const SettingsValue* v = Document().Find(key, name);
    if (v == nullptr || !std::holds_alternative<std::string>(*v)) {
        return std::nullopt;
    }
    return std::get<std::string>(*v);
}

std::optional<double> SettingsStore::ReadDate(const std::string& key,
                                              const std::string& name) const {
    const SettingsValue* v = Document().Find(key, name);
    if (v == nullptr || !std::holds_alternative<double>(*v)) {
        return std::nullopt;
    }
    return std::get<double>(*v);
}

void SettingsStore::Apply(const Change& change) {
    if (!edited_) {
        edited_ = state_->document;
    }
    if (change.kind == Change::Remove) {
        edited_->RemoveKey(change.key);
    } else if (!edited_->Set(change.key, change.name, change.value)) {
        refusedChange_ = true;
        return;
    }
    pending_.push_back(change);
}

void SettingsStore::WriteInteger(const std::string& key, const std::string& name, int32_t value) {
    Apply({Change::SetValue, key, name, value});
}

void SettingsStore::WriteString(const std::string& key, const std::string& name,
                                const std::string& value) {
    Apply({Change::SetValue, key, name, value});
}

void SettingsStore::WriteDate(const std::string& key, const std::string& name, double value) {
    Apply({Change::SetValue, key, name, value});
}

std::vector<std::string> SettingsStore::SubKeys(const std::string& key) const {
    return Document().SubKeys(key);
}

void SettingsStore::RemoveKey(const std::string& key) {
    Apply({Change::Remove, key, {}, {}});
}

bool SettingsStore::Sync() {
    if (refusedChange_) {
        return false;
    }
    if (pending_.empty()) {
        return true;
    }
    const QString path = QString::fromStdString(path_);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    // Another program may be writing the store: the changes go onto the
    // file as it is once that write is done.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        return false;
    }
    const std::shared_ptr<const FileState> current = CurrentState(path_);
    if (current->status == FileState::Unusable) {
        state_ = current;
        return false;
    }
    SettingsDocument document = current->document;
    for (const Change& change : pending_) {
        if (change.kind == Change::Remove) {
            document.RemoveKey(change.key);
        } else {
            document.Set(change.key, change.name, change.value);
        }
    }
    const std::string text = document.Text();
    const bool changed =
        current->status == FileState::Missing ? !text.empty() : text != current->document.Text();
    if (changed) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), static_cast<qint64>(text.size())) !=
                static_cast<qint64>(text.size()) ||
            !file.commit()) {
            return false;
        }
        RememberWritten(path_, document);
        state_ = CurrentState(path_);
    } else {
        state_ = current;
    }
    pending_.clear();
    edited_.reset();
    return true;
}

void SettingsStore::SetWarningEvent(SettingsWarningEvent event) {
    std::lock_guard<std::mutex> lock(WarningMutex());
    WarningEvent() = std::move(event);
}

int SettingsStore::FileReads() {
    return gFileReads;
}
