#pragma once

#include <QDate>
#include <QDialog>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QDateEdit;
class QLabel;

namespace Ui {
class TConsumptionReportDialog;
}

// "Отчёт о потреблении": the period (whole days, the first and the last) and
// the group of the consumption report. Opens on the last whole month and
// the group the "Приборы" window shows. OK with the last day before the
// first keeps the dialog open and says why.
class TConsumptionReportDialog : public QDialog {
    Q_OBJECT

public:
    // `groups`: the register's groups; `shown`: the one to start on (empty:
    // every group).
    TConsumptionReportDialog(const QStringList& groups, const QString& shown,
                             QWidget* parent = nullptr);
    ~TConsumptionReportDialog() override;

    void done(int result) override;

    QDate From() const;
    QDate To() const;
    // None: every group.
    std::optional<std::string> Group() const;

    QDateEdit* FromEdit = nullptr;
    QDateEdit* ToEdit = nullptr;
    QComboBox* GroupCombo = nullptr;
    QLabel* ErrorLabel = nullptr;

private:
    std::unique_ptr<Ui::TConsumptionReportDialog> FUi;
};
