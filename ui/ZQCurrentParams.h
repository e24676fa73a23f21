#pragma once

#include "CurrentParamsStruct.h"
#include "ParamsTexts.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class TMonitoringChart;

namespace Ui {
class TCurrentParamsFrame;
}

// The "Текущие параметры" page: one CurrentParamsStruct as text, read-only
// for the user. The edits are read-only (their text stays selectable and
// copyable); the flag boxes and the diameter combo stay enabled and focusable
// but ignore the mouse and the keys that would change them. Ctrl+C and the
// page's context menu copy the page (CopyText).
class TCurrentParamsFrame : public QWidget {
    Q_OBJECT

public:
    explicit TCurrentParamsFrame(QWidget* parent = nullptr);
    ~TCurrentParamsFrame() override;

    // Captions the four flag boxes "1.Неисправность" .. "4.g > g_макс".
    void InitCurrentParamsFrame();
    // Shows `params` (texts of FormatCurrentParams, flags bits 0..3, the
    // diameter by DuIndex or no selection) and keeps a copy of it.
    void ShowCurrentParams(const CurrentParamsStruct& params);
    // A copy of the record last shown (date and time 0 before the first).
    CurrentParamsStruct GetCurrentParams() const;

    // The texts as the controls show them, fields named after the controls
    // (Du: the combo's text, empty with no selection).
    CurrentParamsTexts ShownTexts() const;
    // Bits 0..3 from the flag boxes NS_1_0 .. NS_1_3.
    uint8_t FlagBits() const;
    QString SerialText() const;

    // What Ctrl+C and "Копировать" put on the clipboard: one line per field,
    // its label's text, a tab and the value as its control shows it (for
    // "НС" the captions of the ticked flags, joined by ", "; for "Ду" the
    // combo's text), every line ended by "\n".
    QString CopyText() const;

    // The trend of a monitoring run, under the groups: shown (empty) when a
    // run starts, fed every cycle, kept after the run until the page shows a
    // read's or a file's parameters (HideMonitoringTrend).
    void StartMonitoringTrend();
    // One cycle read at `steadySeconds` of a steady clock and `epochSeconds`
    // (system clock seconds since 1970), as TMonitoringChart takes them.
    void AddMonitoringCycle(double steadySeconds, double epochSeconds,
                            const CurrentParamsStruct& params);
    // Hides the trend and frees its cycles.
    void HideMonitoringTrend();

    // The controls, by their names.
    QLineEdit* G = nullptr;
    QLineEdit* Twork = nullptr;
    QLineEdit* Ton = nullptr;
    QLineEdit* Vd = nullptr;
    QLineEdit* Vr = nullptr;
    QCheckBox* NS_1_0 = nullptr;
    QCheckBox* NS_1_1 = nullptr;
    QCheckBox* NS_1_2 = nullptr;
    QCheckBox* NS_1_3 = nullptr;
    QLineEdit* Serial = nullptr;
    QComboBox* Du = nullptr;
    QLineEdit* ImpulseWeight = nullptr;
    QLineEdit* ImpulseLength = nullptr;
    QLineEdit* Gmin = nullptr;
    QLineEdit* Gmax = nullptr;
    QLineEdit* CurrentValue = nullptr;
    // The trend (objectName "MonitoringChart"), hidden until a monitoring
    // run starts.
    TMonitoringChart* MonitoringChart = nullptr;

protected:
    void changeEvent(QEvent* event) override;

private:
    QCheckBox* FlagBox(int bit) const;
    void FitEditWidths();

    std::unique_ptr<Ui::TCurrentParamsFrame> FUi;
    CurrentParamsStruct shownParams;
    int FShownDuIndex = -1;  // the diameter item shown, -1 for none
};
