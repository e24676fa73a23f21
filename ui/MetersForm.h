#pragma once

#include "FleetDatabase.h"
#include "Meter.h"
#include "MeterOverview.h"
#include "ZQValve.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDate;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class TMeterRound;
class TMetersFilter;
class TMetersModel;
struct MeterOutcome;

namespace Ui {
class TMetersForm;
}

// "Приборы": the register of meters in the history database, with each
// meter's last read and its outcome and the records held, filtered by group
// and a search text; the register edited ("Добавить", "Изменить",
// "Удалить"), .arch files imported into a meter's history, a round of the
// selected meters (none selected: all shown) run on a thread of its own and
// stopped, and one meter's whole history handed to the main window
// (HistoryLoaded).
//
// The window reads the database while rounds write (its own, a timer's,
// another computer's) and never holds a transaction open; every 5 s it looks
// at the read log and shows the list anew when a read or a round has ended
// or the register has grown or shrunk. The database is ZQ_FLEET_DB when set,
// else the one chosen with "База данных..." (the settings). A separate,
// non-modal window. GUI thread only.
class TMetersForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMetersForm(QWidget* parent = nullptr);
    ~TMetersForm() override;

    // The commands (the buttons' handlers).
    void AddExecute();
    void EditExecute();
    void RemoveExecute();
    void ImportExecute();
    void RoundExecute();
    void StopExecute();
    void HistoryExecute();
    void DatabaseExecute();
    // "Отчёт о потреблении...": the period and the group asked, then where
    // to save the workbook; WriteConsumptionReport writes it.
    void ConsumptionReportExecute();
    // The consumption report of the period (whole days `from`..`to`) and
    // the group (none: every group) as a workbook at `path`, which is then
    // handed on (WorkbookWritten). A failure is shown in a box and leaves
    // no file. True when written.
    bool WriteConsumptionReport(const QDate& from, const QDate& to,
                                const std::optional<std::string>& group, const QString& path);

    // Brings `paths` (.arch files) into the history of the selected meter,
    // each file on its own; a file refused (another device's, unreadable)
    // is named in a box with its reason. The files the dialog gives go here.
    void ImportFiles(const QStringList& paths);

    // Opens the database the window uses (FDatabase) when it is not open,
    // and shows its meters anew. False when it cannot be opened (the reason
    // shows in the window).
    bool Reload();
    bool RoundRunning() const;

    QLabel* DatabaseLabel = nullptr;
    QPushButton* DatabaseButton = nullptr;
    QComboBox* GroupCombo = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QTableView* MetersView = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* EditButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ImportButton = nullptr;
    QPushButton* HistoryButton = nullptr;
    QPushButton* ConsumptionReportButton = nullptr;
    QPushButton* RoundButton = nullptr;
    QPushButton* StopButton = nullptr;
    QLabel* RoundTotals = nullptr;
    QLabel* StatusLabel = nullptr;

signals:
    // "Открыть историю": meter `name`'s whole history (every record, newest
    // first; the parameters of its last read).
    void HistoryLoaded(const QString& name, const ZQValve& whole);
    // A workbook written (the consumption report), to be opened with the
    // desktop's program.
    void WorkbookWritten(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Opens `target` in place of the database in use; the reason it cannot.
    QString UseDatabase(const std::string& target);
    void ShowOverview(std::vector<MeterSummary> rows);
    void FillGroups();
    void FitColumns();
    void FilterChange();
    void PollReadLog();
    void UpdateButtons();
    // The meters of the selected rows, in the table's order.
    std::vector<Meter> SelectedMeters() const;
    // The meters of every row shown, in the table's order.
    std::vector<Meter> ShownMeters() const;
    // The one meter chosen (the current row); null with none.
    const MeterSummary* CurrentMeter() const;
    QStringList Groups() const;
    void ShowFailure(const QString& objectName, const QString& text);
    bool AskYesNo(const QString& statement, const QString& question);

    void MeterProgress(const QString& name, int percent);
    void MeterEnded(const MeterOutcome& outcome);
    void RoundFinished(const QString& error);
    void ShowTotals();

    std::unique_ptr<Ui::TMetersForm> FUi;
    TMetersModel* FModel = nullptr;
    TMetersFilter* FFilter = nullptr;
    QTimer* FPoll = nullptr;
    TMeterRound* FRound = nullptr;
    std::unique_ptr<FleetDatabase> FDatabase;
    std::string FTarget;
    ReadLogMark FMark;
    bool FColumnsFitted = false;
    // The round's meters and how many ended so far, by outcome
    // (MeterOutcome::Kind).
    size_t FRoundMeters = 0;
    std::array<size_t, 4> FRoundCounts{};
};
