#include "MainFrame.h"

#include "AppIcons.h"
#include "ArchiveFile.h"
#include "ChanelSetupDialog.h"
#include "Exception.h"
#include "ExchangeLogPane.h"
#include "ExportWorkbook.h"
#include "ReadParamsSetup.h"
#include "RecentFiles.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TExcelExport.h"
#include "TTapiVault.h"
#include "TaskClock.h"
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

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <cstring>

namespace {

const char* const kCaption = "ZQ Менеджер";
// The file dialogs' filter: the design's "Файлы архива (*.arch)|*.arch".
const char* const kArchiveFilter = "Файлы архива (*.arch)";

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

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
    statusText = new QLabel(this);
    statusText->setObjectName(QStringLiteral("StatusText"));
    statusText->setAccessibleName(QStringLiteral("Состояние обмена"));
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
    connect(ui->SetCurrentTime, &QAction::triggered, this, &TMainForm::SetCurrentTimeExecute);
    connect(ui->ClearArchive, &QAction::triggered, this, &TMainForm::ClearArchiveExecute);
    connect(ui->CancelAction, &QAction::triggered, this, &TMainForm::CancelActionExecute);
    connect(ui->InfoAction, &QAction::triggered, this, &TMainForm::InfoActionExecute);
    connect(ui->ExcelExport, &QAction::triggered, this, &TMainForm::ExcelExportExecute);

    CreateExchangeLog();
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
        {ui->ChanelTypeAction, "zq-connection", "connection"},
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
    currentTask = std::move(task);
    ui->CancelAction->setEnabled(true);
    ui->ChanelTypeAction->setEnabled(false);
    ui->ReadAllDataAction->setEnabled(false);
    ui->SetSetupParamsAction->setEnabled(false);
    ui->MonitoringAction->setEnabled(false);
    if (currentTask->GetState() == tsStopped) {
        currentTask->Start();
    }
    return true;
}

void TMainForm::FinishTask(bool resetProgress, bool clearStatus) {
    if (currentTask) {
        currentTask->Stop();
    }
    ui->CancelAction->setEnabled(false);
    ui->ChanelTypeAction->setEnabled(true);
    ui->ReadAllDataAction->setEnabled(true);
    ui->SetSetupParamsAction->setEnabled(true);
    ui->MonitoringAction->setEnabled(true);
    if (resetProgress) {
        progressBar->setValue(0);
    }
    if (clearStatus) {
        statusText->clear();
    }
}

void TMainForm::TaskTimerTimer() {
    if (!currentTask) {
        return;
    }
    currentTask->Tick();
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
    const int state = currentTask->GetState();
    if (state > tsRunning) {
        if (state == tsDone && currentTask->GetTaskType() == kTaskReadAll) {
            ShowValve(taskValve);
            documentValve = taskValve;
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

// --- the exchange log, recent files, dropped files ----------------------------

namespace {

const char* const kExchangeLogShown = "ExchangeLogShown";

}  // namespace

void TMainForm::CreateExchangeLog() {
    exchangeLogDock = new QDockWidget(QStringLiteral("Протокол обмена"), this);
    exchangeLogDock->setObjectName(QStringLiteral("ExchangeLogDock"));
    exchangeLog = new ExchangeLogPane(exchangeLogDock);
    exchangeLog->setObjectName(QStringLiteral("ExchangeLogPane"));
    exchangeLogDock->setWidget(exchangeLog);
    addDockWidget(Qt::BottomDockWidgetArea, exchangeLogDock);
    QAction* toggle = exchangeLogDock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("ExchangeLogAction"));
    toggle->setText(QStringLiteral("Протокол обмена"));
    ui->ToolsMenu->addSeparator();
    ui->ToolsMenu->addAction(toggle);
    exchangeLogDock->setVisible(ReadIntegerSetting(kExchangeLogShown, 0) != 0);
    connect(toggle, &QAction::triggered, this, &TMainForm::SaveExchangeLogShown);
}

void TMainForm::SaveExchangeLogShown() {
    SettingsStore store;
    store.WriteInteger(kProgramKey, kExchangeLogShown, exchangeLogDock->isVisible() ? 1 : 0);
    store.Sync();
}

void TMainForm::FillRecentFilesMenu() {
    recentFilesMenu->clear();
    const QStringList paths = RecentFiles::Load();
    for (const QString& path : paths) {
        const bool exists = QFileInfo::exists(path);
        QAction* action =
            recentFilesMenu->addAction(exists ? path : path + QStringLiteral(" (файл не найден)"));
        if (exists) {
            connect(action, &QAction::triggered, this, [this, path] { FileOpenAccept(path); });
        } else {
            // Shown greyed; choosing it takes it off the list.
            QFont font = action->font();
            font.setItalic(true);
            action->setFont(font);
            action->setIcon(QIcon());
            connect(action, &QAction::triggered, this, [this, path] {
                RecentFiles::Remove(path);
                FillRecentFilesMenu();
            });
        }
    }
    recentFilesMenu->setEnabled(!paths.isEmpty());
}

void TMainForm::RememberFile(const QString& path) {
    RecentFiles::Add(path);
    FillRecentFilesMenu();
}

namespace {

// The one local .arch file a drag carries, or an empty text.
QString DroppedArchive(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) {
        return {};
    }
    const QUrl url = data->urls().constFirst();
    const QString path = url.toLocalFile();
    return url.isLocalFile() && path.endsWith(QStringLiteral(".arch"), Qt::CaseInsensitive)
               ? path
               : QString();
}

}  // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedArchive(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QString path = DroppedArchive(event->mimeData());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        // After the drag has ended, so that a message box does not run
        // inside the drop.
        QTimer::singleShot(0, this, [this, path] { FileOpenAccept(path); });
    }
}

