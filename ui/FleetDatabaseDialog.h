#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TFleetDatabaseDialog;
}

// "База данных приборов": the history database the "Приборы" window uses,
// an SQLite file's path or a postgresql:// URI (empty: the default file),
// kept in the settings. A URI with a password is refused (passwords belong
// in ~/.pgpass, which the dialog says). While ZQ_FLEET_DB is set it names
// the database and the field only shows it.
class TFleetDatabaseDialog : public QDialog {
    Q_OBJECT

public:
    // Opens the database `target` for the window; the reason it cannot, or
    // the empty text.
    using UseDatabase = std::function<QString(const std::string& target)>;

    TFleetDatabaseDialog(UseDatabase use, QWidget* parent = nullptr);
    ~TFleetDatabaseDialog() override;

    // OK: once the text names a database that opens, it is saved in the
    // settings; otherwise the reason shows under the field.
    void done(int result) override;

    // The database ZQ Manager's window uses: ZQ_FLEET_DB when it is set,
    // else the settings' choice (empty: the default SQLite file).
    static std::string Target();

    QLineEdit* DatabaseEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QLabel* EnvironmentNote = nullptr;
    QLabel* ErrorLabel = nullptr;
    QPushButton* OKButton = nullptr;

private:
    void BrowseButtonClick();
    // Why `target` cannot be kept (a password in it), or the empty text.
    static QString Refusal(const std::string& target);

    std::unique_ptr<Ui::TFleetDatabaseDialog> FUi;
    UseDatabase FUse;
    bool FFromEnvironment = false;
};
