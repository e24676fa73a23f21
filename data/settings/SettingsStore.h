#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSettings;

// Key paths of the store, written with backslashes as in the registry.
inline constexpr const char* kProgramKey = "Software\\Halbrec\\ZURavorav";
inline constexpr const char* kChanelSetupKey = "Software\\Halbrec\\ZURavorav\\ChanelSetup";
inline constexpr const char* kReadSettingsKey = "Software\\Halbrec\\ZURavorav\\ReadSettings";
inline constexpr const char* kModemsKey = "Software\\Halbrec\\ZURavorav\\Modems";

// The typed per-user store: one human-readable file,
// $XDG_CONFIG_HOME/Halbrec/ZURavorav.reg (default ~/.config), that keeps
// integer, string and date values apart:
//
//   [Software\Halbrec\ZURavorav\ChanelSetup]
//   "ComPortName"="COM1"
//   "CurrentChanel"=int:0
//   "StartInterval"=date:40909
//
// A line that cannot be parsed counts as a missing value. Writes replace the
// file atomically. A read of a value with another type than asked for gives
// nothing, as a missing value does. Not thread-safe; one thread at a time.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    static std::string FilePath();

    // False when the file exists but cannot be read.
    bool IsAccessible() const;

    std::optional<int32_t> ReadInteger(const std::string& key, const std::string& name) const;
    std::optional<std::string> ReadString(const std::string& key, const std::string& name) const;
    // Day-count date value.
    std::optional<double> ReadDate(const std::string& key, const std::string& name) const;

    void WriteInteger(const std::string& key, const std::string& name, int32_t value);
    void WriteString(const std::string& key, const std::string& name, const std::string& value);
    void WriteDate(const std::string& key, const std::string& name, double value);

    // Names of the keys directly below `key`, in the store's order (by name).
    std::vector<std::string> SubKeys(const std::string& key) const;
    void RemoveKey(const std::string& key);

    // Writes pending changes; false when the file cannot be written.
    bool Sync();

private:
    std::unique_ptr<QSettings> FSettings;
};
