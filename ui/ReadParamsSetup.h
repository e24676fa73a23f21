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
// the parameters (always read), and the read interval: the whole archive,
// the part the open document lacks (offered only when a document is open),
// or the records between two dates (the date pickers work only for that
// choice). Loads the stored read settings on construction and saves them
// only when closed with OK.
class TReadParamsSetupDialog : public QDialog {
    Q_OBJECT

public:
    // `parent` is the main window; the dialog opens centred on it.
    // `documentOpen`: the window shows a document read earlier or opened
    // from a file, whose missing part can be read.
    explicit TReadParamsSetupDialog(QWidget* parent = nullptr, bool documentOpen = false);
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
    // The date pickers and their labels, used only by "Заданный интервал".
    void EnableDates(bool on);

    std::unique_ptr<Ui::TReadParamsSetupDialog> FUi;
    ReadSettingsStruct FSettings{};
    // The dates the pickers were given, to tell a picked date from the
    // loaded value (which may carry a time of day, or lie outside the
    // pickers' range).
    QDate FShownStart;
    QDate FShownFinish;
    // A stored "Недостающая часть архива" without a document is shown as
    // "Весь архив" (what will be read) and saved back unchanged unless the
    // user chooses an interval.
    bool FIntervalChosen = false;
};
