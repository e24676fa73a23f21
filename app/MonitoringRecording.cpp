#include "MonitoringRecording.h"

#include "ElidedLabel.h"
#include "SettingsStore.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

#include <cstdio>

namespace {

const char* const kCsvFilter = "Файлы CSV (*.csv)";
const char* const kRunningText = "Запись мониторинга: ";
const char* const kActionToolTip = "Записывать мониторинг в файл CSV";

}  // namespace

TMonitoringRecording::TMonitoringRecording(QWidget* window, QAction* action, QStatusBar* statusBar,
                                           std::function<void(const std::string&)> note)
    : QObject(window),
      FWindow(window),
      FAction(action),
      FNote(std::move(note)),
      FQueue([this](const std::string& text) {
          // On the writer's thread: the text goes to the window's.
          QMetaObject::invokeMethod(
              this, [this, text] { Stopped(text); }, Qt::QueuedConnection);
      }) {
    FLabel = new ElidedLabel(statusBar);
    FLabel->setObjectName(QStringLiteral("RecordingStatusText"));
    FLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FLabel->hide();
    // It shares the room with the status text, each elided in its half, so
    // a long path never cuts the exchange's status short.
    statusBar->addWidget(FLabel, 1);

    const std::optional<std::string> stored =
        SettingsStore().ReadString(kProgramKey, kMonitoringRecordFileValue);
    FChosen = stored ? QString::fromStdString(*stored) : QString();
    ShowChoice();
    connect(FAction, &QAction::triggered, this, &TMonitoringRecording::ActionTriggered);
    FWindow->installEventFilter(this);
}

TMonitoringRecording::~TMonitoringRecording() {
    // Closed without a close event (the program ends): no window to tell.
    const std::string lost = FQueue.Finish(MonitoringRecorderQueue::kFinishWait);
    if (!lost.empty()) {
        std::fprintf(stderr, "zqmanager: %s\n", lost.c_str());
    }
}

bool TMonitoringRecording::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FWindow && event->type() == QEvent::Close) {
        const std::string lost = FQueue.Finish(MonitoringRecorderQueue::kFinishWait);
        if (!lost.empty()) {
            Stopped(lost);
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание"),
                            QString::fromStdString(lost), QMessageBox::Ok, FWindow);
            box.setObjectName(QStringLiteral("RecordUnfinishedBox"));
            box.exec();
        }
    }
    return QObject::eventFilter(watched, event);
}

void TMonitoringRecording::ShowChoice() {
    FAction->setChecked(!FChosen.isEmpty());
    const QString base = QString::fromUtf8(kActionToolTip);
    FAction->setToolTip(FChosen.isEmpty() ? base : base + QStringLiteral(": ") + FChosen);
}

void TMonitoringRecording::ActionTriggered(bool checked) {
    if (!checked) {
        Choose(QString());
        return;
    }
    QFileDialog dialog(FWindow, FAction->text());
    dialog.setObjectName(QStringLiteral("RecordFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The file is appended to, never overwritten: no question about it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QString::fromUtf8(kCsvFilter));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QDir::home().filePath(QStringLiteral("ZQ_мониторинг.csv")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        FAction->setChecked(false);
        return;
    }
    TakeDialogPath(dialog.selectedFiles().constFirst());
}

void TMonitoringRecording::TakeDialogPath(const QString& path) {
    const std::string problem = RecordPathProblem(path.toStdString());
    if (!problem.empty()) {
        FAction->setChecked(false);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание"),
                        QString::fromStdString(problem), QMessageBox::Ok, FWindow);
        box.setObjectName(QStringLiteral("RecordPathRefusedBox"));
        box.exec();
        return;
    }
    Choose(path);
}

void TMonitoringRecording::Choose(const QString& path) {
    FChosen = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    ShowChoice();
    SettingsStore store;
    store.WriteString(kProgramKey, kMonitoringRecordFileValue, FChosen.toStdString());
    store.Sync();
    FQueue.Close();
    ShowLabel(QString(), false);
    if (FMonitoring && !FChosen.isEmpty()) {
        Open();
    }
}

void TMonitoringRecording::MonitoringStarted() {
    FMonitoring = true;
    ShowLabel(QString(), false);
    if (!FChosen.isEmpty()) {
        Open();
    }
}

void TMonitoringRecording::MonitoringEnded() {
    FMonitoring = false;
    // The lines still queued are written after this, the window goes on.
    if (FQueue.IsRecording()) {
        FQueue.Close();
        ShowLabel(QString(), false);
    }
}

void TMonitoringRecording::Open() {
    // A file that cannot be opened is reported by the writer, like a write.
    FQueue.Open(FChosen.toStdString());
    ShowLabel(QString::fromUtf8(kRunningText) + FChosen, false);
    if (FNote) {
        FNote(kRunningText + FChosen.toStdString());
    }
}

void TMonitoringRecording::Cycle(TDateTime localTime, const CurrentParamsStruct& params) {
    FQueue.Append(localTime, params);
}

void TMonitoringRecording::Stopped(const std::string& why) {
    ShowLabel(QString::fromStdString(why), true);
    if (FNote) {
        FNote(why);
    }
}

void TMonitoringRecording::ShowLabel(const QString& text, bool failure) {
    FLabel->setStyleSheet(failure ? QStringLiteral("color: #b71c1c;") : QString());
    FLabel->setText(text);
    FLabel->setVisible(!text.isEmpty());
}
