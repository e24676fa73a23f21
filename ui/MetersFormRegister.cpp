// The "Приборы" window's register commands: a meter added, changed or
// removed, and .arch files imported into a meter's history.
#include "ArchiveFile.h"
#include "Exception.h"
#include "HistoryStore.h"
#include "MeterDialog.h"
#include "MeterRegister.h"
#include "MetersForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TMetersForm::AddExecute() {
    if (!FDatabase) {
        return;
    }
    Meter meter;
    meter.connection.NetAddress = 1;
    if (const MeterSummary* current = CurrentMeter()) {
        // A new meter of the same group, as often as not on the same line.
        meter.group = current->meter.group;
    }
    std::string added;
    TMeterDialog dialog(
        meter, Groups(),
        [this, &added](const Meter& m) {
            try {
                MeterRegister(*FDatabase).Add(m);
            } catch (const std::exception& e) {
                return QString::fromUtf8(e.what());
            }
            added = m.name;
            return QString();
        },
        this);
    dialog.setObjectName(QStringLiteral("MeterDialog"));
    if (dialog.exec() == QDialog::Accepted) {
        Reload();
        StatusLabel->setText(QStringLiteral("Прибор «%1» добавлен в реестр").arg(FromUtf8(added)));
    }
}

void TMetersForm::EditExecute() {
    const MeterSummary* current = CurrentMeter();
    if (!FDatabase || current == nullptr) {
        return;
    }
    const std::string name = current->meter.name;
    TMeterDialog dialog(
        current->meter, Groups(),
        [this, &name](const Meter& m) {
            try {
                MeterRegister(*FDatabase).Update(name, m);
            } catch (const std::exception& e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        },
        this);
    dialog.setObjectName(QStringLiteral("MeterDialog"));
    if (dialog.exec() == QDialog::Accepted) {
        Reload();
        StatusLabel->setText(QStringLiteral("Прибор «%1» изменён").arg(FromUtf8(name)));
    }
}

void TMetersForm::RemoveExecute() {
    const MeterSummary* current = CurrentMeter();
    if (!FDatabase || current == nullptr || RoundRunning()) {
        return;
    }
    const std::string name = current->meter.name;
    if (!AskYesNo(QStringLiteral("Удалить прибор «%1» из реестра?").arg(FromUtf8(name)),
                  QStringLiteral("Его история останется в базе данных."))) {
        return;
    }
    try {
        MeterRegister(*FDatabase).Remove(name, false);
    } catch (const std::exception& e) {
        ShowFailure(QStringLiteral("FailureBox"), QString::fromUtf8(e.what()));
        return;
    }
    Reload();
    StatusLabel->setText(
        QStringLiteral("Прибор «%1» удалён из реестра; его история осталась в базе данных")
            .arg(FromUtf8(name)));
}

void TMetersForm::ImportExecute() {
    if (CurrentMeter() == nullptr) {
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Импорт архивов"));
    dialog.setObjectName(QStringLiteral("ImportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("Файлы архива (*.arch)"));
    if (dialog.exec() == QDialog::Accepted) {
        ImportFiles(dialog.selectedFiles());
    }
}

void TMetersForm::ImportFiles(const QStringList& paths) {
    const MeterSummary* current = CurrentMeter();
    if (!FDatabase || current == nullptr || paths.isEmpty()) {
        return;
    }
    const Meter meter = current->meter;
    HistoryStore store(*FDatabase);
    std::array<size_t, 4> added{};
    int imported = 0;
    QStringList refused;
    setCursor(Qt::BusyCursor);
    // Each file in a transaction of its own: one refused leaves the others'.
    for (const QString& path : paths) {
        try {
            ZQValve file;
            ReadArchiveFile(path.toStdString(), file);
            const std::array<size_t, 4> stored = store.Import(meter.id, file);
            for (size_t kind = 0; kind < added.size(); ++kind) {
                added[kind] += stored[kind];
            }
            ++imported;
        } catch (const std::exception& e) {
            refused << QFileInfo(path).fileName() + QStringLiteral(": ") +
                           QString::fromUtf8(e.what());
        }
    }
    unsetCursor();
    Reload();
    StatusLabel->setText(
        QStringLiteral("«%1»: импортировано файлов: %2 из %3; новых записей: часовых %4, "
                       "суточных %5, месячных %6, событий %7")
            .arg(FromUtf8(meter.name))
            .arg(imported)
            .arg(paths.size())
            .arg(added[0])
            .arg(added[1])
            .arg(added[2])
            .arg(added[3]));
    if (!refused.isEmpty()) {
        ShowFailure(QStringLiteral("ImportFailureBox"),
                    QStringLiteral("Не импортированы:\n") + refused.join(QLatin1Char('\n')));
    }
}
