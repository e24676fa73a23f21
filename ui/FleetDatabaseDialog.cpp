#include "FleetDatabaseDialog.h"

#include "FleetDatabase.h"
#include "PostgresUri.h"
#include "Settings.h"
#include "ui_FleetDatabaseDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const char* const kEnvironment = "ZQ_FLEET_DB";

}  // namespace

TFleetDatabaseDialog::TFleetDatabaseDialog(UseDatabase use, QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TFleetDatabaseDialog>()), FUse(std::move(use)) {
    FUi->setupUi(this);
    DatabaseEdit = FUi->DatabaseEdit;
    BrowseButton = FUi->BrowseButton;
    EnvironmentNote = FUi->EnvironmentNote;
    ErrorLabel = FUi->ErrorLabel;
    OKButton = FUi->OKButton;
    DatabaseEdit->setPlaceholderText(QString::fromStdString(FleetDatabase::DefaultSqlitePath()));
    FFromEnvironment = qEnvironmentVariableIsSet(kEnvironment);
    if (FFromEnvironment) {
        DatabaseEdit->setText(qEnvironmentVariable(kEnvironment));
        DatabaseEdit->setReadOnly(true);
        BrowseButton->setEnabled(false);
        EnvironmentNote->setText(
            QStringLiteral("Базу задаёт переменная окружения ZQ_FLEET_DB; пока она задана, "
                           "выбор здесь не действует."));
        EnvironmentNote->setVisible(true);
        DatabaseEdit->setAccessibleDescription(EnvironmentNote->text());
    } else {
        DatabaseEdit->setText(QString::fromStdString(LoadFleetDatabase()));
        DatabaseEdit->setAccessibleDescription(FUi->PasswordNote->text());
    }
    connect(BrowseButton, &QPushButton::clicked, this, &TFleetDatabaseDialog::BrowseButtonClick);
    connect(FUi->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(FUi->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TFleetDatabaseDialog::~TFleetDatabaseDialog() = default;

std::string TFleetDatabaseDialog::Target() {
    if (qEnvironmentVariableIsSet(kEnvironment)) {
        return qEnvironmentVariable(kEnvironment).toStdString();
    }
    return LoadFleetDatabase();
}

QString TFleetDatabaseDialog::Refusal(const std::string& target) {
    if (!IsPostgresUri(target)) {
        return {};
    }
    std::string error;
    const std::optional<PostgresUri> uri = ParsePostgresUri(target, error);
    if (!uri) {
        return QString::fromStdString(error);
    }
    if (!uri->password.empty() || uri->options.find("password=") != std::string::npos) {
        return QStringLiteral(
            "Пароль в адресе не сохраняется: уберите его из адреса и "
            "впишите в файл ~/.pgpass");
    }
    return {};
}

void TFleetDatabaseDialog::done(int result) {
    if (result == QDialog::Accepted) {
        const std::string target = DatabaseEdit->text().trimmed().toStdString();
        QString error = FFromEnvironment ? QString() : Refusal(target);
        if (error.isEmpty() && FUse) {
            error = FUse(target);
        }
        if (error.isEmpty() && !FFromEnvironment && !SaveFleetDatabase(target)) {
            error = QStringLiteral("Выбор не сохранён: файл настроек недоступен");
        }
        if (!error.isEmpty()) {
            ErrorLabel->setText(error);
            ErrorLabel->setVisible(true);
            DatabaseEdit->setAccessibleDescription(error);
            DatabaseEdit->setFocus();
            return;
        }
    }
    QDialog::done(result);
}

void TFleetDatabaseDialog::BrowseButtonClick() {
    QFileDialog dialog(this, QStringLiteral("Файл базы данных"));
    dialog.setObjectName(QStringLiteral("DatabaseFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QStringLiteral("Базы SQLite (*.sqlite *.db)"));
    const QString current = DatabaseEdit->text().trimmed();
    if (!current.isEmpty() && !IsPostgresUri(current.toStdString())) {
        dialog.selectFile(current);
    } else {
        dialog.setDirectory(QFileInfo(DatabaseEdit->placeholderText()).path());
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        DatabaseEdit->setText(dialog.selectedFiles().constFirst());
    }
}
