#pragma once

#include <QString>
#include <QStringList>

// The last .arch files opened or saved, newest first, at most kMax; kept in
// the settings store (key ...\RecentFiles, values "1".."8").
class RecentFiles {
public:
    static constexpr int kMax = 8;

    static QStringList Load();
    // Puts `path` first (once); the oldest beyond kMax drop out.
    static void Add(const QString& path);
    static void Remove(const QString& path);

private:
    static void Save(const QStringList& paths);
};
