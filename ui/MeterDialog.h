#pragma once

#include "ChanelSetupDialog.h"
#include "Meter.h"

#include <QStringList>

#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;

namespace Ui {
class TMeterFields;
}

// A meter of the register, added or changed: its name, group and note above
// the connection dialog's own fields (connection type, port and the device
// it reaches, modem and phone, network address, mode and the peers let in,
// the device's Modbus address 1..247), checked as there. OK hands the meter
// to `keep`, which stores it in the register; the register's refusal (a
// name taken, a field it cannot hold) keeps the dialog open with the reason
// under the fields. The monitoring interval plays no part in a round.
class TMeterDialog : public TChanelSetup {
    Q_OBJECT

public:
    // The stored meter, or the empty text.
    using KeepMeter = std::function<QString(const Meter& meter)>;

    // `meter` as it is now (a new one: empty name, id 0); `groups` offered
    // in the group box.
    TMeterDialog(const Meter& meter, const QStringList& groups, KeepMeter keep,
                 QWidget* parent = nullptr);
    ~TMeterDialog() override;

    // The meter as the fields hold it (its id and serial number as given).
    Meter Value() const;

    QLineEdit* NameEdit = nullptr;
    QComboBox* GroupCombo = nullptr;
    QLineEdit* NoteEdit = nullptr;

protected:
    QString Keep(QWidget** field) override;

private:
    std::unique_ptr<Ui::TMeterFields> FFields;
    Meter FMeter;
    KeepMeter FKeep;
};
