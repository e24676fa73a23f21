#include "MetersForm.h"

#include "FleetDatabaseDialog.h"
#include "MeterRound.h"
#include "MetersFilter.h"
#include "MetersModel.h"
#include "ui_MetersWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <set>

namespace {

// How often the read log is looked at for reads and rounds ended elsewhere.
constexpr int kPollMs = 5000;
// A column never takes more than this on its own when sized to its contents
// (a long outcome text); its tool tip holds the whole text.
constexpr int kMaxColumnWidth = 320;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMetersForm::TMetersForm(QWidget* parent)
    : QMainWindow(parent), FUi(std::make_unique<Ui::TMetersForm>()) {
    FUi->setupUi(this);
    DatabaseLabel = FUi->DatabaseLabel;
    DatabaseButton = FUi->DatabaseButton;
    GroupCombo = FUi->GroupCombo;
    SearchEdit = FUi->SearchEdit;
    MetersView = FUi->MetersView;
    AddButton = FUi->AddButton;
    EditButton = FUi->EditButton;
    RemoveButton = FUi->RemoveButton;
    ImportButton = FUi->ImportButton;
    HistoryButton = FUi->HistoryButton;
    ConsumptionReportButton = FUi->ConsumptionReportButton;
    RoundButton = FUi->RoundButton;
    StopButton = FUi->StopButton;
    RoundTotals = FUi->RoundTotals;
    StatusLabel = FUi->StatusLabel;

    FModel = new TMetersModel(this);
    FFilter = new TMetersFilter(this);
    FFilter->setSourceModel(FModel);
    MetersView->setModel(FFilter);
    MetersView->sortByColumn(TMetersModel::kName, Qt::AscendingOrder);
    MetersView->verticalHeader()->hide();
    MetersView->horizontalHeader()->setStretchLastSection(true);
    MetersView->horizontalHeader()->setSectionsMovable(false);

    FRound = new TMeterRound(this);
    FRound->setObjectName(QStringLiteral("MeterRound"));
    connect(FRound, &TMeterRound::MeterProgress, this, &TMetersForm::MeterProgress);
    connect(FRound, &TMeterRound::MeterEnded, this, &TMetersForm::MeterEnded);
    connect(FRound, &TMeterRound::Finished, this, &TMetersForm::RoundFinished);

    connect(DatabaseButton, &QPushButton::clicked, this, &TMetersForm::DatabaseExecute);
    connect(AddButton, &QPushButton::clicked, this, &TMetersForm::AddExecute);
    connect(EditButton, &QPushButton::clicked, this, &TMetersForm::EditExecute);
    connect(RemoveButton, &QPushButton::clicked, this, &TMetersForm::RemoveExecute);
    connect(ImportButton, &QPushButton::clicked, this, &TMetersForm::ImportExecute);
    connect(HistoryButton, &QPushButton::clicked, this, &TMetersForm::HistoryExecute);
    connect(ConsumptionReportButton, &QPushButton::clicked, this,
            &TMetersForm::ConsumptionReportExecute);
    connect(RoundButton, &QPushButton::clicked, this, &TMetersForm::RoundExecute);
    connect(StopButton, &QPushButton::clicked, this, &TMetersForm::StopExecute);
    connect(GroupCombo, &QComboBox::currentIndexChanged, this, &TMetersForm::FilterChange);
    connect(SearchEdit, &QLineEdit::textChanged, this, &TMetersForm::FilterChange);
    connect(MetersView, &QAbstractItemView::activated, this, &TMetersForm::EditExecute);
    connect(MetersView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMetersForm::UpdateButtons);
    connect(MetersView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TMetersForm::UpdateButtons);

    FPoll = new QTimer(this);
    FPoll->setObjectName(QStringLiteral("ReadLogPoll"));
    FPoll->setInterval(kPollMs);
    connect(FPoll, &QTimer::timeout, this, &TMetersForm::PollReadLog);
    UpdateButtons();
}

TMetersForm::~TMetersForm() = default;

void TMetersForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FDatabase || FTarget != TFleetDatabaseDialog::Target()) {
        UseDatabase(TFleetDatabaseDialog::Target());
    } else {
        Reload();
    }
    FPoll->start();
}

void TMetersForm::closeEvent(QCloseEvent* event) {
    // The round goes on with the window closed; the poll waits for its
    // showing again.
    FPoll->stop();
    QMainWindow::closeEvent(event);
}

