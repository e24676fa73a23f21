#include "ChanelSetupDialog.h"

#include "NetEndpoint.h"
#include "PortCombo.h"
#include "PortInfo.h"
#include "Settings.h"
#include "TNetQueueIDChanel.h"
#include "TTapiVault.h"
#include "ui_ChanelSetupDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>

#include <vector>

namespace {

// Sets an editable combo's text, choosing the item of that text when there
// is one; a text that names no item stays as it is.
void SetComboText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index);
    if (index < 0) {
        combo->setEditText(text);
    }
}

}  // namespace

TChanelSetup::TChanelSetup(QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TChanelSetup>()) {
    Connect();
    // A store that cannot be read gives the defaults.
    ChanelSetupStruct setup;
    LoadChanelSetup(setup);
    LoadControls(setup);
}

TChanelSetup::TChanelSetup(const ChanelSetupStruct& setup, QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TChanelSetup>()) {
    Connect();
    LoadControls(setup);
}

void TChanelSetup::Connect() {
    FUi->setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    ChanelCombo = FUi->ChanelCombo;
    ComPortCombo = FUi->ComPortCombo;
    ModemCombo = FUi->ModemCombo;
    PhoneNumber = FUi->PhoneNumber;
    MonitoringInterval = FUi->MonitoringInterval;
    NetAddress = FUi->NetAddress;
    NetworkAddress = FUi->NetworkAddress;
    NetworkModeCombo = FUi->NetworkModeCombo;
    AllowedPeers = FUi->AllowedPeers;
    PortDeviceLabel = FUi->PortDeviceLabel;
    AllowedPeersNote = FUi->AllowedPeersNote;
    NetworkErrorLabel = FUi->NetworkErrorLabel;
    OKButton = FUi->OKButton;
    CancelButton = FUi->CancelButton;
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TChanelSetup::~TChanelSetup() = default;

void TChanelSetup::LoadControls(const ChanelSetupStruct& setup) {
    FLoadedChanel = setup.CurrentChanel;
    ChanelCombo->setCurrentIndex(setup.CurrentChanel);
    PhoneNumber->setText(QString::fromStdString(setup.PhoneNumber));
    MonitoringInterval->setValue(setup.MonitoringInterval);
    NetAddress->setValue(setup.NetAddress);
    NetworkAddress->setText(QString::fromStdString(setup.NetworkAddress));
    NetworkModeCombo->setCurrentIndex(
        setup.NetworkMode >= 0 && setup.NetworkMode < NetworkModeCombo->count() ? setup.NetworkMode
                                                                                : 0);
    AllowedPeers->setText(QString::fromStdString(setup.AllowedPeers));
    // The ports as they are now; the stored name stays in the field whether
    // or not it is listed.
    ComPortCombo->Refresh();
    SetComboText(ComPortCombo, QString::fromStdString(setup.ComPortName));
    if (TTapi* tapi = TapiVault.Get()) {
        for (unsigned i = 0; i < tapi->GetDeviceCount(); ++i) {
            ModemCombo->addItem(QString::fromStdString(tapi->GetDeviceName(i)));
        }
    }
    SetComboText(ModemCombo, QString::fromStdString(setup.ModemName));
    ChanelComboChange();
    connect(ChanelCombo, &QComboBox::currentIndexChanged, this, &TChanelSetup::ChanelComboChange);
    connect(NetworkModeCombo, &QComboBox::currentIndexChanged, this,
            &TChanelSetup::ChanelComboChange);
    connect(AllowedPeers, &QLineEdit::textChanged, this, &TChanelSetup::ChanelComboChange);
    connect(ComPortCombo, &QComboBox::editTextChanged, this, &TChanelSetup::UpdatePortDevice);
    connect(ComPortCombo, &TPortCombo::PortsRead, this, &TChanelSetup::UpdatePortDevice);
    UpdatePortDevice();
}

void TChanelSetup::ChanelComboChange() {
    const int type = ChanelCombo->currentIndex();
    ComPortCombo->setEnabled(type == 0);
    PortDeviceLabel->setEnabled(type == 0);
    ModemCombo->setEnabled(type == 1);
    PhoneNumber->setEnabled(type == 1);
    NetworkAddress->setEnabled(type == 2);
    NetworkModeCombo->setEnabled(type == 2);
    const bool listening = NetworkModeCombo->currentIndex() == nmListen;
    AllowedPeers->setEnabled(type == 2 && listening);
    const bool anyCaller =
        type == 2 && listening && SplitPeerList(AllowedPeers->text().toStdString()).empty();
    AllowedPeersNote->setVisible(anyCaller);
    // A screen reader says it with the field.
    AllowedPeers->setAccessibleDescription(anyCaller ? AllowedPeersNote->text() : QString());
    NetworkAddress->setPlaceholderText(listening ? QStringLiteral("[адрес:]порт")
                                                 : QStringLiteral("узел:порт"));
}

QString TChanelSetup::CheckNetworkFields(QWidget** field) const {
    *field = NetworkAddress;
    const std::string address = NetworkAddress->text().trimmed().toStdString();
    const bool network = ChanelCombo->currentIndex() == 2;
    std::string error;
    // A network address is needed for the network; one typed for later
    // must be well-formed too.
    if (network || !address.empty()) {
        const bool valid = NetworkModeCombo->currentIndex() == nmListen
                               ? ParseListenAddress(address, &error).has_value()
                               : ParseConnectAddress(address, &error).has_value();
        if (!valid) {
            return QString::fromStdString(error);
        }
    }
    if (!CheckPeerList(AllowedPeers->text().toStdString(), &error)) {
        *field = AllowedPeers;
        return QString::fromStdString(error);
    }
    return {};
}

void TChanelSetup::done(int result) {
    if (result == QDialog::Accepted) {
        QWidget* field = nullptr;
        QString error = CheckNetworkFields(&field);
        if (error.isEmpty()) {
            error = Keep(&field);
        }
        if (!error.isEmpty()) {
            NetworkErrorLabel->setText(error);
            NetworkErrorLabel->setVisible(true);
            if (field != nullptr) {
                field->setFocus();
            }
            return;
        }
    }
    QDialog::done(result);
}

ChanelSetupStruct TChanelSetup::Values() const {
    ChanelSetupStruct setup;
    // A stored type that names no item leaves the combo without a selection;
    // it is written back as it was.
    setup.CurrentChanel =
        ChanelCombo->currentIndex() >= 0 ? ChanelCombo->currentIndex() : FLoadedChanel;
    setup.NetAddress = NetAddress->value();
    setup.ComPortName = ComPortCombo->currentText().toStdString();
    setup.ModemName = ModemCombo->currentText().toStdString();
    setup.PhoneNumber = PhoneNumber->text().toStdString();
    setup.MonitoringInterval = MonitoringInterval->value();
    setup.NetworkAddress = NetworkAddress->text().trimmed().toStdString();
    setup.NetworkMode = NetworkModeCombo->currentIndex();
    setup.AllowedPeers = AllowedPeers->text().trimmed().toStdString();
    return setup;
}

QString TChanelSetup::Keep(QWidget**) {
    SaveChanelSetup(Values());
    return {};
}

QGridLayout* TChanelSetup::FreeTopRows(int rows) {
    QGridLayout* grid = FUi->FieldsLayout;
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
        Qt::Alignment alignment;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed p{};
        grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(0);
        p.alignment = p.item->alignment();
        placed.push_back(p);
    }
    for (const Placed& p : placed) {
        grid->addItem(p.item, p.row + rows, p.column, p.rowSpan, p.columnSpan, p.alignment);
    }
    return grid;
}

// "→ /dev/ttyUSB0, FTDI FT232R USB UART (A10K1234)" when the name reaches an
// existing device (what is behind it, when known, after the comma), the path
// it would open and "устройство не найдено" when that does not exist, or
// "устройство не найдено" alone. The label shows it elided in the middle
// when it is too long for the dialog (its tool tip and its accessible name
// are the whole text); the port box carries it as its accessible
// description.
void TChanelSetup::UpdatePortDevice() {
    comprt::PortSystem system;
    system.root = TPortCombo::SystemRoot();
    const comprt::PortInfo port =
        comprt::DescribePort(ComPortCombo->currentText().toStdString(), system);
    const QString device = QString::fromStdString(port.device);
    const QString description = QString::fromStdString(port.description);
    QString text;
    if (port.present) {
        text = QStringLiteral("→ ") + device +
               (description.isEmpty() ? QString() : QStringLiteral(", ") + description);
    } else if (!device.isEmpty()) {
        text = QStringLiteral("→ ") + device + QStringLiteral(": ") + description;
    } else {
        text = QString::fromUtf8(comprt::kTextNoDevice);
    }
    ComPortCombo->setAccessibleDescription(text);
    PortDeviceLabel->setText(text);
}
