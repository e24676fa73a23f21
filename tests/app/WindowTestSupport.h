// What the window's tests and the screenshot driver share: waiting on the
// event loop, and a store that reaches the simulated device on COM7.
#pragma once

#include "Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

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
