#pragma once

#include "ChanelSetupStruct.h"
#include "ReadSettingsStruct.h"

#include <optional>
#include <string>

// The per-user settings store. Values live in one typed, human-readable text
// file, $XDG_CONFIG_HOME/Halbrec/ZURavorav.reg (default ~/.config/...), under
// the key paths Software\Halbrec\ZURavorav, ...\ChanelSetup and
// ...\ReadSettings. Every missing, mistyped or unreadable value silently
// takes its default, value by value. GUI thread (or any single thread).

// Always true: a store file that cannot be used (SettingsStore) reads as an
// empty store, so every field takes its default (and the connection options
// of the run on top); the store's warning event names the file.
bool LoadChanelSetup(ChanelSetupStruct& record);
// False when the store cannot be written; a store file that cannot be used
// is never written over.
bool SaveChanelSetup(const ChanelSetupStruct& record);
bool LoadReadSettings(ReadSettingsStruct& record);
bool SaveReadSettings(const ReadSettingsStruct& record);

// The fleet's history database the window's "Приборы" uses when
// ZQ_FLEET_DB is not set (key ...\Fleet, value "Database"): an SQLite file's
// path or a postgresql:// URI, never with a password (the caller refuses
// one); empty for the default SQLite file.
std::string LoadFleetDatabase();
bool SaveFleetDatabase(const std::string& target);

// Integer value of the program key; `defaultValue` when missing or not an
// integer. Used for "EnableCalibration" (default 0).
int ReadIntegerSetting(const std::string& name, int defaultValue);

// Connection options given for one run (the command-line tool's --port,
// --address ...): LoadChanelSetup applies every set field on top of what the
// store holds. Never written to the store.
struct ChanelSetupOverlay {
    std::optional<int32_t> CurrentChanel;
    std::optional<int32_t> NetAddress;
    std::optional<std::string> ComPortName;
    std::optional<std::string> ModemName;
    std::optional<std::string> PhoneNumber;
    std::optional<int32_t> MonitoringInterval;
    std::optional<std::string> NetworkAddress;
    std::optional<int32_t> NetworkMode;
    std::optional<std::string> AllowedPeers;
};
void SetChanelSetupOverlay(const ChanelSetupOverlay& overlay);
void ClearChanelSetupOverlay();
