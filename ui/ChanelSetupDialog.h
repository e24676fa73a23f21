#pragma once

#include <QDialog>

#include <memory>

class QComboBox;
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

private:
    void FormCreate();
    void FormClose();
    void ChanelComboChange();
    // The reason the network fields cannot be saved, and the field to mend
    // in `field`; empty when they can.
    QString CheckNetworkFields(QWidget** field) const;
    void UpdatePortDevice();

    std::unique_ptr<Ui::TChanelSetup> FUi;
    // The stored connection type, kept when it names no item of ChanelCombo.
    int FLoadedChanel = 0;
};
