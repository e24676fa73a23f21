#include "MeterDialog.h"

#include "PortCombo.h"
#include "ui_MeterFields.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

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
    // The form's fields join the connection's grid, above its rows, so that
    // every control and every label lines up.
    QWidget form;
    FFields->setupUi(&form);
    QGridLayout* grid = FreeTopRows(3);
    const struct {
        QWidget* control;
        QWidget* label;
    } rows[] = {{FFields->NameEdit, FFields->NameEditLabel},
                {FFields->GroupCombo, FFields->GroupComboLabel},
                {FFields->NoteEdit, FFields->NoteEditLabel}};
    for (int row = 0; row < 3; ++row) {
        FFields->MeterFieldsLayout->removeWidget(rows[row].control);
        FFields->MeterFieldsLayout->removeWidget(rows[row].label);
        grid->addWidget(rows[row].control, row, 0);
        grid->addWidget(rows[row].label, row, 1);
    }
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
    QWidget* const order[] = {NameEdit,       GroupCombo,       NoteEdit,     ChanelCombo,
                              ComPortCombo,   NetAddress,       ModemCombo,   PhoneNumber,
                              NetworkAddress, NetworkModeCombo, AllowedPeers, OKButton,
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
