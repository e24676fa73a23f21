// "Отчёт о потреблении...": the consumption report of the register's meters
// (or a group's) for a period, written as a workbook.
#include "ConsumptionReport.h"
#include "ConsumptionReportDialog.h"
#include "MetersForm.h"
#include "ReportWorkbook.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

void TMetersForm::ConsumptionReportExecute() {
    if (!FDatabase) {
        return;
    }
    const QString shown = GroupCombo->currentIndex() > 0 ? GroupCombo->currentText() : QString();
    TConsumptionReportDialog period(Groups(), shown, this);
    period.setObjectName(QStringLiteral("ConsumptionReportDialog"));
    if (period.exec() != QDialog::Accepted) {
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Сохранить отчёт о потреблении"));
    dialog.setObjectName(QStringLiteral("ReportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    dialog.setNameFilter(QStringLiteral("Книги Excel (*.xlsx)"));
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    dialog.selectFile(
        QStringLiteral("Отчёт о потреблении %1 — %2.xlsx")
            .arg(period.From().toString(Qt::ISODate), period.To().toString(Qt::ISODate)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    WriteConsumptionReport(period.From(), period.To(), period.Group(),
                           dialog.selectedFiles().constFirst());
}

bool TMetersForm::WriteConsumptionReport(const QDate& from, const QDate& to,
                                         const std::optional<std::string>& group,
                                         const QString& path) {
    if (!FDatabase) {
        return false;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QString error;
    try {
        WriteReportWorkbook(MakeConsumptionReport(*FDatabase, from, to, group),
                            QDir::toNativeSeparators(path).toStdString());
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty()) {
        ShowFailure(QStringLiteral("ReportFailureBox"), error);
        return false;
    }
    emit WorkbookWritten(path);
    return true;
}
