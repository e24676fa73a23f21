// The "Приборы" window's round, its history and its report.
#include "HistoryStore.h"
#include "MeterRound.h"
#include "MetersForm.h"
#include "MetersModel.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <numeric>

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString OutcomeState(const MeterOutcome& o) {
    switch (o.kind) {
        case MeterOutcome::Kind::Read: {
            const size_t added = std::accumulate(o.added.begin(), o.added.end(), size_t{0});
            return QStringLiteral("прочитан, новых записей: %1").arg(added);
        }
        case MeterOutcome::Kind::Failed:
            return QStringLiteral("ошибка: ") + FromUtf8(o.text);
        case MeterOutcome::Kind::Skipped:
            return QStringLiteral("пропущен: ") + FromUtf8(o.text);
        default:
            return QStringLiteral("остановлен");
    }
}

}  // namespace

bool TMetersForm::RoundRunning() const {
    return FRound->Running();
}

void TMetersForm::RoundExecute() {
    if (!FDatabase || FRound->Running()) {
        return;
    }
    std::vector<Meter> meters = SelectedMeters();
    if (meters.empty()) {
        meters = ShownMeters();
    }
    if (meters.empty()) {
        return;
    }
    FModel->ClearRoundStates();
    for (const Meter& meter : meters) {
        FModel->SetRoundState(meter.name, QStringLiteral("ожидает"), false);
    }
    FRoundMeters = meters.size();
    FRoundCounts = {};
    FRound->Start(FTarget, std::move(meters), RoundOptions{});
    StatusLabel->setText(QStringLiteral("Опрос идёт"));
    ShowTotals();
    UpdateButtons();
    StopButton->setFocus();
}

void TMetersForm::StopExecute() {
    if (FRound->Running()) {
        FRound->Stop();
        StatusLabel->setText(QStringLiteral("Опрос останавливается"));
    }
}

void TMetersForm::MeterProgress(const QString& name, int percent) {
    FModel->SetRoundState(name.toStdString(), QStringLiteral("читается %1 %").arg(percent), false);
}

void TMetersForm::MeterEnded(const MeterOutcome& outcome) {
    ++FRoundCounts[static_cast<size_t>(outcome.kind)];
    const bool notRead =
        outcome.kind == MeterOutcome::Kind::Failed || outcome.kind == MeterOutcome::Kind::Skipped;
    FModel->SetRoundState(outcome.name, OutcomeState(outcome), notRead);
    ShowTotals();
}

void TMetersForm::RoundFinished(const QString& error) {
    const bool stopped = FRoundCounts[static_cast<size_t>(MeterOutcome::Kind::Stopped)] > 0;
    StatusLabel->setText(!error.isEmpty() ? QStringLiteral("Опрос не выполнен: ") + error
                         : stopped        ? QStringLiteral("Опрос остановлен")
                                          : QStringLiteral("Опрос завершён"));
    Reload();
    ShowTotals();
    UpdateButtons();
}

void TMetersForm::ShowTotals() {
    using Kind = MeterOutcome::Kind;
    const auto count = [this](Kind kind) { return FRoundCounts[static_cast<size_t>(kind)]; };
    const size_t ended = std::accumulate(FRoundCounts.begin(), FRoundCounts.end(), size_t{0});
    QString text = QStringLiteral("Прочитано: %1, ошибок: %2, остановлено: %3, осталось: %4")
                       .arg(count(Kind::Read))
                       .arg(count(Kind::Failed))
                       .arg(count(Kind::Stopped))
                       .arg(FRoundMeters - std::min(ended, FRoundMeters));
    if (count(Kind::Skipped) > 0) {
        text += QStringLiteral(", пропущено (читает другой опрос): %1").arg(count(Kind::Skipped));
    }
    RoundTotals->setText(text);
}

void TMetersForm::HistoryExecute() {
    const MeterSummary* current = CurrentMeter();
    if (!FDatabase || current == nullptr) {
        return;
    }
    const Meter meter = current->meter;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ZQValve whole;
    QString error;
    try {
        whole = HistoryStore(*FDatabase).Whole(meter.id);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty()) {
        ShowFailure(QStringLiteral("FailureBox"), error);
        return;
    }
    emit HistoryLoaded(FromUtf8(meter.name), whole);
}
