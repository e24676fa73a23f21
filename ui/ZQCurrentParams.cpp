#include "ZQCurrentParams.h"

#include "MonitoringChart.h"
#include "PageCopy.h"
#include "ReadOnlyGuard.h"
#include "TextFormat.h"
#include "ui_ZQCurrentParams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// The text setters leave a control alone while the user is editing it: when
// it is editable and has the focus. The page's edits are read-only and its
// combo cannot be changed by the user, so on this page they are always set.
// An unchanged text is not set again, so a monitoring refresh keeps the
// user's selection (a serial number being copied).
void SetText(QLineEdit* edit, const std::string& text) {
    if (!edit->isReadOnly() && edit->hasFocus()) {
        return;
    }
    const QString value = QString::fromStdString(text);
    if (edit->text() != value) {
        edit->setText(value);
        edit->setCursorPosition(0);
    }
}

void SetComboIndex(QComboBox* combo, int index, bool userCanChange) {
    if (userCanChange && combo->hasFocus()) {
        return;
    }
    combo->setCurrentIndex(index < combo->count() ? index : -1);
}

}  // namespace

TCurrentParamsFrame::TCurrentParamsFrame(QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::TCurrentParamsFrame>()) {
    FUi->setupUi(this);
    G = FUi->G;
    Twork = FUi->Twork;
    Ton = FUi->Ton;
    Vd = FUi->Vd;
    Vr = FUi->Vr;
    NS_1_0 = FUi->NS_1_0;
    NS_1_1 = FUi->NS_1_1;
    NS_1_2 = FUi->NS_1_2;
    NS_1_3 = FUi->NS_1_3;
    Serial = FUi->Serial;
    Du = FUi->Du;
    ImpulseWeight = FUi->ImpulseWeight;
    ImpulseLength = FUi->ImpulseLength;
    Gmin = FUi->Gmin;
    Gmax = FUi->Gmax;
    CurrentValue = FUi->CurrentValue;
    MonitoringChart = FUi->MonitoringChart;

    auto* guard = new TReadOnlyGuard(this);
    for (int bit = 0; bit < 4; ++bit) {
        guard->Guard(FlagBox(bit));
    }
    guard->Guard(Du);
    // A diameter picked from the list by other means than the guarded
    // mouse and keys is put back to the one shown.
    connect(Du, &QComboBox::activated, this, [this] { Du->setCurrentIndex(FShownDuIndex); });
    Du->setCurrentIndex(FShownDuIndex);

    shownParams.Date = 0;
    shownParams.Time = 0;
    FitEditWidths();
    new TPageCopy(this, [this] { return CopyText(); });
}

TCurrentParamsFrame::~TCurrentParamsFrame() = default;

QCheckBox* TCurrentParamsFrame::FlagBox(int bit) const {
    QCheckBox* const boxes[4] = {NS_1_0, NS_1_1, NS_1_2, NS_1_3};
    return boxes[bit];
}

void TCurrentParamsFrame::InitCurrentParamsFrame() {
    for (int bit = 0; bit < 4; ++bit) {
        const QString caption =
            QString::fromStdString(FormatText("%d.%s", bit + 1, kNSFlagNames[bit]));
        FlagBox(bit)->setText(caption);
        FlagBox(bit)->setAccessibleName(caption);
    }
}

void TCurrentParamsFrame::ShowCurrentParams(const CurrentParamsStruct& params) {
    const CurrentParamsTexts t = FormatCurrentParams(params);
    SetText(G, t.G);
    SetText(Vd, t.Vd);
    SetText(Vr, t.Vr);
    SetText(Twork, t.Twork);
    SetText(Ton, t.Ton);
    for (int bit = 0; bit < 4; ++bit) {
        FlagBox(bit)->setChecked((params.NSFlags >> bit) & 1);
    }
    SetText(Serial, t.Serial);
    SetComboIndex(Du, params.DuIndex, false);
    FShownDuIndex = Du->currentIndex();
    SetText(ImpulseWeight, t.ImpulseWeight);
    SetText(ImpulseLength, t.ImpulseLength);
    SetText(Gmin, t.Gmin);
    SetText(Gmax, t.Gmax);
    SetText(CurrentValue, t.CurrentValue);
    shownParams = params;
}