QString TMetersForm::UseDatabase(const std::string& target) {
    std::unique_ptr<FleetDatabase> opened;
    QString error;
    try {
        opened = FleetDatabase::Open(target);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    if (!opened) {
        if (!FDatabase) {
            FTarget = target;
            DatabaseLabel->setText(QStringLiteral("База данных недоступна: ") + error);
            FModel->SetRows({});
            UpdateButtons();
        }
        return error;
    }
    FDatabase = std::move(opened);
    FTarget = target;
    DatabaseLabel->setText(QStringLiteral("База данных: ") + FromUtf8(FDatabase->Name()));
    Reload();
    return {};
}

bool TMetersForm::Reload() {
    if (!FDatabase) {
        return UseDatabase(TFleetDatabaseDialog::Target()).isEmpty();
    }
    try {
        FMark = LoadReadLogMark(*FDatabase);
        ShowOverview(LoadMeterOverview(*FDatabase));
    } catch (const std::exception& e) {
        StatusLabel->setText(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void TMetersForm::ShowOverview(std::vector<MeterSummary> rows) {
    // The chosen meters stay chosen (by name) across the new rows.
    std::set<std::string> chosen;
    for (const Meter& meter : SelectedMeters()) {
        chosen.insert(meter.name);
    }
    const MeterSummary* current = CurrentMeter();
    const std::string currentName = current ? current->meter.name : std::string();
    FModel->SetRows(std::move(rows));
    FillGroups();
    QItemSelection selection;
    for (int row = 0; row < FFilter->rowCount(); ++row) {
        const QModelIndex index = FFilter->index(row, 0);
        const std::string& name = FModel->Row(FFilter->mapToSource(index).row()).meter.name;
        if (chosen.count(name)) {
            selection.select(index, FFilter->index(row, TMetersModel::kColumns - 1));
        }
        if (name == currentName) {
            MetersView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }
    MetersView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    FitColumns();
    UpdateButtons();
}

// The first rows shown size every column to its header and texts (up to
// kMaxColumnWidth); later a column only grows to show new texts, so that a
// width the user gave it stays.
void TMetersForm::FitColumns() {
    if (FModel->rowCount() == 0) {
        return;
    }
    QHeaderView* header = MetersView->horizontalHeader();
    const QAbstractItemView* view = MetersView;  // QTableView hides it
    for (int column = 0; column < TMetersModel::kColumns - 1; ++column) {
        const int wanted =
            std::min(std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column)),
                     kMaxColumnWidth);
        if (!FColumnsFitted || wanted > header->sectionSize(column)) {
            header->resizeSection(column, wanted);
        }
    }
    FColumnsFitted = true;
}

QStringList TMetersForm::Groups() const {
    std::set<QString> groups;
    for (const MeterSummary& row : FModel->Rows()) {
        if (!row.meter.group.empty()) {
            groups.insert(FromUtf8(row.meter.group));
        }
    }
    return QStringList(groups.begin(), groups.end());
}

void TMetersForm::FillGroups() {
    // Item 0 is every group; the others carry their group's name as data.
    const QString chosen = GroupCombo->currentIndex() > 0 ? GroupCombo->currentText() : QString();
    const QSignalBlocker quiet(GroupCombo);
    GroupCombo->clear();
    GroupCombo->addItem(QStringLiteral("Все группы"));
    for (const QString& group : Groups()) {
        GroupCombo->addItem(group, group);
    }
    const int index = chosen.isEmpty() ? 0 : GroupCombo->findData(chosen);
    GroupCombo->setCurrentIndex(index < 0 ? 0 : index);
    FilterChange();
}

void TMetersForm::FilterChange() {
    FFilter->SetGroup(GroupCombo->currentIndex() <= 0, GroupCombo->currentData().toString());
    FFilter->SetSearch(SearchEdit->text());
    UpdateButtons();
}

void TMetersForm::PollReadLog() {
    if (!FDatabase || !isVisible()) {
        return;
    }
    try {
        if (LoadReadLogMark(*FDatabase) != FMark) {
            Reload();
        }
    } catch (const std::exception& e) {
        StatusLabel->setText(QString::fromUtf8(e.what()));
    }
}

void TMetersForm::UpdateButtons() {
    const bool open = FDatabase != nullptr;
    const bool one = open && CurrentMeter() != nullptr;
    const bool running = FRound->Running();
    AddButton->setEnabled(open);
    EditButton->setEnabled(one);
    RemoveButton->setEnabled(one && !running);
    ImportButton->setEnabled(one);
    HistoryButton->setEnabled(one);
    ConsumptionReportButton->setEnabled(open);
    RoundButton->setEnabled(open && !running && FFilter->rowCount() > 0);
    StopButton->setEnabled(running);
    DatabaseButton->setEnabled(!running);
}

std::vector<Meter> TMetersForm::SelectedMeters() const {
    std::vector<Meter> meters;
    if (!MetersView->selectionModel()) {
        return meters;
    }
    for (int row = 0; row < FFilter->rowCount(); ++row) {
        if (MetersView->selectionModel()->isRowSelected(row, QModelIndex())) {
            meters.push_back(FModel->Row(FFilter->mapToSource(FFilter->index(row, 0)).row()).meter);
        }
    }
    return meters;
}

std::vector<Meter> TMetersForm::ShownMeters() const {
    std::vector<Meter> meters;
    for (int row = 0; row < FFilter->rowCount(); ++row) {
        meters.push_back(FModel->Row(FFilter->mapToSource(FFilter->index(row, 0)).row()).meter);
    }
    return meters;
}

const MeterSummary* TMetersForm::CurrentMeter() const {
    const QModelIndex current = MetersView->currentIndex();
    if (!current.isValid() || !MetersView->selectionModel()->isRowSelected(current.row(), {})) {
        return nullptr;
    }
    return &FModel->Row(FFilter->mapToSource(current).row());
}

void TMetersForm::ShowFailure(const QString& objectName, const QString& text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(objectName);
    box.exec();
}

bool TMetersForm::AskYesNo(const QString& statement, const QString& question) {
    QMessageBox box(QMessageBox::Question, windowTitle(), statement,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("RemoveMeterBox"));
    box.setInformativeText(question);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Нет"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TMetersForm::DatabaseExecute() {
    TFleetDatabaseDialog dialog([this](const std::string& target) { return UseDatabase(target); },
                                this);
    dialog.setObjectName(QStringLiteral("FleetDatabaseDialog"));
    dialog.exec();
}