// --- the commands -------------------------------------------------------------

void TMainForm::ReadAllDataActionExecute() {
    TReadParamsSetupDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    taskValve.Clear();
    StartTask(std::make_unique<ZQReadAllParamsTask>(true, &taskValve));
}

void TMainForm::MonitoringActionExecute() {
    taskValve.Clear();
    StartTask(std::make_unique<ZQMonitoringTask>(true, &taskValve));
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

// --- the file commands --------------------------------------------------------

void TMainForm::ShowFailure(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kCaption), text, QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("FailureBox"));
    box.exec();
}

void TMainForm::FileOpenExecute() {
    QFileDialog dialog(this, ui->FileOpen->text());
    dialog.setObjectName(QStringLiteral("FileOpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromUtf8(kArchiveFilter));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        FileOpenAccept(dialog.selectedFiles().constFirst());
    }
}

void TMainForm::FileSaveAsExecute() {
    QFileDialog dialog(this, ui->FileSaveAs->text());
    dialog.setObjectName(QStringLiteral("FileSaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromUtf8(kArchiveFilter));
    dialog.selectFile(FileSaveAsBeforeExecute());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        FileSaveAsAccept(dialog.selectedFiles().constFirst());
    }
}

QString TMainForm::FileSaveAsBeforeExecute() const {
    return FromUtf8(
        DefaultArchiveFileName(CurrentParamsFrame->SerialText().toStdString(), LocalNow()));
}

bool TMainForm::FileSaveAsAccept(const QString& path) {
    // The file holds what the pages show, including setup values edited but
    // not yet written to the device.
    documentValve.Current = CurrentParamsFrame->GetCurrentParams();
    documentValve.Setup = SetupParamsFrame->GetSetupParams();
    try {
        WriteArchiveFile(path.toStdString(), documentValve);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
        return false;
    }
    setWindowTitle(QString::fromUtf8(kCaption) + QStringLiteral(" - ") + path);
    RememberFile(path);
    return true;
}

bool TMainForm::FileOpenAccept(const QString& path) {
    ArchiveFileSections sections;
    sections.OnCurrentParams = [this](const CurrentParamsStruct& params) {
        CurrentParamsFrame->ShowCurrentParams(params);
    };
    sections.OnSetupParams = [this](const SetupParamsStruct& params) {
        SetupParamsFrame->ShowSetupParams(params);
    };
    sections.OnArchive = [this](const std::vector<ZQ_namespace::ArchiveStruct>& list,
                                ZQ_namespace::ArchiveKind kind) {
        TArchiveFrame* const frames[] = {HourArchiveFrame, DayArchiveFrame, MonthArchiveFrame};
        if (kind >= ZQ_namespace::akHour && kind <= ZQ_namespace::akMonth) {
            frames[kind]->ShowArchive(list, kind);
        }
    };
    sections.OnJournal = [this](const std::vector<ZQ_namespace::JournalStruct>& list) {
        JournalFrame->ShowJournal(list);
    };
    try {
        ReadArchiveFile(path.toStdString(), documentValve, sections);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
        return false;
    }
    RememberFile(path);
    return true;
}

// --- the export -----------------------------------------------------------------

ExportPageState TMainForm::ExportPages() const {
    ExportPageState pages;
    pages.Current = CurrentParamsFrame->ShownTexts();
    const uint8_t flags = CurrentParamsFrame->FlagBits();
    for (int i = 0; i < 4; ++i) {
        pages.NSFlags[i] = (flags >> i & 1) != 0;
    }
    const SetupParamsStruct setup = SetupParamsFrame->GetSetupParams();
    pages.Time = setup.Time;
    pages.Date = setup.Date;
    pages.NetAddress = setup.NetAddress;
    pages.CalibrationCode = setup.CalibrationCode;
    pages.CalibrationVisible = SetupParamsFrame->CalibrationVisible();
    HourArchiveFrame->GetColumnWidths(pages.ArchiveColumnWidths[0]);
    DayArchiveFrame->GetColumnWidths(pages.ArchiveColumnWidths[1]);
    MonthArchiveFrame->GetColumnWidths(pages.ArchiveColumnWidths[2]);
    return pages;
}

void TMainForm::ExcelExportExecute() {
    TExcelExport excel;
    try {
        excel.StartServer();
        excel.SetVisible(false);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
        return;
    }
    setCursor(Qt::BusyCursor);
    // The task stays still while the export reads the pages and the
    // document: a read finishing now would replace the lists being written.
    const bool ticking = TaskTimer->isActive();
    TaskTimer->stop();
    QElapsedTimer sincePaint;
    sincePaint.start();
    const auto pump = [this, &sincePaint] {
        PumpOneMessage();
        // Beyond the window's own events, let it repaint now and then; user
        // input waits until the export is over.
        if (sincePaint.elapsed() >= 50) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sincePaint.restart();
        }
    };
    // An error ends the export silently; the partial workbook is shown.
    FillExportWorkbook(excel, ExportPages(), documentValve, pump);
    if (ticking) {
        TaskTimer->start();
    }
    unsetCursor();
    try {
        excel.SetVisible(true);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
        return;
    }
    const ExcelShownFile& shown = excel.LastShown();
    if (shown.path.empty()) {
        return;
    }
    const QString path = FromUtf8(shown.path);
    statusText->setText(QStringLiteral("Книга записана: ") + path);
    if (!shown.opened) {
        QMessageBox box(
            QMessageBox::Information, QString::fromUtf8(kCaption),
            QStringLiteral("Книга записана в файл\n%1\nНе удалось открыть её программой "
                           "для таблиц: откройте файл вручную.")
                .arg(path),
            QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("ExportOpenBox"));
        box.exec();
    }
}