CurrentParamsStruct TCurrentParamsFrame::GetCurrentParams() const {
    return shownParams;
}

CurrentParamsTexts TCurrentParamsFrame::ShownTexts() const {
    CurrentParamsTexts t;
    t.G = G->text().toStdString();
    t.Vd = Vd->text().toStdString();
    t.Vr = Vr->text().toStdString();
    t.Twork = Twork->text().toStdString();
    t.Ton = Ton->text().toStdString();
    t.Serial = Serial->text().toStdString();
    t.Du = Du->currentIndex() >= 0 ? Du->currentText().toStdString() : std::string();
    t.ImpulseWeight = ImpulseWeight->text().toStdString();
    t.ImpulseLength = ImpulseLength->text().toStdString();
    t.Gmin = Gmin->text().toStdString();
    t.Gmax = Gmax->text().toStdString();
    t.CurrentValue = CurrentValue->text().toStdString();
    return t;
}

uint8_t TCurrentParamsFrame::FlagBits() const {
    uint8_t bits = 0;
    for (int bit = 0; bit < 4; ++bit) {
        if (FlagBox(bit)->isChecked()) {
            bits |= static_cast<uint8_t>(1 << bit);
        }
    }
    return bits;
}

QString TCurrentParamsFrame::SerialText() const {
    return Serial->text();
}

QString TCurrentParamsFrame::CopyText() const {
    QStringList ticked;
    for (int bit = 0; bit < 4; ++bit) {
        if (FlagBox(bit)->isChecked()) {
            ticked.append(FlagBox(bit)->text());
        }
    }
    const QString du = Du->currentIndex() >= 0 ? Du->currentText() : QString();
    const struct {
        const QLabel* label;
        const QWidget* control;
        QString value;
    } lines[] = {
        {FUi->GLabel, G, G->text()},
        {FUi->TworkLabel, Twork, Twork->text()},
        {FUi->TonLabel, Ton, Ton->text()},
        {FUi->VdLabel, Vd, Vd->text()},
        {FUi->VrLabel, Vr, Vr->text()},
        {FUi->NSLabel, NS_1_0, ticked.join(QStringLiteral(", "))},
        {FUi->SerialLabel, Serial, Serial->text()},
        {FUi->DuLabel, Du, du},
        {FUi->ImpulseWeightLabel, ImpulseWeight, ImpulseWeight->text()},
        {FUi->ImpulseLengthLabel, ImpulseLength, ImpulseLength->text()},
        {FUi->GminLabel, Gmin, Gmin->text()},
        {FUi->GmaxLabel, Gmax, Gmax->text()},
        {FUi->CurrentValueLabel, CurrentValue, CurrentValue->text()},
    };
    QString text;
    for (const auto& line : lines) {
        if (line.control->isVisibleTo(this)) {
            AppendCopyLine(text, ShownLabelText(line.label), line.value);
        }
    }
    return text;
}

void TCurrentParamsFrame::StartMonitoringTrend() {
    MonitoringChart->Clear();
    MonitoringChart->show();
}

void TCurrentParamsFrame::AddMonitoringCycle(double steadySeconds, double epochSeconds,
                                             const CurrentParamsStruct& params) {
    MonitoringChart->AppendCycle(steadySeconds, epochSeconds, params);
}

void TCurrentParamsFrame::HideMonitoringTrend() {
    MonitoringChart->hide();
    MonitoringChart->Clear();
}

void TCurrentParamsFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        FitEditWidths();
    }
    QWidget::changeEvent(event);
}

// Wide enough for a volume of "%013.3f" of ten million cubic metres and
// more, whatever the font.
void TCurrentParamsFrame::FitEditWidths() {
    const QFontMetrics metrics(font());
    QStyleOptionFrame option;
    option.initFrom(G);
    const QSize text(metrics.horizontalAdvance(QStringLiteral("00000000000.000")) + 8,
                     metrics.height());
    const int width = G->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, G).width();
    for (QLineEdit* edit :
         {G, Twork, Ton, Vd, Vr, Serial, ImpulseWeight, ImpulseLength, Gmin, Gmax, CurrentValue}) {
        edit->setMinimumWidth(width);
    }
}
