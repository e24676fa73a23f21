#pragma once

#include "CurrentParamsStruct.h"
#include "DateTime.h"
#include "MonitoringRecorder.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QAction;
class ElidedLabel;
class QStatusBar;
class QWidget;

// "Записывать мониторинг...": the window's side of the recording. The
// action is checked while a file is chosen; the choice is kept in the store
// (value MonitoringRecordFile of the program key) and so survives a restart,
// but the file is opened only when a monitoring run starts (or at once, when
// it is chosen while one runs) and closed when the run ends. A label at the
// right of the status bar says into which file the recording runs, or why
// it stopped. A failed write stops the recording, never the monitoring.
// GUI thread only.
class TMonitoringRecording : public QObject {
    Q_OBJECT

public:
    // `action` is the window's checkable RecordMonitoringAction; the label
    // goes into `statusBar`. `note` receives the lines for the exchange log.
    TMonitoringRecording(QWidget* window, QAction* action, QStatusBar* statusBar,
                         std::function<void(const std::string&)> note);
    ~TMonitoringRecording() override;

    // The file chosen ("" for none).
    QString ChosenFile() const { return FChosen; }
    bool IsRecording() const { return FRecorder.IsOpen(); }

    // The window's moments: a monitoring run starts, a cycle has been read,
    // the run ended (stopped, failed, replaced, or the window closes).
    void MonitoringStarted();
    void Cycle(TDateTime localTime, const CurrentParamsStruct& params);
    void MonitoringEnded();

    // The choice itself, as the action's dialog makes it: a path starts
    // recording into it (at once when a run goes on), "" switches the
    // recording off. Remembered in the store.
    void Choose(const QString& path);

private:
    void ActionTriggered(bool checked);
    // The action checked while a file is chosen, the file in its tooltip.
    void ShowChoice();
    void Open();
    void Stopped(const std::string& why);
    void ShowLabel(const QString& text, bool failure);

    QWidget* FWindow;
    QAction* FAction;
    ElidedLabel* FLabel = nullptr;
    std::function<void(const std::string&)> FNote;
    QString FChosen;
    bool FMonitoring = false;
    MonitoringRecorder FRecorder;
};

// The store's value that keeps the chosen file.
inline constexpr const char* kMonitoringRecordFileValue = "MonitoringRecordFile";
