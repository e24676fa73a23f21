#pragma once

#include "ArchiveModel.h"
#include "ArchiveStruct.h"
#include "JournalStruct.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QSplitter;
class QTableView;
class TConsumptionChart;

namespace Ui {
class TArchiveFrame;
}

// One archive or journal page: a read-only table of the decoded records of
// one list, one row per usable record, in list order. Holds only the row
// texts, never the records. On the hourly, daily and monthly pages the
// consumption chart of the list lies under the table, in a splitter that
// gives the table most of the height and lets the chart be collapsed.
class TArchiveFrame : public QWidget {
    Q_OBJECT

public:
    explicit TArchiveFrame(QWidget* parent = nullptr);
    ~TArchiveFrame() override;

    // The table (objectName "ListView"): header, grid lines, whole-row
    // selection; Ctrl+C and its context menu's "Копировать" copy CopyText(),
    // "Выделить всё" selects every row.
    QTableView* ListView = nullptr;
    // The table above, the chart below ("ArchiveSplitter").
    QSplitter* ArchiveSplitter = nullptr;
    // The chart (objectName "ConsumptionChart"); made by the first
    // SetupColumns or ShowArchive of an archive kind, null on the journal.
    TConsumptionChart* ConsumptionChart = nullptr;

    // Sets the columns of `kind` (akHour, akDay, akMonth: "Дата", "V+", "V-",
    // "Tраб", "Статус"; akJournal: "Дата/Время", "Параметр",
    // "Старое значение", "Новое значение"), removes every row and sizes the
    // columns to their headers. The chart is emptied, or hidden for the
    // journal.
    void SetupColumns(ZQ_namespace::ArchiveKind kind);

    // Replace every row by the usable records of `list` decoded for `kind`
    // (akHour, akDay or akMonth); records with an invalid date get no row.
    // The chart shows the list's consumption (ComputeConsumption).
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

    // What Ctrl+C puts on the clipboard: the header texts, then the selected
    // rows in table order (every row when none is selected), the texts of a
    // line separated by tabs, every line ended by "\n".
    QString CopyText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill(std::vector<TArchiveModel::Row> rows);
    void AutoSizeColumns();
    void UpdateRowHeight();
    void CopyToClipboard() const;
    void ShowChart(bool visible);

    std::unique_ptr<Ui::TArchiveFrame> FUi;
    TArchiveModel* FModel = nullptr;  // owned by the frame (Qt parent)
};
