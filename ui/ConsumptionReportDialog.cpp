#include "ConsumptionReportDialog.h"

#include "ui_ConsumptionReportDialog.h"

namespace {

const QString kEveryGroup = QStringLiteral("Все группы");

}  // namespace

TConsumptionReportDialog::TConsumptionReportDialog(const QStringList& groups, const QString& shown,
                                                   QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TConsumptionReportDialog>()) {
    FUi->setupUi(this);
    FromEdit = FUi->FromEdit;
    ToEdit = FUi->ToEdit;
    GroupCombo = FUi->GroupCombo;
    ErrorLabel = FUi->ErrorLabel;
    // The last whole month.
    const QDate today = QDate::currentDate();
    const QDate first = QDate(today.year(), today.month(), 1).addMonths(-1);
    FromEdit->setDate(first);
    ToEdit->setDate(first.addMonths(1).addDays(-1));
    GroupCombo->addItem(kEveryGroup);
    GroupCombo->addItems(groups);
    const int at = GroupCombo->findText(shown);
    GroupCombo->setCurrentIndex(shown.isEmpty() || at < 0 ? 0 : at);
}

TConsumptionReportDialog::~TConsumptionReportDialog() = default;

void TConsumptionReportDialog::done(int result) {
    if (result == QDialog::Accepted && To() < From()) {
        ErrorLabel->setText(QStringLiteral("Последний день периода раньше первого"));
        ErrorLabel->setVisible(true);
        ToEdit->setFocus();
        return;
    }
    QDialog::done(result);
}

QDate TConsumptionReportDialog::From() const {
    return FromEdit->date();
}

QDate TConsumptionReportDialog::To() const {
    return ToEdit->date();
}

std::optional<std::string> TConsumptionReportDialog::Group() const {
    if (GroupCombo->currentIndex() <= 0) {
        return std::nullopt;
    }
    return GroupCombo->currentText().toStdString();
}
