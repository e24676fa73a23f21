#pragma once

#include "SettingsDocument.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Key paths of the store, written with backslashes as in the registry.
inline constexpr const char* kProgramKey = "Software\\Halbrec\\ZURavorav";
inline constexpr const char* kChanelSetupKey = "Software\\Halbrec\\ZURavorav\\ChanelSetup";
inline constexpr const char* kReadSettingsKey = "Software\\Halbrec\\ZURavorav\\ReadSettings";
inline constexpr const char* kModemsKey = "Software\\Halbrec\\ZURavorav\\Modems";
inline constexpr const char* kFleetKey = "Software\\Halbrec\\ZURavorav\\Fleet";

// The store refuses files larger than this (bytes).
inline constexpr int64_t kSettingsFileMaxSize = 1024 * 1024;

// Told, with one line of text naming the file, each time the store reads a
// file that it cannot use (see SettingsStore). Nothing is attached by
// default; the command-line tool prints it.
using SettingsWarningEvent = std::function<void(const std::string& text)>;

// The typed per-user store: one human-readable file,
// $XDG_CONFIG_HOME/Halbrec/ZURavorav.reg (default ~/.config), in the format
// of SettingsDocument.
//
// The file is read once per run: every store object shares the text last
// read, and the file is read again only when its size, time stamps, inode or
// mode show that someone else changed it. Our own writes update the shared
// text.
//
// A file that cannot be used gives no values at all (every read falls back
// to its default) and is never written over; the warning event is told:
//   - it cannot be read (no permission, a folder or other non-file in its
//     place, a broken path);
//   - it is larger than kSettingsFileMaxSize;
//   - it is not UTF-8 text (a NUL byte, or a UTF-16/UTF-32 byte-order mark).
// A missing file is a fresh store. Writes keep every line they do not
// change and replace the file atomically (a temporary file, renamed), under
// a lock file beside it, so a failed write leaves the old file as it was.
// One thread at a time per object; objects on different threads are safe.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    static std::string FilePath();

    // False when the file exists but cannot be used (see above).
    bool IsAccessible() const;
    // Why it cannot be used, one line naming the file; empty when it can.
    std::string ProblemText() const;

    std::optional<int32_t> ReadInteger(const std::string& key, const std::string& name) const;
    std::optional<std::string> ReadString(const std::string& key, const std::string& name) const;
    // Day-count date value.
    std::optional<double> ReadDate(const std::string& key, const std::string& name) const;

    // Changes seen by this object's reads at once and written by Sync.
    void WriteInteger(const std::string& key, const std::string& name, int32_t value);
    void WriteString(const std::string& key, const std::string& name, const std::string& value);
    void WriteDate(const std::string& key, const std::string& name, double value);

    // Names of the keys directly below `key`, in the store's order (by name).
    std::vector<std::string> SubKeys(const std::string& key) const;
    void RemoveKey(const std::string& key);

    // Writes the pending changes onto the file as it is now. False when the
    // file cannot be used or written, or a change could not be stored (a key
    // or name the file cannot hold); nothing is written then. True without
    // writing when nothing changed.
    bool Sync();

    static void SetWarningEvent(SettingsWarningEvent event);
    // How many times this process has read a store file (for the tests and
    // the benchmarks: a run reads its file once).
    static int FileReads();

    struct FileState;

private:
    struct Change {
        enum Kind { SetValue, Remove } kind;
        std::string key;
        std::string name;
        SettingsValue value;
    };
    void Apply(const Change& change);
    const SettingsDocument& Document() const;

    std::string path_;
    std::shared_ptr<const FileState> state_;
    std::optional<SettingsDocument> edited_;  // the file's text with the pending changes
    std::vector<Change> pending_;
    bool refusedChange_ = false;
};
