#pragma once

#include <QDialog>

#include <memory>
#include <vector>

struct DeviceFind;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace Ui {
class TSearchDeviceDialog;
}

// "Поиск прибора": the range of addresses to ask, the devices found as they
// are found, and the use of one device's address. The dialog runs nothing
// itself: the main window runs the search as its current task (so that
// "Отмена обмена" stops it) and shows the task's progress and finds here.
// Modeless; closing it stops a search it started. GUI thread only.
class TSearchDeviceDialog : public QDialog {
    Q_OBJECT

public:
    explicit TSearchDeviceDialog(QWidget* parent = nullptr);
    ~TSearchDeviceDialog() override;

    // Names the connection the search will go over, as the settings hold it
    // now; called each time the dialog is shown.
    void ShowConnection();
    // Whether an exchange runs (no search can start then) and whether it is
    // this dialog's search (it can be stopped).
    void SetExchangeState(bool running, bool searching);
    // The search's progress 0..100, its status text and the devices found so
    // far (rows are added and completed, never taken away until the next
    // search starts).
    void ShowSearch(int percent, const QString& status, const std::vector<DeviceFind>& finds);

    // OK (Accepted) means the chosen device's address was saved as the
    // connection's NetAddress.
    int ChosenAddress() const { return FChosenAddress; }

    QLabel* ConnectionLabel = nullptr;
    QSpinBox* FromAddress = nullptr;
    QSpinBox* ToAddress = nullptr;
    QPushButton* StartButton = nullptr;
    QPushButton* StopButton = nullptr;
    QTreeWidget* FoundList = nullptr;
    QProgressBar* SearchProgress = nullptr;
    QLabel* SearchStatus = nullptr;
    QPushButton* UseAddressButton = nullptr;
    QPushButton* CloseButton = nullptr;

signals:
    // The user asks for a search of the addresses first..last.
    void SearchRequested(int first, int last);
    // The user stops the search (the Stop button, or closing the dialog
    // while it runs).
    void StopRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void StartButtonClick();
    void UseAddressButtonClick();
    void FoundListSelectionChange();

    std::unique_ptr<Ui::TSearchDeviceDialog> FUi;
    bool FSearching = false;
    int FChosenAddress = 0;
};
