#pragma once

#include "ArchiveModel.h"
#include "ArchiveStruct.h"
#include "JournalStruct.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTableView;

namespace Ui {
class TArchiveFrame;
}

// One archive or journal page: a read-only table of the decoded records of
// one list, one row per usable record, in list order. Holds only the row
// texts, never the records.
class TArchiveFrame : public QWidget {
    Q_OBJECT

public:
    explicit TArchiveFrame(QWidget* parent = nullptr);
    ~TArchiveFrame() override;

    // The table (objectName "ListView"): header, grid lines, whole-row
    // selection; Ctrl+C copies the selected rows, tab-separated.
    QTableView* ListView = nullptr;

    // Sets the columns of `kind` (akHour, akDay, akMonth: "Дата", "V+", "V-",
    // "Tраб", "Статус"; akJournal: "Дата/Время", "Параметр",
    // "Старое значение", "Новое значение"), removes every row and sizes the
    // columns to their headers.
    void SetupColumns(ZQ_namespace::ArchiveKind kind);

    // Replace every row by the usable records of `list` decoded for `kind`
    // (akHour, akDay or akMonth); records with an invalid date get no row.
    void ShowArchive(const std::vector<ZQ_namespace::ArchiveStruct>& list,
                     ZQ_namespace::ArchiveKind kind);
    // Replace every row by the journal records of `list`; skipped and erased
    // pages get no row, a record with an invalid date or time is shown with
    // "Некоректное время".
    void ShowJournal(const std::vector<ZQ_namespace::JournalStruct>& list);

    // Empties `widths` and appends the width in pixels of every column, in
    // column order.
    void GetColumnWidths(std::vector<int32_t>& widths) const;

    // The page's caption, given to the table as its accessible name.
    void SetCaption(const QString& caption);

    // What the table shows: the header texts and the rows' texts (UTF-8,
    // column order; on the journal page the fifth text of a row is empty).
    const std::vector<std::string>& HeaderTexts() const { return FModel->Headers(); }
    const std::vector<TArchiveModel::Row>& RowTexts() const { return FModel->Rows(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill(std::vector<TArchiveModel::Row> rows);
    void AutoSizeColumns();
    void UpdateRowHeight();
    void CopySelection() const;

    std::unique_ptr<Ui::TArchiveFrame> FUi;
    TArchiveModel* FModel = nullptr;  // owned by the frame (Qt parent)
};
