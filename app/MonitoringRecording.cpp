#include "MonitoringRecording.h"

#include "ElidedLabel.h"
#include "Exception.h"
#include "SettingsStore.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>

namespace {

const char* const kCsvFilter = "Файлы CSV (*.csv)";
const char* const kRunningText = "Запись мониторинга: ";
const char* const kActionToolTip = "Записывать мониторинг в файл CSV";

}  // namespace

TMonitoringRecording::TMonitoringRecording(QWidget* window, QAction* action, QStatusBar* statusBar,
                                           std::function<void(const std::string&)> note)
    : QObject(window), FWindow(window), FAction(action), FNote(std::move(note)) {
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
}

TMonitoringRecording::~TMonitoringRecording() = default;

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
    Choose(dialog.selectedFiles().constFirst());
}

void TMonitoringRecording::Choose(const QString& path) {
    FChosen = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    ShowChoice();
    SettingsStore store;
    store.WriteString(kProgramKey, kMonitoringRecordFileValue, FChosen.toStdString());
    store.Sync();
    FRecorder.Close();
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
    if (FRecorder.IsOpen()) {
        FRecorder.Close();
        ShowLabel(QString(), false);
    }
}

void TMonitoringRecording::Open() {
    try {
        FRecorder.Open(FChosen.toStdString());
    } catch (const Exception& e) {
        Stopped(e.what());
        return;
    }
    ShowLabel(QString::fromUtf8(kRunningText) + FChosen, false);
    if (FNote) {
        FNote(kRunningText + FChosen.toStdString());
    }
}

void TMonitoringRecording::Cycle(TDateTime localTime, const CurrentParamsStruct& params) {
    if (!FRecorder.IsOpen()) {
        return;
    }
    try {
        FRecorder.Append(localTime, params);
    } catch (const Exception& e) {
        Stopped(e.what());
    }
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
