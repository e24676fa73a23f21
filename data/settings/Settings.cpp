#include "Settings.h"

#include "SettingsStore.h"

namespace {

ChanelSetupOverlay& Overlay() {
    static ChanelSetupOverlay overlay;
    return overlay;
}

void ApplyOverlay(ChanelSetupStruct& record) {
    const ChanelSetupOverlay& o = Overlay();
    if (o.CurrentChanel)
        record.CurrentChanel = *o.CurrentChanel;
    if (o.NetAddress)
        record.NetAddress = *o.NetAddress;
    if (o.ComPortName)
        record.ComPortName = *o.ComPortName;
    if (o.ModemName)
        record.ModemName = *o.ModemName;
    if (o.PhoneNumber)
        record.PhoneNumber = *o.PhoneNumber;
    if (o.MonitoringInterval)
        record.MonitoringInterval = *o.MonitoringInterval;
    if (o.NetworkAddress)
        record.NetworkAddress = *o.NetworkAddress;
    if (o.NetworkMode)
        record.NetworkMode = *o.NetworkMode;
    if (o.AllowedPeers)
        record.AllowedPeers = *o.AllowedPeers;
}

bool ReadFlag(const SettingsStore& store, const char* name, bool defaultValue) {
    const auto v = store.ReadInteger(kReadSettingsKey, name);
    return v ? *v != 0 : defaultValue;
}

}  // namespace

bool LoadChanelSetup(ChanelSetupStruct& record) {
    // A store that cannot be used reads as empty: the defaults, then the
    // run's options.
    SettingsStore store;
    const ChanelSetupStruct defaults;
    const char* key = kChanelSetupKey;
    record.CurrentChanel = store.ReadInteger(key, "CurrentChanel").value_or(defaults.CurrentChanel);
    record.NetAddress = store.ReadInteger(key, "NetAddress").value_or(defaults.NetAddress);
    record.ComPortName = store.ReadString(key, "ComPortName").value_or(defaults.ComPortName);
    record.ModemName = store.ReadString(key, "ModemName").value_or(defaults.ModemName);
    record.PhoneNumber = store.ReadString(key, "PhoneNumber").value_or(defaults.PhoneNumber);
    record.MonitoringInterval =
        store.ReadInteger(key, "MonitoringInterval").value_or(defaults.MonitoringInterval);
    record.NetworkAddress =
        store.ReadString(key, "NetworkAddress").value_or(defaults.NetworkAddress);
    record.NetworkMode = store.ReadInteger(key, "NetworkMode").value_or(defaults.NetworkMode);
    record.AllowedPeers = store.ReadString(key, "AllowedPeers").value_or(defaults.AllowedPeers);
    ApplyOverlay(record);
    return true;
}

bool SaveChanelSetup(const ChanelSetupStruct& record) {
    SettingsStore store;
    const char* key = kChanelSetupKey;
    store.WriteInteger(key, "CurrentChanel", record.CurrentChanel);
    store.WriteInteger(key, "NetAddress", record.NetAddress);
    store.WriteString(key, "ComPortName", record.ComPortName);
    store.WriteString(key, "ModemName", record.ModemName);
    store.WriteString(key, "PhoneNumber", record.PhoneNumber);
    store.WriteInteger(key, "MonitoringInterval", record.MonitoringInterval);
    store.WriteString(key, "NetworkAddress", record.NetworkAddress);
    store.WriteInteger(key, "NetworkMode", record.NetworkMode);
    store.WriteString(key, "AllowedPeers", record.AllowedPeers);
    return store.Sync();
}

bool LoadReadSettings(ReadSettingsStruct& record) {
    SettingsStore store;
    const ReadSettingsStruct defaults;
    const char* key = kReadSettingsKey;
    record.ReadHourArchive = ReadFlag(store, "ReadHourArchive", defaults.ReadHourArchive);
    record.ReadDayArchive = ReadFlag(store, "ReadDayArchive", defaults.ReadDayArchive);
    record.ReadMonthArchive = ReadFlag(store, "ReadMonthArchive", defaults.ReadMonthArchive);
    record.ReadJournal = ReadFlag(store, "ReadJournal", defaults.ReadJournal);
    record.ReadInterval = store.ReadInteger(key, "ReadInterval").value_or(defaults.ReadInterval);
    record.StartInterval = store.ReadDate(key, "StartInterval").value_or(defaults.StartInterval);
    record.FinishInterval = store.ReadDate(key, "FinishInterval").value_or(defaults.FinishInterval);
    return true;
}

bool SaveReadSettings(const ReadSettingsStruct& record) {
    SettingsStore store;
    const char* key = kReadSettingsKey;
    store.WriteInteger(key, "ReadHourArchive", record.ReadHourArchive ? 1 : 0);
    store.WriteInteger(key, "ReadDayArchive", record.ReadDayArchive ? 1 : 0);
    store.WriteInteger(key, "ReadMonthArchive", record.ReadMonthArchive ? 1 : 0);
    store.WriteInteger(key, "ReadJournal", record.ReadJournal ? 1 : 0);
    store.WriteInteger(key, "ReadInterval", record.ReadInterval);
    store.WriteDate(key, "StartInterval", record.StartInterval);
    store.WriteDate(key, "FinishInterval", record.FinishInterval);
    return store.Sync();
}

std::string LoadFleetDatabase() {
    SettingsStore store;
    return store.ReadString(kFleetKey, "Database").value_or(std::string());
}

bool SaveFleetDatabase(const std::string& target) {
    SettingsStore store;
    store.WriteString(kFleetKey, "Database", target);
    return store.Sync();
}

int ReadIntegerSetting(const std::string& name, int defaultValue) {
    SettingsStore store;
    return store.ReadInteger(kProgramKey, name).value_or(defaultValue);
}

void SetChanelSetupOverlay(const ChanelSetupOverlay& overlay) {
    Overlay() = overlay;
}

void ClearChanelSetupOverlay() {
    Overlay() = ChanelSetupOverlay{};
}
