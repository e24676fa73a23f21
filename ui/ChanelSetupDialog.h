#pragma once

#include "ChanelSetupStruct.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QGridLayout;
class QVBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TPortCombo;

namespace Ui {
class TChanelSetup;
}

// "Настройка подключения": edits the stored connection settings. Loads them
// on construction, saves them only when closed with OK. Only the network
// address and the peer list are checked: a malformed one keeps the dialog
// open with the reason under the fields, and nothing is saved. Beside the
// port box it shows the device the port name reaches.
class TChanelSetup : public QDialog {
    Q_OBJECT

public:
    // `parent` is the main window; the dialog opens centred on it.
    explicit TChanelSetup(QWidget* parent = nullptr);
    ~TChanelSetup() override;

    // OK (Accepted) saves the values as the controls hold them, enabled or
    // not, once the network fields are well-formed; any other result saves
    // nothing.
    void done(int result) override;

    // The connection as the controls hold it, enabled or not (a stored type
    // that names no item of ChanelCombo kept).
    ChanelSetupStruct Values() const;

    QComboBox* ChanelCombo = nullptr;
    TPortCombo* ComPortCombo = nullptr;
    QComboBox* ModemCombo = nullptr;
    QLineEdit* PhoneNumber = nullptr;
    QSpinBox* MonitoringInterval = nullptr;
    QSpinBox* NetAddress = nullptr;
    QLineEdit* NetworkAddress = nullptr;
    QComboBox* NetworkModeCombo = nullptr;
    QLineEdit* AllowedPeers = nullptr;
    QLabel* PortDeviceLabel = nullptr;
    // Under the peer list while waiting for a call with the list empty:
    // every caller is then let in.
    QLabel* AllowedPeersNote = nullptr;
    QLabel* NetworkErrorLabel = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    // A dialog of the same fields over `setup` rather than the stored
    // settings (a meter of the register): what OK keeps is Keep's.
    TChanelSetup(const ChanelSetupStruct& setup, QWidget* parent);
    // Called by OK once the network fields are well-formed: keeps the values
    // (here: saves the settings). A text (and the field to mend in `field`)
    // keeps the dialog open with that text under the fields.
    virtual QString Keep(QWidget** field);
    // Moves every field `rows` rows down the fields' grid (a control in
    // column 0, its label in column 1) and returns the grid, its first
    // `rows` rows free for fields of a derived dialog.
    QGridLayout* FreeTopRows(int rows);

private:
    void Connect();
    void LoadControls(const ChanelSetupStruct& setup);
    void ChanelComboChange();
    // The reason the network fields cannot be saved, and the field to mend
    // in `field`; empty when they can.
    QString CheckNetworkFields(QWidget** field) const;
    void UpdatePortDevice();

    std::unique_ptr<Ui::TChanelSetup> FUi;
    // The stored connection type, kept when it names no item of ChanelCombo.
    int FLoadedChanel = 0;
};
