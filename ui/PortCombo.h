#pragma once

#include <QComboBox>

#include <string>
#include <vector>

namespace comprt {
struct PortInfo;
}
class QFileSystemWatcher;
class QStandardItemModel;
class QTimer;

// The port box of the connection dialog: an editable combo whose list shows
// each port as a row of three columns, the name, the device it reaches and
// what is behind it (PortInfo.h), and under a USB adapter its stable
// /dev/serial/by-id/ path as a name of its own. The edit text is always a
// plain name; any name can be typed.
//
// The list is read again when it is opened (and by Refresh), and follows
// /dev, /dev/serial/by-id and the port folder while the box exists: an
// adapter plugged in or pulled out shows within a moment. GUI thread only.
class TPortCombo : public QComboBox {
    Q_OBJECT

public:
    explicit TPortCombo(QWidget* parent = nullptr);
    ~TPortCombo() override;

    // Reads the ports afresh; the edit text stays as it is.
    void Refresh();
    void showPopup() override;

    // The folder that stands for "/" when ports are described (default "/"):
    // tests and the screenshots point it at a tree of their own. Applies to
    // every box, from its next Refresh.
    static void SetSystemRoot(const std::string& root);
    static std::string SystemRoot();

signals:
    // The list was read again (the device behind the typed name may have
    // come or gone).
    void PortsRead();

private:
    void Fill(const std::vector<comprt::PortInfo>& ports);
    void Watch();
    void FitPopupWidth();

    QStandardItemModel* FModel = nullptr;
    QFileSystemWatcher* FWatcher = nullptr;
    QTimer* FSettle = nullptr;  // waits for udev to finish before reading
};
