// The main window's "Приборы": the window of many meters, and a meter's
// history from it shown on the six pages.
#include "MainFrame.h"
#include "MainFrameTexts.h"
#include "MetersForm.h"
#include "TExcelExport.h"
#include "ZQArchive.h"
#include "ZQCurrentParams.h"
#include "ZQSetupParams.h"
#include "ui_MainFrame.h"

#include <QLabel>
#include <QMessageBox>

void TMainForm::MetersActionExecute() {
    if (metersForm == nullptr) {
        metersForm = new TMetersForm(this);
        metersForm->setObjectName(QStringLiteral("MetersForm"));
        metersForm->setWindowIcon(windowIcon());
        connect(metersForm, &TMetersForm::HistoryLoaded, this, &TMainForm::ShowHistory);
        // The consumption report opens as an exported workbook does.
        connect(metersForm, &TMetersForm::WorkbookWritten, this,
                [](const QString& path) { TExcelExport::OpenFile(path.toStdString()); });
        // Over the main window, a little down and to the right of its corner.
        metersForm->move(frameGeometry().topLeft() + QPoint(40, 60));
    }
    metersForm->show();
    metersForm->raise();
    metersForm->activateWindow();
}

bool TMainForm::ShowHistory(const QString& name, const ZQValve& whole) {
    if (currentTask && currentTask->GetState() == tsRunning) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kCaption),
                        QStringLiteral("Идёт обмен с прибором: история прибора «%1» будет "
                                       "показана, когда он закончится или будет отменён.")
                            .arg(name),
                        QMessageBox::Ok, metersForm ? static_cast<QWidget*>(metersForm) : this);
        box.setObjectName(QStringLiteral("HistoryRefusedBox"));
        box.exec();
        return false;
    }
    documentValve = whole;
    ShowValve(documentValve);
    documentOpen = true;
    statusText->setText(QStringLiteral("История прибора «%1»: часовых записей %2, суточных %3, "
                                       "месячных %4, событий %5")
                            .arg(name)
                            .arg(whole.HourArchive.size())
                            .arg(whole.DayArchive.size())
                            .arg(whole.MonthArchive.size())
                            .arg(whole.Journal.size()));
    setWindowTitle(QString::fromUtf8(kCaption) + QStringLiteral(" — история прибора «") + name +
                   QStringLiteral("»"));
    titleNamesMeter = true;
    raise();
    activateWindow();
    return true;
}
