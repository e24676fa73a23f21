#include "MainFrame.h"

#include "AppIcons.h"
#include "ChanelSetupDialog.h"
#include "ElidedLabel.h"
#include "ExchangeLogPane.h"
#include "MainFrameTexts.h"
#include "ManualViewer.h"
#include "MonitoringRecording.h"
#include "ReadParamsSetup.h"
#include "TTapiVault.h"
#include "Version.h"
#include "ZQArchive.h"
#include "ZQClearArchiveTask.h"
#include "ZQCurrentParams.h"
#include "ZQMonitoringTask.h"
#include "ZQReadAllParamsTask.h"
#include "ZQSetupParams.h"
#include "ZQWriteAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"
#include "ui_MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <cstring>

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    // A modem channel later reports a missing line application itself.
    TapiVault.Init();
    ui->setupUi(this);
    FormCreate();
}

TMainForm::~TMainForm() {
    DropTask();
}

void TMainForm::FormCreate() {
    setWindowIcon(ProgramIcon());
    CurrentParamsFrame = ui->CurrentParamsFrame;
    SetupParamsFrame = ui->SetupParamsFrame;
    HourArchiveFrame = ui->HourArchiveFrame;
    DayArchiveFrame = ui->DayArchiveFrame;
    MonthArchiveFrame = ui->MonthArchiveFrame;
    JournalFrame = ui->JournalFrame;

    CurrentParamsFrame->InitCurrentParamsFrame();
    SetupParamsFrame->InitSetupParamsFrame();
    const struct {
        TArchiveFrame* frame;
        ZQ_namespace::ArchiveKind kind;
    } archivePages[] = {{HourArchiveFrame, ZQ_namespace::akHour},
                        {DayArchiveFrame, ZQ_namespace::akDay},
                        {MonthArchiveFrame, ZQ_namespace::akMonth},
                        {JournalFrame, ZQ_namespace::akJournal}};
    for (int i = 0; i < 4; ++i) {
        archivePages[i].frame->SetupColumns(archivePages[i].kind);
        archivePages[i].frame->SetCaption(ui->PageControl1->tabText(2 + i));
    }

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setAccessibleName(QStringLiteral("Ход обмена"));
    progressBar->setFixedWidth(400);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    // Its text is its accessible name, so a screen reader reads (and hears
    // the change of) what it shows; a long text is elided, never widening
    // the window.
    statusText = new ElidedLabel(this);
    statusText->setObjectName(QStringLiteral("StatusText"));
    statusText->setAccessibleDescription(QStringLiteral("Состояние обмена"));
    statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(progressBar);
    statusBar()->addWidget(statusText, 1);

    SetActionIcons();
    connect(ui->FileOpen, &QAction::triggered, this, &TMainForm::FileOpenExecute);
    connect(ui->FileSaveAs, &QAction::triggered, this, &TMainForm::FileSaveAsExecute);
    connect(ui->FileExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->ReadAllDataAction, &QAction::triggered, this, &TMainForm::ReadAllDataActionExecute);
    connect(ui->SetSetupParamsAction, &QAction::triggered, this,
            &TMainForm::SetSetupParamsActionExecute);
    connect(ui->MonitoringAction, &QAction::triggered, this, &TMainForm::MonitoringActionExecute);
    connect(ui->ChanelTypeAction, &QAction::triggered, this, &TMainForm::ChanelTypeActionExecute);
    connect(ui->SearchDeviceAction, &QAction::triggered, this,
            &TMainForm::SearchDeviceActionExecute);
    connect(ui->MetersAction, &QAction::triggered, this, &TMainForm::MetersActionExecute);
    connect(ui->SetCurrentTime, &QAction::triggered, this, &TMainForm::SetCurrentTimeExecute);
    connect(ui->ClearArchive, &QAction::triggered, this, &TMainForm::ClearArchiveExecute);
    connect(ui->CancelAction, &QAction::triggered, this, &TMainForm::CancelActionExecute);
    connect(ui->InfoAction, &QAction::triggered, this, &TMainForm::InfoActionExecute);
    connect(ui->HelpAction, &QAction::triggered, this, &TMainForm::HelpActionExecute);
    connect(ui->ExcelExport, &QAction::triggered, this, &TMainForm::ExcelExportExecute);

    CreateExchangeLog();
    monitoringRecording = new TMonitoringRecording(
        this, ui->RecordMonitoringAction, statusBar(),
        [this](const std::string& text) { exchangeLog->AppendNote(text); });
    recentFilesMenu = new QMenu(QStringLiteral("Последние файлы"), this);
    recentFilesMenu->setObjectName(QStringLiteral("RecentFilesMenu"));
    ui->FileMenu->insertMenu(ui->ExcelExport, recentFilesMenu);
    connect(recentFilesMenu, &QMenu::aboutToShow, this, &TMainForm::FillRecentFilesMenu);
    FillRecentFilesMenu();
    setAcceptDrops(true);

    TaskTimer = new QTimer(this);
    TaskTimer->setObjectName(QStringLiteral("TaskTimer"));
    TaskTimer->setInterval(100);
    connect(TaskTimer, &QTimer::timeout, this, &TMainForm::TaskTimerTimer);
    TaskTimer->start();
    ui->CancelAction->setEnabled(false);
    ui->PageControl1->setCurrentIndex(0);
    PlaceOnScreen();
    // Every dialog of the window opens centred over it the first time it
    // shows (QDialog's own placement guesses a frame of 10 x 40 where no
    // window manager draws one); the window watches its own children only.
    installEventFilter(this);
}

