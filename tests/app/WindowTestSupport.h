// What the window's tests and the screenshot driver share: waiting on the
// event loop, answering a modal dialog, a stand-in program on the PATH, and
// a store that reaches the simulated device on COM7.
#pragma once

#include "Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs the event loop until `condition` holds; false after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs `answer` on the next modal dialog or message box, once it is shown.
// The poll it returns ends itself then.
inline QPointer<QTimer> AnswerModal(std::function<void(QWidget*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            answer(modal);
        }
    });
    poll->start();
    return poll;
}

// Writes a shell script of `body` at `path`, executable by its owner.
inline bool WriteScript(const QString& path, const QByteArray& body) {
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body + "\n") < 0) {
        return false;
    }
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The connection COM7 at address 1, every archive and the journal chosen.
inline bool SaveSimulatedDeviceSettings() {
    ChanelSetupStruct chanel;
    chanel.CurrentChanel = 0;
    chanel.ComPortName = "COM7";
    chanel.NetAddress = 1;
    chanel.MonitoringInterval = 2;
    ReadSettingsStruct read;
    read.ReadHourArchive = read.ReadDayArchive = read.ReadMonthArchive = read.ReadJournal = true;
    return SaveChanelSetup(chanel) && SaveReadSettings(read);
}
