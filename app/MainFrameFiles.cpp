// The main window's file commands, the exchange log pane, the recent files
// and files dropped onto the window.
#include "MainFrame.h"

#include "ArchiveFile.h"
#include "ExchangeLogPane.h"
#include "MainFrameTexts.h"
#include "RecentFiles.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TaskClock.h"
#include "ZQArchive.h"
#include "ZQCurrentParams.h"
#include "ZQSetupParams.h"
#include "ui_MainFrame.h"

#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

namespace {

// The file dialogs' filter: the design's "Файлы архива (*.arch)|*.arch".
const char* const kArchiveFilter = "Файлы архива (*.arch)";

}  // namespace

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
    if (!AskSaveWithoutOldest()) {
        return false;
    }
    try {
        WriteArchiveFile(path.toStdString(), documentValve);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
        return false;
    }
    setWindowTitle(QString::fromUtf8(kCaption) + QStringLiteral(" - ") + path);
    titleNamesMeter = false;
    RememberFile(path);
    return true;
}

bool TMainForm::FileOpenAccept(const QString& path) {
    ArchiveFileSections sections;
    sections.OnCurrentParams = [this](const CurrentParamsStruct& params) {
        CurrentParamsFrame->HideMonitoringTrend();
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
        // What was read of the file stays shown, but it is no whole document
        // whose missing part could be read.
        documentOpen = false;
        ShowFailure(QString::fromUtf8(e.what()));
        return false;
    }
    documentOpen = true;
    if (titleNamesMeter) {
        // The pages no longer show the meter's history.
        setWindowTitle(QString::fromUtf8(kCaption));
        titleNamesMeter = false;
    }
    RememberFile(path);
    return true;
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