void TMainForm::SetActionIcons() {
    const struct {
        QAction* action;
        const char* themeName;
        const char* resourceName;
    } icons[] = {
        {ui->FileOpen, "document-open", "open"},
        {ui->FileSaveAs, "document-save-as", "save"},
        {ui->ExcelExport, "x-office-spreadsheet", "export"},
        {ui->FileExit, "application-exit", "exit"},
        {ui->ReadAllDataAction, "zq-read-device", "read"},
        {ui->SetSetupParamsAction, "zq-write-device", "write"},
        {ui->MonitoringAction, "utilities-system-monitor", "monitor"},
        {ui->RecordMonitoringAction, "zq-record-monitoring", "record"},
        {ui->ChanelTypeAction, "zq-connection", "connection"},
        {ui->SearchDeviceAction, "edit-find", "search"},
        {ui->MetersAction, "zq-meters", "meters"},
        {ui->SetCurrentTime, "zq-set-clock", "clock"},
        {ui->ClearArchive, "zq-clear-archive", "clear"},
        {ui->CancelAction, "process-stop", "cancel"},
        {ui->HelpAction, "help-contents", "help"},
        {ui->InfoAction, "help-about", "info"},
    };
    for (const auto& entry : icons) {
        entry.action->setIcon(AppIcon(entry.themeName, entry.resourceName));
    }
}

// --- the task ---------------------------------------------------------------

bool TMainForm::StartTask(std::unique_ptr<ZQTask> task) {
    if (!task) {
        return false;
    }
    // The exchange log sees every frame the task sends and receives, and the
    // texts of its channel and modem line.
    task->SetConsoleSink([this](const std::string& text) { exchangeLog->AppendNote(text); });
    task->SetExchangeSink([this](const ExchangeRecord& record) {
        exchangeLog->AppendLine(QString::fromStdString(FormatExchangeLine(record)));
    });
    lastLoggedStatus.clear();
    monitoringRecording->MonitoringEnded();
    currentTask = std::move(task);
    ui->CancelAction->setEnabled(true);
    ui->ChanelTypeAction->setEnabled(false);
    ui->ReadAllDataAction->setEnabled(false);
    ui->SetSetupParamsAction->setEnabled(false);
    ui->MonitoringAction->setEnabled(false);
    ui->SearchDeviceAction->setEnabled(false);
    if (currentTask->GetState() == tsStopped) {
        currentTask->Start();
    }
    ShowSearchState();
    return true;
}

void TMainForm::FinishTask(bool resetProgress, bool clearStatus) {
    if (currentTask) {
        currentTask->Stop();
    }
    monitoringRecording->MonitoringEnded();
    ui->CancelAction->setEnabled(false);
    ui->ChanelTypeAction->setEnabled(true);
    ui->ReadAllDataAction->setEnabled(true);
    ui->SetSetupParamsAction->setEnabled(true);
    ui->MonitoringAction->setEnabled(true);
    ui->SearchDeviceAction->setEnabled(true);
    if (resetProgress) {
        progressBar->setValue(0);
    }
    if (clearStatus) {
        statusText->clear();
    }
    ShowSearchState();
}

