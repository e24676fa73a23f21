#include "ZQSetupParams.h"

#include "DateTimeConvert.h"
#include "PageCopy.h"
#include "Settings.h"
#include "ui_ZQSetupParams.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QTimeEdit>

namespace {

// How a copy of the page writes the test-mode box.
const char kTestModeOnText[] = "Да";
const char kTestModeOffText[] = "Нет";

}  // namespace

TSetupParamsFrame::TSetupParamsFrame(QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::TSetupParamsFrame>()) {
    FUi->setupUi(this);
    GroupBox1 = FUi->GroupBox1;
    GroupBox2 = FUi->GroupBox2;
    GroupBox3 = FUi->GroupBox3;
    GroupBox4 = FUi->GroupBox4;
    CurrentTime = FUi->CurrentTime;
    CurrentDate = FUi->CurrentDate;
    NetAddress = FUi->NetAddress;
    CalibrationCode = FUi->CalibrationCode;
    TestMode = FUi->TestMode;
    TestCode = FUi->TestCode;
    zqui::SetupTimeEdit(CurrentTime);
    zqui::SetupDateEdit(CurrentDate);
    CurrentTime->setTime(zqui::TimeFromDays(0));
    CurrentDate->setDate(zqui::DateFromDays(0));
    new TPageCopy(this, [this] { return CopyText(); });
}

TSetupParamsFrame::~TSetupParamsFrame() = default;

void TSetupParamsFrame::InitSetupParamsFrame() {
    const bool calibration = ReadIntegerSetting("EnableCalibration", 0) != 0;
    GroupBox3->setHidden(!calibration);
    GroupBox4->setHidden(!calibration);
}

void TSetupParamsFrame::ShowSetupParams(const SetupParamsStruct& params) {
    NetAddress->setValue(params.NetAddress);
    CurrentTime->setTime(zqui::TimeFromDays(params.Time));
    CurrentDate->setDate(zqui::DateFromDays(params.Date));
    CalibrationCode->setValue(params.CalibrationCode);
    TestCode->setValue(params.TestCode);
    TestMode->setChecked(params.TestMode != 0);
}

SetupParamsStruct TSetupParamsFrame::GetSetupParams() const {
    SetupParamsStruct params{};
    params.NetAddress = static_cast<uint8_t>(NetAddress->value());
    params.Time = zqui::DaysFromTime(CurrentTime->time());
    params.Date = zqui::DaysFromDate(CurrentDate->date());
    params.CalibrationCode = static_cast<uint16_t>(CalibrationCode->value());
    params.TestCode = static_cast<uint16_t>(TestCode->value());
    params.TestMode = TestMode->isChecked() ? 1 : 0;
    params.ClearArchive = 0;
    return params;
}

bool TSetupParamsFrame::CalibrationVisible() const {
    return !GroupBox3->isHidden();
}

QString TSetupParamsFrame::CopyText() const {
    const QString testMode =
        QString::fromUtf8(TestMode->isChecked() ? kTestModeOnText : kTestModeOffText);
    const struct {
        QString name;
        const QWidget* control;
        QString value;
    } lines[] = {
        {ShownLabelText(FUi->CurrentTimeLabel), CurrentTime, CurrentTime->text()},
        {ShownLabelText(FUi->CurrentDateLabel), CurrentDate, CurrentDate->text()},
        {ShownLabelText(FUi->NetAddressLabel), NetAddress, NetAddress->text()},
        {ShownLabelText(FUi->CalibrationCodeLabel), CalibrationCode, CalibrationCode->text()},
        {WithoutMnemonic(TestMode->text()), TestMode, testMode},
        {ShownLabelText(FUi->TestCodeLabel), TestCode, TestCode->text()},
    };
    QString text;
    for (const auto& line : lines) {
        if (line.control->isVisibleTo(this)) {
            AppendCopyLine(text, line.name, line.value);
        }
    }
    return text;
}
