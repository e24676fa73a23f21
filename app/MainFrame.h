#pragma once

#include "ExportWorkbook.h"
#include "ParamsRegisters.h"
#include "ZQTask.h"
#include "ZQValve.h"

#include <QMainWindow>

#include <memory>

class ExchangeLogPane;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class TArchiveFrame;
class TCurrentParamsFrame;
class TSearchDeviceDialog;
class TMetersForm;
class TMonitoringRecording;
class TSetupParamsFrame;
class WorkbookLauncher;

namespace Ui {
class TMainForm;
}

// The program's one window: six pages showing `documentValve`, the commands,
// and at most one exchange task, driven by TaskTimer every 100 ms. GUI thread
// only.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The commands (the actions' triggered handlers).
    void ReadAllDataActionExecute();
    void MonitoringActionExecute();
    void SetSetupParamsActionExecute();
    void SetCurrentTimeExecute();
    void ClearArchiveExecute();
    void CancelActionExecute();
    void ChanelTypeActionExecute();
    // "Поиск прибора": the search dialog, modeless; its search runs as the
    // current task.
    void SearchDeviceActionExecute();
    // "Приборы": the register and rounds of many meters in a window of its
    // own, non-modal; "Открыть историю" there shows a meter's history here.
    void MetersActionExecute();
    // Shows `whole`, meter `name`'s whole history, on the six pages as a
    // document read, the title naming the meter. Refused (a box says why)
    // while an exchange runs. True when shown.
    bool ShowHistory(const QString& name, const ZQValve& whole);
    void InfoActionExecute();
    // "Справка" (F1): the user's manual.
    void HelpActionExecute();
    void FileOpenExecute();
    void FileSaveAsExecute();
    // "Экспорт в Excel": the six pages and the document as a workbook,
    // written to the export folder and opened with the desktop's program.
    void ExcelExportExecute();
    // Opens an exported workbook with the desktop's program without waiting
    // for it; when it turns out that none took it, a box says where the file
    // is. False when the launcher cannot be started at all.
    bool OpenWorkbook(const QString& path);

    // The file handlers: the save dialog's preset name, then the save of the
    // chosen path; the open of a chosen path (also used for a file named on
    // the command line). A failure is shown in a message box.
    QString FileSaveAsBeforeExecute() const;
    bool FileSaveAsAccept(const QString& path);
    bool FileOpenAccept(const QString& path);

    // Makes `task` the current task (the previous one is deleted, closing its
    // channel) and disables the exchange commands. False for a null task.
    bool StartTask(std::unique_ptr<ZQTask> task);
    // Stops the current task (it stays alive until the next StartTask) and
    // enables the exchange commands.
    void FinishTask(bool resetProgress, bool clearStatus);
    // Dispatches the events posted to the window itself (not to its child
    // controls, not its timers); the export calls it between sheets and records.
    void PumpOneMessage();

    ZQTask* CurrentTask() const { return currentTask.get(); }
    const ZQValve& DocumentValve() const { return documentValve; }
    const ZQValve& TaskValve() const { return taskValve; }

    ExchangeLogPane* ExchangeLog() const { return exchangeLog; }
    TMonitoringRecording* MonitoringRecording() const { return monitoringRecording; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // An .arch file dropped onto the window opens as "Открыть файл" opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Centres each dialog of the window (a child of it) over it when it is
    // shown the first time.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // The designed size, 904 x 571 under the menu, centred on the screen.
    void PlaceOnScreen();
    void SetActionIcons();
    void TaskTimerTimer();
    // Shows a whole data set on the six pages.
    void ShowValve(const ZQValve& valve);
    // What the pages show, for the export.
    ExportPageState ExportPages() const;
    bool AskWarning(const QString& text);
    // A question box with "Да" and "Нет", "Нет" the default: `statement`,
    // and `question` under it. True for "Да".
    bool AskYesNo(const QString& objectName, const QString& statement, const QString& question);
    // A missing-part read that found another device: asks whether its data
    // replace the document; "Нет" stops the read, the document kept as it
    // was. True when the task was stopped.
    bool AskOtherDevice();
    // Before a save of a document with more records than the file holds:
    // says how many of the oldest are left out and asks. True to save.
    bool AskSaveWithoutOldest();
    // The box for a written workbook that no program opened.
    void ShowWorkbookNotOpened(const QString& path);
    void ShowFailure(const QString& text);
    void CreateExchangeLog();
    void SaveExchangeLogShown();
    // "Последние файлы", rebuilt each time the menu opens.
    void FillRecentFilesMenu();
    void RememberFile(const QString& path);
    // The search dialog's view of the current task: its progress, status and
    // finds when it is a search, and whether an exchange runs.
    void ShowSearchState();
    // Ends the current task at once: its channel, worker thread and any modem
    // call are released before the window goes.
    void DropTask();
    // After every tick: a monitoring cycle not seen yet goes onto the trend
    // and into the recording.
    void FollowMonitoring();

    std::unique_ptr<Ui::TMainForm> ui;
    TCurrentParamsFrame* CurrentParamsFrame = nullptr;
    TSetupParamsFrame* SetupParamsFrame = nullptr;
    TArchiveFrame* HourArchiveFrame = nullptr;
    TArchiveFrame* DayArchiveFrame = nullptr;
    TArchiveFrame* MonthArchiveFrame = nullptr;
    TArchiveFrame* JournalFrame = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusText = nullptr;  // status bar panel 1
    QTimer* TaskTimer = nullptr;
    QDockWidget* exchangeLogDock = nullptr;
    ExchangeLogPane* exchangeLog = nullptr;
    QMenu* recentFilesMenu = nullptr;
    WorkbookLauncher* workbookLauncher = nullptr;  // made by the first OpenWorkbook
    TSearchDeviceDialog* searchDialog = nullptr;   // made on first use
    TMetersForm* metersForm = nullptr;             // made on first use
    // The title names the meter whose history the pages show (ShowHistory);
    // a file opened takes that name away again.
    bool titleNamesMeter = false;
    std::string lastLoggedStatus;
    TMonitoringRecording* monitoringRecording = nullptr;
    int seenMonitoringCycles = 0;

    std::unique_ptr<ZQTask> currentTask;
    ZQValve taskValve;
    ZQValve documentValve;
    // documentValve holds a whole document: a finished read or an opened file.
    bool documentOpen = false;
    // Scratch block for the setup write: registers 0..10 in device byte order.
    uint8_t setupRegs[2 * kSetupParamsConverted] = {};
};
