#include "ExchangeLogPane.h"

#include "ExchangeRecord.h"
#include "ui_ExchangeLogPane.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>

#include <chrono>

int ExchangeLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines.size());
}

QVariant ExchangeLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(lines.size()) ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    return lines[static_cast<size_t>(index.row())];
}

void ExchangeLogModel::Append(const QString& line) {
    if (lines.size() >= static_cast<size_t>(kMaxLines)) {
        beginRemoveRows({}, 0, 0);
        lines.pop_front();
        endRemoveRows();
    }
    const int row = static_cast<int>(lines.size());
    beginInsertRows({}, row, row);
    lines.push_back(line);
    endInsertRows();
}

void ExchangeLogModel::Clear() {
    beginResetModel();
    lines.clear();
    endResetModel();
}

ExchangeLogPane::ExchangeLogPane(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ExchangeLogPane>()) {
    ui->setupUi(this);
    ui->LogView->setModel(&model);
    ui->LogView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(ui->ClearLogButton, &QPushButton::clicked, this, [this] {
        model.Clear();
        RefreshLater();
    });
    connect(ui->SaveLogButton, &QPushButton::clicked, this, &ExchangeLogPane::SaveExecute);
    UpdateCount();
}

ExchangeLogPane::~ExchangeLogPane() = default;

void ExchangeLogPane::AppendLine(const QString& text) {
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        model.Append(line);
    }
    RefreshLater();
}

void ExchangeLogPane::AppendNote(const std::string& text) {
    AppendLine(QString::fromStdString(FormatNoteLine(std::chrono::system_clock::now(), text)));
}

void ExchangeLogPane::UpdateCount() {
    ui->LineCountLabel->setText(QStringLiteral("Строк: %1").arg(model.rowCount()));
}

// The count, and the view following the newest line while it was at its
// end: once per turn of the event loop, however many lines came.
void ExchangeLogPane::RefreshLater() {
    if (refreshPending) {
        return;
    }
    refreshPending = true;
    const QScrollBar* bar = ui->LogView->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    QTimer::singleShot(0, this, [this, follow] {
        refreshPending = false;
        UpdateCount();
        if (follow) {
            ui->LogView->scrollToBottom();
        }
    });
}

QString ExchangeLogPane::SaveTo(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return file.errorString();
    }
    for (const QString& line : model.Lines()) {
        file.write(line.toUtf8());
        file.write("\n");
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

void ExchangeLogPane::SaveExecute() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить протокол"), QStringLiteral("zq-protocol.txt"),
        QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
    if (path.isEmpty()) {
        return;
    }
    const QString error = SaveTo(path);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("ZQ Менеджер"), error);
    }
}
