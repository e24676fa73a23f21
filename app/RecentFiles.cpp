#include "RecentFiles.h"

#include "SettingsStore.h"

#include <QFileInfo>

#include <string>

namespace {

const std::string kRecentFilesKey = std::string(kProgramKey) + "\\RecentFiles";

}  // namespace

QStringList RecentFiles::Load() {
    SettingsStore store;
    QStringList paths;
    for (int i = 1; i <= kMax; ++i) {
        const auto value = store.ReadString(kRecentFilesKey, std::to_string(i));
        if (value && !value->empty()) {
            const QString path = QString::fromStdString(*value);
            if (!paths.contains(path)) {
                paths.append(path);
            }
        }
    }
    return paths;
}

void RecentFiles::Add(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    QStringList paths = Load();
    paths.removeAll(full);
    paths.prepend(full);
    Save(paths);
}

void RecentFiles::Remove(const QString& path) {
    QStringList paths = Load();
    paths.removeAll(path);
    Save(paths);
}

void RecentFiles::Save(const QStringList& paths) {
    SettingsStore store;
    store.RemoveKey(kRecentFilesKey);
    for (int i = 0; i < kMax && i < paths.size(); ++i) {
        store.WriteString(kRecentFilesKey, std::to_string(i + 1), paths[i].toStdString());
    }
    store.Sync();
}
