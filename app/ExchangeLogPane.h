#pragma once

#include <QAbstractListModel>
#include <QWidget>

#include <deque>
#include <memory>

namespace Ui {
class ExchangeLogPane;
}

// The lines of the exchange log, the newest last; the oldest drop out beyond
// the limit, so a long monitoring session never grows it without bound.
class ExchangeLogModel : public QAbstractListModel {
public:
    static constexpr int kMaxLines = 20000;

    explicit ExchangeLogModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const QString& line);
    void Clear();
    const std::deque<QString>& Lines() const { return lines; }

private:
    std::deque<QString> lines;
};

// The "Протокол обмена" pane: every request and answer of the running task
// with its verdict, and the channel's and the modem line's own texts; can be
// cleared and saved to a text file. GUI thread only.
class ExchangeLogPane : public QWidget {
    Q_OBJECT

public:
    explicit ExchangeLogPane(QWidget* parent = nullptr);
    ~ExchangeLogPane() override;

    // One line, or several separated by line feeds, as they stand.
    void AppendLine(const QString& text);
    // A text of the channel or the line: each of its lines gets the time.
    void AppendNote(const std::string& text);

    const ExchangeLogModel& Model() const { return model; }
    // Writes every line to `path` (UTF-8, one per line); the error text on a
    // failure, else empty.
    QString SaveTo(const QString& path) const;

private:
    void SaveExecute();
    void UpdateCount();
    void RefreshLater();

    std::unique_ptr<Ui::ExchangeLogPane> ui;
    ExchangeLogModel model;
    bool refreshPending = false;
};
