// The main window's "Поиск прибора": the dialog, and the search run as the
// current task like any exchange.
#include "MainFrame.h"
#include "MainFrameTexts.h"
#include "SearchDeviceDialog.h"
#include "ZQSearchTask.h"

#include <QLabel>

void TMainForm::SearchDeviceActionExecute() {
    if (searchDialog == nullptr) {
        searchDialog = new TSearchDeviceDialog(this);
        searchDialog->setObjectName(QStringLiteral("SearchDeviceDialog"));
        connect(searchDialog, &TSearchDeviceDialog::SearchRequested, this,
                [this](int first, int last) {
                    StartTask(std::make_unique<ZQSearchTask>(true, first, last));
                });
        connect(searchDialog, &TSearchDeviceDialog::StopRequested, this,
                &TMainForm::CancelActionExecute);
        connect(searchDialog, &QDialog::accepted, this, [this] {
            statusText->setText(QStringLiteral("Сетевой адрес %1 сохранён в настройках подключения")
                                    .arg(searchDialog->ChosenAddress()));
        });
    }
    ShowSearchState();
    searchDialog->show();
    searchDialog->raise();
    searchDialog->activateWindow();
}

void TMainForm::ShowSearchState() {
    if (searchDialog == nullptr) {
        return;
    }
    const bool running = currentTask && currentTask->GetState() == tsRunning;
    auto* search = dynamic_cast<ZQSearchTask*>(currentTask.get());
    searchDialog->SetExchangeState(running, running && search != nullptr);
    if (search == nullptr) {
        return;
    }
    QString status = FromUtf8(search->GetStatusText());
    if (search->GetState() == tsStopped) {
        status = QStringLiteral("Поиск остановлен");
        if (!search->Finds().empty()) {
            status += QStringLiteral(", найдено приборов: %1").arg(search->Finds().size());
        }
    }
    searchDialog->ShowSearch(search->GetPercent(), status, search->Finds());
}
