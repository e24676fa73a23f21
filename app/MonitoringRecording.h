#pragma once

#include "CurrentParamsStruct.h"
#include "DateTime.h"
#include "MonitoringRecorderQueue.h"

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
//
// The lines are written on the recording's own thread (MonitoringRecorderQueue):
// the window never waits for the disk. The end of a run only queues the
// close; closing the window waits for the lines still queued at most
// MonitoringRecorderQueue::kFinishWait and says in a message box which were
// not written. A path that is not a regular file (a pipe, a device, a
// folder) is refused when it is chosen. GUI thread only.
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
    bool IsRecording() const { return FQueue.IsRecording(); }
    // Lines of cycles not in the file yet.
    size_t PendingLines() const { return FQueue.Pending(); }

    // The window's moments: a monitoring run starts, a cycle has been read,
    // the run ended (stopped, failed, replaced, or the window closes).
    void MonitoringStarted();
    void Cycle(TDateTime localTime, const CurrentParamsStruct& params);
    void MonitoringEnded();

    // The choice itself, as the action's dialog makes it: a path starts
    // recording into it (at once when a run goes on), "" switches the
    // recording off. Remembered in the store.
    void Choose(const QString& path);
    // What the action's dialog returned: a path that is not a regular file
    // (a pipe would stall the recording for good, a device or a folder
    // takes no CSV file) is refused with a message box and the action
    // unchecked; any other is chosen.
    void TakeDialogPath(const QString& path);

protected:
    // The window's close: the queued lines are written, or named.
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    // Last, so that it goes first: its failures are posted to this object.
    MonitoringRecorderQueue FQueue;
};

// The store's value that keeps the chosen file.
inline constexpr const char* kMonitoringRecordFileValue = "MonitoringRecordFile";
