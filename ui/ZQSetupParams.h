#pragma once

#include "SetupParamsStruct.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QSpinBox;
class QTimeEdit;

namespace Ui {
class TSetupParamsFrame;
}

// The "Настроечные параметры" page: the setup parameters in editable
// controls, which are the page's only state. Only the address and, with
// calibration enabled, the current-output values reach the device; the
// clock shown is the device clock as last read.
class TSetupParamsFrame : public QWidget {
    Q_OBJECT

public:
    explicit TSetupParamsFrame(QWidget* parent = nullptr);
    ~TSetupParamsFrame() override;

    // Hides GroupBox3 and GroupBox4 (the current output) unless the setting
    // "EnableCalibration" is non-zero; shows them otherwise.
    void InitSetupParamsFrame();
    // Values outside a spin box's range show as its nearest limit (address
    // 1..254, codes 0..16383); TestMode ticks the box when non-zero. Day 0
    // shows "нет даты" in CurrentDate.
    void ShowSetupParams(const SetupParamsStruct& params);
    // A zeroed record filled from the controls; TestMode 1 when ticked,
    // ClearArchive 0.
    SetupParamsStruct GetSetupParams() const;

    // Whether the current-output groups are shown (true whether or not the
    // page itself is visible).
    bool CalibrationVisible() const;

    // What Ctrl+C and "Копировать" put on the clipboard: one line per
    // control of the groups shown, its label's text, a tab and the value as
    // the control shows it ("Тестовый режим": "Да" or "Нет"), every line
    // ended by "\n".
    QString CopyText() const;

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QTimeEdit* CurrentTime = nullptr;
    QDateEdit* CurrentDate = nullptr;
    QSpinBox* NetAddress = nullptr;
    QSpinBox* CalibrationCode = nullptr;
    QCheckBox* TestMode = nullptr;
    QSpinBox* TestCode = nullptr;

private:
    std::unique_ptr<Ui::TSetupParamsFrame> FUi;
};