void TMainForm::TaskTimerTimer() {
    if (!currentTask) {
        return;
    }
    currentTask->Tick();
    // A cancelled task shows nothing more: the cancel emptied the bar and
    // the text, and they stay so.
    if (currentTask->GetState() == tsStopped) {
        return;
    }
    FollowMonitoring();
    if (!currentTask->IsChanged()) {
        return;
    }
    currentTask->ClearChanged();
    progressBar->setValue(currentTask->GetPercent());
    const std::string status = currentTask->GetStatusText();
    statusText->setText(FromUtf8(status));
    if (status != lastLoggedStatus && !status.empty()) {
        exchangeLog->AppendNote(status);
        lastLoggedStatus = status;
    }
    if (currentTask->GetTaskType() == kTaskSearch) {
        ShowSearchState();
    }
    // The status says what the task waits for while the box asks.
    if (AskOtherDevice()) {
        return;
    }
    const int state = currentTask->GetState();
    if (state > tsRunning) {
        if (state == tsDone && currentTask->GetTaskType() == kTaskReadAll) {
            // After a missing-part read, taskValve is the document grown.
            ShowValve(taskValve);
            documentValve = taskValve;
            documentOpen = true;
        }
        FinishTask(true, false);
    }
    if (currentTask->GetTaskType() == kTaskMonitoring &&
        currentTask->GetStep() == ZQMonitoringTask::kWaitStep) {
        CurrentParamsFrame->ShowCurrentParams(taskValve.Current);
        SetupParamsFrame->ShowSetupParams(taskValve.Setup);
    }
}

void TMainForm::ShowValve(const ZQValve& valve) {
    CurrentParamsFrame->HideMonitoringTrend();
    CurrentParamsFrame->ShowCurrentParams(valve.Current);
    SetupParamsFrame->ShowSetupParams(valve.Setup);
    HourArchiveFrame->ShowArchive(valve.HourArchive, ZQ_namespace::akHour);
    DayArchiveFrame->ShowArchive(valve.DayArchive, ZQ_namespace::akDay);
    MonthArchiveFrame->ShowArchive(valve.MonthArchive, ZQ_namespace::akMonth);
    JournalFrame->ShowJournal(valve.Journal);
}

void TMainForm::DropTask() {
    if (currentTask) {
        currentTask->Stop();
        currentTask.reset();
    }
}

void TMainForm::PumpOneMessage() {
    QCoreApplication::sendPostedEvents(this, 0);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    DropTask();
    SaveExchangeLogShown();
    event->accept();
}

// --- the commands -------------------------------------------------------------

void TMainForm::ReadAllDataActionExecute() {
    TReadParamsSetupDialog dialog(this, documentOpen);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    taskValve.Clear();
    auto task = std::make_unique<ZQReadAllParamsTask>(true, &taskValve,
                                                      documentOpen ? &documentValve : nullptr);
    task->SetOtherDeviceChoice(OtherDeviceChoice::Ask);
    StartTask(std::move(task));
}

void TMainForm::MonitoringActionExecute() {
    taskValve.Clear();
    StartTask(std::make_unique<ZQMonitoringTask>(true, &taskValve));
    seenMonitoringCycles = 0;
    CurrentParamsFrame->StartMonitoringTrend();
    monitoringRecording->MonitoringStarted();
}

void TMainForm::SetSetupParamsActionExecute() {
    const SetupParamsStruct params = SetupParamsFrame->GetSetupParams();
    std::memset(setupRegs, 0, sizeof setupRegs);
    EncodeSetupParams(params, setupRegs);
    ConvertByteOrder(setupRegs, kSetupParamsConverted, SetupParamsOrder, 1);
    auto task = std::make_unique<ZQWriteAllParamsTask>(true);
    std::memcpy(task->setupBlock, setupRegs, sizeof task->setupBlock);
    StartTask(std::move(task));
}

bool TMainForm::AskWarning(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("WarningBox"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void TMainForm::SetCurrentTimeExecute() {
    if (AskWarning(QStringLiteral("Дата и время в приборе будут изменены на текущие"))) {
        StartTask(std::make_unique<ZQWriteCurrentTimeTask>(true));
    }
}

void TMainForm::ClearArchiveExecute() {
    if (AskWarning(QStringLiteral("Счетчики и все архивы в приборе будут очищены"))) {
        StartTask(std::make_unique<ZQClearArchiveTask>(true));
    }
}

void TMainForm::CancelActionExecute() {
    FinishTask(true, true);
}

void TMainForm::ChanelTypeActionExecute() {
    TChanelSetup dialog(this);
    dialog.exec();
}

void TMainForm::InfoActionExecute() {
    const QString text =
        QStringLiteral("Менеджер ZQ\nВерсия : ") + QLatin1String(ZQ_VERSION_STRING);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kCaption), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setIconPixmap(ProgramIcon().pixmap(48, 48));
    box.exec();
}

void TMainForm::HelpActionExecute() {
    ShowManual(this);
}
