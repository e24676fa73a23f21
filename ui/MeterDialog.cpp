#include "MeterDialog.h"

#include "PortCombo.h"
#include "ui_MeterFields.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A meter's Modbus address, as the register takes it.
constexpr int kMinMeterAddress = 1;
constexpr int kMaxMeterAddress = 247;

}  // namespace

TMeterDialog::TMeterDialog(const Meter& meter, const QStringList& groups, KeepMeter keep,
                           QWidget* parent)
    : TChanelSetup(meter.connection, parent),
      FFields(std::make_unique<Ui::TMeterFields>()),
      FMeter(meter),
      FKeep(std::move(keep)) {
    auto* fields = new QWidget(this);
    FFields->setupUi(fields);
    DialogLayout()->insertWidget(0, fields);
    NameEdit = FFields->NameEdit;
    GroupCombo = FFields->GroupCombo;
    NoteEdit = FFields->NoteEdit;
    setWindowTitle(meter.name.empty()
                       ? QStringLiteral("Новый прибор")
                       : QStringLiteral("Прибор «%1»").arg(QString::fromStdString(meter.name)));

    NameEdit->setText(QString::fromStdString(meter.name));
    GroupCombo->addItems(groups);
    GroupCombo->setCurrentIndex(-1);
    GroupCombo->setEditText(QString::fromStdString(meter.group));
    NoteEdit->setText(QString::fromStdString(meter.note));
    NetAddress->setRange(kMinMeterAddress, kMaxMeterAddress);
    NetAddress->setValue(std::max(meter.connection.NetAddress, kMinMeterAddress));
    MonitoringInterval->hide();
    if (auto* label = findChild<QLabel*>(QStringLiteral("MonitoringIntervalLabel"))) {
        label->hide();
    }
    // The meter's own fields first, then the connection's from top to
    // bottom, then the buttons.
    QWidget* const order[] = {NameEdit,         GroupCombo,       NoteEdit,     ChanelCombo,
                              ComPortCombo,     NetAddress,       ModemCombo,   PhoneNumber,
                              NetworkAddress,   NetworkModeCombo, AllowedPeers, OKButton,
                              CancelButton};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    NameEdit->setFocus();
}

TMeterDialog::~TMeterDialog() = default;

Meter TMeterDialog::Value() const {
    Meter meter = FMeter;
    meter.name = NameEdit->text().trimmed().toStdString();
    meter.group = GroupCombo->currentText().trimmed().toStdString();
    meter.note = NoteEdit->text().trimmed().toStdString();
    meter.connection = Values();
    meter.connection.MonitoringInterval = FMeter.connection.MonitoringInterval;
    return meter;
}

QString TMeterDialog::Keep(QWidget** field) {
    *field = NameEdit;
    return FKeep ? FKeep(Value()) : QString();
}
