#include "ReadParamsSetup.h"

#include "DateTimeConvert.h"
#include "Settings.h"
#include "ui_ReadParamsSetup.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Picked date as a day count, or the loaded value when the picker still
// shows the date it was given.
TDateTime PickedDate(const QDateEdit* picker, const QDate& shown, TDateTime loaded) {
    return picker->date() == shown ? loaded : zqui::DaysFromDate(picker->date());
}

}  // namespace

TReadParamsSetupDialog::TReadParamsSetupDialog(QWidget* parent, bool documentOpen)
    : QDialog(parent), FUi(std::make_unique<Ui::TReadParamsSetupDialog>()) {
    FUi->setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    GroupBox1 = FUi->GroupBox1;
    GroupBox2 = FUi->GroupBox2;
    CheckBox1 = FUi->CheckBox1;
    CheckBox2 = FUi->CheckBox2;
    CheckBox3 = FUi->CheckBox3;
    CheckBox4 = FUi->CheckBox4;
    CheckBox5 = FUi->CheckBox5;
    CheckBox6 = FUi->CheckBox6;
    RadioButton1 = FUi->RadioButton1;
    RadioButton2 = FUi->RadioButton2;
    RadioButton3 = FUi->RadioButton3;
    DateTimePicker1 = FUi->DateTimePicker1;
    DateTimePicker2 = FUi->DateTimePicker2;
    OKButton = FUi->OKButton;
    CancelButton = FUi->CancelButton;
    zqui::SetupDateEdit(DateTimePicker1);
    zqui::SetupDateEdit(DateTimePicker2);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    RadioButton2->setEnabled(documentOpen);
    for (QRadioButton* button : {RadioButton1, RadioButton2, RadioButton3}) {
        connect(button, &QRadioButton::clicked, this, [this] { FIntervalChosen = true; });
    }
    connect(RadioButton3, &QRadioButton::toggled, this, &TReadParamsSetupDialog::EnableDates);
    FormCreate();
}

TReadParamsSetupDialog::~TReadParamsSetupDialog() = default;

void TReadParamsSetupDialog::FormCreate() {
    LoadReadSettings(FSettings);
    CheckBox3->setChecked(FSettings.ReadHourArchive);
    CheckBox4->setChecked(FSettings.ReadDayArchive);
    CheckBox5->setChecked(FSettings.ReadMonthArchive);
    CheckBox6->setChecked(FSettings.ReadJournal);
    // A value outside 0..2 leaves no button selected, which the buttons'
    // exclusivity would not allow while it is on.
    QRadioButton* const buttons[3] = {RadioButton1, RadioButton2, RadioButton3};
    for (QRadioButton* button : buttons) {
        button->setAutoExclusive(false);
    }
    // Without a document the missing part cannot be read: the whole archive is.
    const int shown =
        FSettings.ReadInterval == 1 && !RadioButton2->isEnabled() ? 0 : FSettings.ReadInterval;
    for (int i = 0; i < 3; ++i) {
        buttons[i]->setChecked(shown == i);
    }
    for (QRadioButton* button : buttons) {
        button->setAutoExclusive(true);
    }
    EnableDates(RadioButton3->isChecked());
    DateTimePicker1->setDate(zqui::DateFromDays(FSettings.StartInterval));
    DateTimePicker2->setDate(zqui::DateFromDays(FSettings.FinishInterval));
    FShownStart = DateTimePicker1->date();
    FShownFinish = DateTimePicker2->date();
}

void TReadParamsSetupDialog::EnableDates(bool on) {
    DateTimePicker1->setEnabled(on);
    DateTimePicker2->setEnabled(on);
    FUi->DateTimePicker1Label->setEnabled(on);
    FUi->DateTimePicker2Label->setEnabled(on);
}

void TReadParamsSetupDialog::done(int result) {
    if (result == QDialog::Accepted) {
        FormClose();
    }
    QDialog::done(result);
}

void TReadParamsSetupDialog::FormClose() {
    FSettings.ReadCurrentParams = true;
    FSettings.ReadSetupParams = true;
    FSettings.ReadHourArchive = CheckBox3->isChecked();
    FSettings.ReadDayArchive = CheckBox4->isChecked();
    FSettings.ReadMonthArchive = CheckBox5->isChecked();
    FSettings.ReadJournal = CheckBox6->isChecked();
    // A stored 1 shown as "Весь архив" for want of a document stays as it was.
    const bool keepLoaded = FSettings.ReadInterval == 1 && !FIntervalChosen;
    if (!keepLoaded) {
        if (RadioButton1->isChecked()) {
            FSettings.ReadInterval = 0;
        } else if (RadioButton2->isChecked()) {
            FSettings.ReadInterval = 1;
        } else if (RadioButton3->isChecked()) {
            FSettings.ReadInterval = 2;
        }
    }
    FSettings.StartInterval = PickedDate(DateTimePicker1, FShownStart, FSettings.StartInterval);
    FSettings.FinishInterval = PickedDate(DateTimePicker2, FShownFinish, FSettings.FinishInterval);
    SaveReadSettings(FSettings);
}
