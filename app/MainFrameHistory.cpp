// The main window's questions that keep the document's history whole: a
// missing-part read that meets another device, a save of more records than
// the file holds.
#include "MainFrame.h"

#include "ArchiveFile.h"
#include "MainFrameTexts.h"
#include "TextFormat.h"
#include "ZQReadAllParamsTask.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

bool TMainForm::AskYesNo(const QString& objectName, const QString& statement,
                         const QString& question) {
    // The statement on one line (a short one: no wrap parts "№" from its
    // number), the question under it.
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kCaption), statement,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(objectName);
    box.setInformativeText(question);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(statement) + 2);
    }
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool TMainForm::AskOtherDevice() {
    if (currentTask->GetTaskType() != kTaskReadAll) {
        return false;
    }
    auto* read = static_cast<ZQReadAllParamsTask*>(currentTask.get());
    if (!read->AwaitsOtherDeviceAnswer()) {
        return false;
    }
    const uint32_t device = taskValve.Current.Serial;
    const QString statement = FromUtf8(FormatText(
        "Документ прибора № %09u, подключён прибор № %09u.", read->DocumentSerial(), device));
    const QString question =
        FromUtf8(FormatText("Заменить документ данными прибора № %09u?", device));
    // The task waits at its step with the channel open; no tick may reach
    // it (nor ask again) while the box is open. A line lost meanwhile ends
    // it on its own.
    TaskTimer->stop();
    const bool replace = AskYesNo(QStringLiteral("OtherDeviceBox"), statement, question);
    TaskTimer->start();
    if (read->GetState() != tsRunning) {
        return false;
    }
    if (replace) {
        read->ReadOtherDeviceWhole();
        return false;
    }
    FinishTask(true, false);
    statusText->setText(QStringLiteral("Чтение прервано: документ не изменён"));
    return true;
}

bool TMainForm::AskSaveWithoutOldest() {
    const std::array<size_t, 4> beyond = RecordsBeyondFile(documentValve);
    static const char* const kLists[4] = {"часовой архив", "суточный архив", "месячный архив",
                                          "журнал"};
    QStringList counts;
    for (int kind = 0; kind < 4; ++kind) {
        if (beyond[kind] > 0) {
            counts << FromUtf8(FormatText("%s — %zu", kLists[kind], beyond[kind]));
        }
    }
    if (counts.isEmpty()) {
        return true;
    }
    return AskYesNo(QStringLiteral("SaveWithoutOldestBox"),
                    FromUtf8(FormatText("Файл вмещает не более %zu записей в каждом списке.",
                                        kArchiveFileMaxRecords)),
                    QStringLiteral("Самые старые записи не будут сохранены: ") +
                        counts.join(QStringLiteral(", ")) +
                        QStringLiteral(". Сохранить файл без них?"));
}
