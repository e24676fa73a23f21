// "Экспорт в Excel" of the main window.
#include "MainFrame.h"

#include "ExportWorkbook.h"
#include "MainFrameTexts.h"
#include "TExcelExport.h"
#include "WorkbookLauncher.h"
#include "ZQArchive.h"
#include "ZQCurrentParams.h"
#include "ZQSetupParams.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

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
        ShowWorkbookNotOpened(path);
    }
}

bool TMainForm::OpenWorkbook(const QString& path) {
    if (!workbookLauncher) {
        workbookLauncher = new WorkbookLauncher(this);
        workbookLauncher->setObjectName(QStringLiteral("WorkbookLauncher"));
        connect(workbookLauncher, &WorkbookLauncher::NotOpened, this,
                &TMainForm::ShowWorkbookNotOpened);
    }
    return workbookLauncher->Open(path);
}

void TMainForm::ShowWorkbookNotOpened(const QString& path) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kCaption),
                    QStringLiteral("Книга записана в файл\n%1\nНе удалось открыть её программой "
                                   "для таблиц: откройте файл вручную.")
                        .arg(path),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ExportOpenBox"));
    box.exec();
}
