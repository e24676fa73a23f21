#include "SearchDeviceDialog.h"

#include "ChanelKinds.h"
#include "ModbusFrames.h"
#include "Settings.h"
#include "ZQSearchTask.h"
#include "ui_SearchDeviceDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

// The texts of a find's row: address, serial number, version, what answered.
QStringList FindTexts(const DeviceFind& find) {
    return {QString::number(find.address),
            find.serialKnown ? QStringLiteral("%1").arg(find.serial, 9, 10, QLatin1Char('0'))
                             : QString(),
            find.zq ? QString::number(find.Version()) : QString(),
            find.zq ? QStringLiteral("ZQ") : QStringLiteral("Modbus")};
}

}  // namespace

TSearchDeviceDialog::TSearchDeviceDialog(QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TSearchDeviceDialog>()) {
    FUi->setupUi(this);
    ConnectionLabel = FUi->ConnectionLabel;
    FromAddress = FUi->FromAddress;
    ToAddress = FUi->ToAddress;
    StartButton = FUi->StartButton;
    StopButton = FUi->StopButton;
    FoundList = FUi->FoundList;
    SearchProgress = FUi->SearchProgress;
    SearchStatus = FUi->SearchStatus;
    UseAddressButton = FUi->UseAddressButton;
    CloseButton = FUi->CloseButton;

    FromAddress->setRange(ZQSearchTask::kMinAddress, ZQSearchTask::kMaxAddress);
    ToAddress->setRange(ZQSearchTask::kMinAddress, ZQSearchTask::kMaxAddress);
    FromAddress->setValue(ZQSearchTask::kFirstAddress);
    ToAddress->setValue(ZQSearchTask::kLastAddress);
    // The ends stay in order whichever is changed.
    connect(FromAddress, &QSpinBox::valueChanged, this, [this](int value) {
        if (ToAddress->value() < value) {
            ToAddress->setValue(value);
        }
    });
    connect(ToAddress, &QSpinBox::valueChanged, this, [this](int value) {
        if (FromAddress->value() > value) {
            FromAddress->setValue(value);
        }
    });
    FoundList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FoundList->header()->setStretchLastSection(true);

    connect(StartButton, &QPushButton::clicked, this, &TSearchDeviceDialog::StartButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &TSearchDeviceDialog::StopRequested);
    connect(UseAddressButton, &QPushButton::clicked, this,
            &TSearchDeviceDialog::UseAddressButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FoundList, &QTreeWidget::itemSelectionChanged, this,
            &TSearchDeviceDialog::FoundListSelectionChange);
    connect(FoundList, &QTreeWidget::itemActivated, this,
            &TSearchDeviceDialog::UseAddressButtonClick);
}

TSearchDeviceDialog::~TSearchDeviceDialog() = default;

void TSearchDeviceDialog::ShowConnection() {
    ChanelSetupStruct setup;
    LoadChanelSetup(setup);
    ConnectionLabel->setText(QStringLiteral("Подключение: ") +
                             QString::fromStdString(DescribeConnection(setup)));
}

void TSearchDeviceDialog::SetExchangeState(bool running, bool searching) {
    FSearching = searching;
    StartButton->setEnabled(!running);
    StopButton->setEnabled(searching);
    FromAddress->setEnabled(!running);
    ToAddress->setEnabled(!running);
}

void TSearchDeviceDialog::ShowSearch(int percent, const QString& status,
                                     const std::vector<DeviceFind>& finds) {
    SearchProgress->setValue(percent);
    SearchStatus->setText(status);
    for (size_t i = 0; i < finds.size(); ++i) {
        const QStringList texts = FindTexts(finds[i]);
        QTreeWidgetItem* item = static_cast<int>(i) < FoundList->topLevelItemCount()
                                    ? FoundList->topLevelItem(static_cast<int>(i))
                                    : new QTreeWidgetItem(FoundList);
        for (int column = 0; column < texts.size(); ++column) {
            item->setText(column, texts[column]);
        }
        item->setData(0, Qt::UserRole, finds[i].address);
        if (finds[i].exceptionCode >= 0) {
            item->setToolTip(3,
                             QStringLiteral("Исключение Modbus: ") +
                                 QString::fromStdString(ModbusErrorText(finds[i].exceptionCode)));
        }
    }
    if (FoundList->currentItem() == nullptr && FoundList->topLevelItemCount() > 0) {
        FoundList->setCurrentItem(FoundList->topLevelItem(0));
    }
}

void TSearchDeviceDialog::StartButtonClick() {
    FoundList->clear();
    SearchProgress->setValue(0);
    SearchStatus->clear();
    emit SearchRequested(FromAddress->value(), ToAddress->value());
}

// Saves the address as the connection dialog saves the settings: all of
// them, only NetAddress changed.
void TSearchDeviceDialog::UseAddressButtonClick() {
    const QTreeWidgetItem* item = FoundList->currentItem();
    if (item == nullptr) {
        return;
    }
    ChanelSetupStruct setup;
    if (!LoadChanelSetup(setup)) {
        // Saving the defaults would lose the rest of the settings.
        SearchStatus->setText(QStringLiteral("Настройки подключения не прочитаны"));
        return;
    }
    setup.NetAddress = item->data(0, Qt::UserRole).toInt();
    if (!SaveChanelSetup(setup)) {
        SearchStatus->setText(QStringLiteral("Настройки подключения не сохранены"));
        return;
    }
    FChosenAddress = setup.NetAddress;
    accept();
}

void TSearchDeviceDialog::FoundListSelectionChange() {
    const bool chosen = FoundList->currentItem() != nullptr;
    UseAddressButton->setEnabled(chosen);
    UseAddressButton->setDefault(chosen);
    StartButton->setDefault(!chosen);
}

void TSearchDeviceDialog::showEvent(QShowEvent* event) {
    ShowConnection();
    QDialog::showEvent(event);
}

void TSearchDeviceDialog::done(int result) {
    if (FSearching) {
        emit StopRequested();
    }
    QDialog::done(result);
}
