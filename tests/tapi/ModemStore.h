#pragma once

#include "PtyDevice.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <string>

// Configures modems in the test's settings store. A modem's port is a name
// of the port folder, so a test can point it at a fresh pseudo-terminal.
inline void AddModem(const std::string& key, const std::string& port, int mediaModes = 0x10,
                     const std::string& lineName = "") {
    SettingsStore store;
    const std::string path = std::string(kModemsKey) + "\\" + key;
    store.WriteString(path, "Port", port);
    store.WriteInteger(path, "MediaModes", mediaModes);
    if (!lineName.empty()) {
        store.WriteString(path, "Name", lineName);
    }
    store.Sync();
}

inline void ClearModems() {
    SettingsStore store;
    store.RemoveKey(kModemsKey);
    store.Sync();
}

// Points the port-folder alias `name` at `device`.
inline void LinkPort(const std::string& name, const std::string& device) {
    const QString folder =
        QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Halbrec/ZURavorav/ports");
    QDir().mkpath(folder);
    const QString link = folder + QStringLiteral("/") + QString::fromStdString(name);
    QFile::remove(link);
    QFile::link(QString::fromStdString(device), link);
}
