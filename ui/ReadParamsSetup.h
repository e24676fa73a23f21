#pragma once

#include "ReadSettingsStruct.h"

#include <QDate>
#include <QDialog>

#include <memory>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace Ui {
class TReadParamsSetupDialog;
}

// "Чтение параметров": which archives and whether the journal are read with
// the parameters (always read). Loads the stored read settings on
// construction and saves them only when closed with OK. The read interval
// group is shown disabled; its values are written back as they were loaded.
class TReadParamsSetupDialog : public QDialog {
    Q_OBJECT

public:
    // `parent` is the main window; the dialog opens centred on it.
    explicit TReadParamsSetupDialog(QWidget* parent = nullptr);
    ~TReadParamsSetupDialog() override;

    void done(int result) override;

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QDateEdit* DateTimePicker1 = nullptr;
    QDateEdit* DateTimePicker2 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void FormCreate();
    void FormClose();

    std::unique_ptr<Ui::TReadParamsSetupDialog> FUi;
    ReadSettingsStruct FSettings{};
    // The dates the pickers were given, to tell a picked date from the
    // loaded value (which may carry a time of day, or lie outside the
    // pickers' range).
    QDate FShownStart;
    QDate FShownFinish;
};
