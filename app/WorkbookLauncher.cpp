#include "WorkbookLauncher.h"

#include <QProcess>

WorkbookLauncher::WorkbookLauncher(QObject* parent) : QObject(parent) {}

WorkbookLauncher::~WorkbookLauncher() {
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

bool WorkbookLauncher::Open(const QString& path) {
    auto* process = new QProcess(this);
    // The launcher's and the program's output are none of the window's.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setProgram(QStringLiteral("xdg-open"));
    process->setArguments({path});
    connect(process, &QProcess::finished, this,
            [this, process, path](int exitCode, QProcess::ExitStatus status) {
                Ended(process, path, status == QProcess::NormalExit && exitCode == 0);
            });
    process->start();
    if (!process->waitForStarted(5000)) {
        process->disconnect(this);
        delete process;
        return false;
    }
    ++running;
    return true;
}

void WorkbookLauncher::Ended(QProcess* process, const QString& path, bool opened) {
    --running;
    process->deleteLater();
    if (!opened) {
        emit NotOpened(path);
    }
}
