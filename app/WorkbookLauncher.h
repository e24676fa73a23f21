#pragma once

#include <QObject>
#include <QString>

class QProcess;

// Opens an exported workbook with the desktop's program for its type by
// running xdg-open on it, without waiting: the window goes on while the
// launcher runs, and its exit status, once known, tells whether a program
// took the file. In a desktop session xdg-open hands the file over and ends
// at once; without one it runs the program and ends when that does; where
// no program is registered for the type it ends with an error status ("no
// method available"). GUI thread only.
class WorkbookLauncher : public QObject {
    Q_OBJECT

public:
    explicit WorkbookLauncher(QObject* parent = nullptr);
    // A launcher still running is ended with the window; a program it
    // started goes on.
    ~WorkbookLauncher() override;

    // Starts the launcher on `path`; false when it cannot be started at all
    // (then NotOpened is not emitted).
    bool Open(const QString& path);
    // Launchers started and not yet ended.
    int Running() const { return running; }

signals:
    // The launcher for `path` ended in failure: no program opened the file.
    void NotOpened(const QString& path);

private:
    void Ended(QProcess* process, const QString& path, bool opened);

    int running = 0;
};
