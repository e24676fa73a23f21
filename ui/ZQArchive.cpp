#include "ZQArchive.h"

#include "ArchiveDecodeStruct.h"
#include "JournalDecodeStruct.h"
#include "RecordTexts.h"
#include "ui_ZQArchive.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <utility>

using namespace ZQ_namespace;

namespace {

// Auto-sizing measures every row of a list up to this many; a longer list is
// measured on a sample (its first and last rows and an even spread between),
// so that a page of 65535 rows fills at once.
constexpr size_t kMeasureAll = 1000;
constexpr size_t kSampleEnds = 300;
constexpr size_t kSampleSpread = 400;

std::vector<size_t> SampleRows(size_t count) {
    std::vector<size_t> rows;
    if (count <= kMeasureAll) {
        rows.resize(count);
        for (size_t i = 0; i < count; ++i) {
            rows[i] = i;
        }
        return rows;
    }
    rows.reserve(2 * kSampleEnds + kSampleSpread);
    for (size_t i = 0; i < kSampleEnds; ++i) {
        rows.push_back(i);
        rows.push_back(count - 1 - i);
    }
    const size_t middle = count - 2 * kSampleEnds;
    for (size_t i = 0; i < kSampleSpread; ++i) {
        rows.push_back(kSampleEnds + i * middle / kSampleSpread);
    }
    return rows;
}

std::vector<std::string> ColumnNames(ArchiveKind kind) {
    if (kind == akJournal) {
        return {std::begin(kJournalColumnNames), std::end(kJournalColumnNames)};
    }
    return {std::begin(kArchiveColumnNames), std::end(kArchiveColumnNames)};
}

}  // namespace

TArchiveFrame::TArchiveFrame(QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::TArchiveFrame>()) {
    FUi->setupUi(this);
    ListView = FUi->ListView;
    FModel = new TArchiveModel(this);
    ListView->setModel(FModel);
    ListView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ListView->installEventFilter(this);
    UpdateRowHeight();

    auto* copy = new QAction(ListView);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TArchiveFrame::CopySelection);
    ListView->addAction(copy);
}

TArchiveFrame::~TArchiveFrame() = default;

void TArchiveFrame::SetupColumns(ArchiveKind kind) {
    FModel->Reset(ColumnNames(kind), {});
    AutoSizeColumns();
}

void TArchiveFrame::ShowArchive(const std::vector<ArchiveStruct>& list, ArchiveKind kind) {
    std::vector<TArchiveModel::Row> rows;
    rows.reserve(list.size());
    ArchiveDecodeStruct decoded;
    for (const ArchiveStruct& record : list) {
        if (decoded.Decode(record, kind)) {
            rows.push_back({decoded.dateText, decoded.vPlusText, decoded.vMinusText,
                            decoded.workText, decoded.flagsText});
        }
    }
    Fill(std::move(rows));
}

void TArchiveFrame::ShowJournal(const std::vector<JournalStruct>& list) {
    std::vector<TArchiveModel::Row> rows;
    rows.reserve(list.size());
    JournalDecodeStruct decoded;
    for (const JournalStruct& record : list) {
        if (decoded.Decode(record)) {
            rows.push_back({decoded.dateTimeText, decoded.paramText, decoded.oldText,
                            decoded.newText, std::string()});
        }
    }
    Fill(std::move(rows));
}

void TArchiveFrame::Fill(std::vector<TArchiveModel::Row> rows) {
    rows.shrink_to_fit();
    FModel->Reset(FModel->Headers(), std::move(rows));
    AutoSizeColumns();
}

void TArchiveFrame::GetColumnWidths(std::vector<int32_t>& widths) const {
    widths.clear();
    const QHeaderView* header = ListView->horizontalHeader();
    for (int column = 0; column < FModel->columnCount(); ++column) {
        widths.push_back(header->sectionSize(column));
    }
}

void TArchiveFrame::SetCaption(const QString& caption) {
    ListView->setAccessibleName(caption);
}

// Each column gets the width of its header text or its widest cell, whichever
// is larger, measured as the view measures for its own fit-to-contents; the
// header's last section then stretches over what is left.
void TArchiveFrame::AutoSizeColumns() {
    QHeaderView* header = ListView->horizontalHeader();
    QAbstractItemDelegate* delegate = ListView->itemDelegate();
    QStyleOptionViewItem option;
    option.initFrom(ListView);
    option.font = ListView->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.textElideMode = ListView->textElideMode();
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const int grid = ListView->showGrid() ? 1 : 0;
    const std::vector<TArchiveModel::Row>& rows = FModel->Rows();
    const std::vector<size_t> sample = SampleRows(rows.size());
    for (int column = 0; column < FModel->columnCount(); ++column) {
        int width = header->sectionSizeHint(column);
        for (size_t row : sample) {
            if (!rows[row][column].empty()) {
                const QModelIndex index = FModel->index(static_cast<int>(row), column);
                width = std::max(width, delegate->sizeHint(option, index).width() + grid);
            }
        }
        header->resizeSection(column, width);
    }
}

void TArchiveFrame::UpdateRowHeight() {
    const QFontMetrics metrics(ListView->font());
    QHeaderView* rowsHeader = ListView->verticalHeader();
    const int height = metrics.height() + 6;
    rowsHeader->setMinimumSectionSize(height);
    rowsHeader->setDefaultSectionSize(height);
}

bool TArchiveFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView && event->type() == QEvent::FontChange) {
        UpdateRowHeight();
        AutoSizeColumns();
    }
    return QWidget::eventFilter(watched, event);
}

void TArchiveFrame::CopySelection() const {
    const QModelIndexList selected = ListView->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    std::vector<int> rowNumbers;
    rowNumbers.reserve(selected.size());
    for (const QModelIndex& index : selected) {
        rowNumbers.push_back(index.row());
    }
    std::sort(rowNumbers.begin(), rowNumbers.end());
    const int columns = FModel->columnCount();
    std::string text;
    for (int row : rowNumbers) {
        const TArchiveModel::Row& texts = FModel->Rows()[row];
        for (int column = 0; column < columns; ++column) {
            if (column > 0) {
                text += '\t';
            }
            text += texts[column];
        }
        text += '\n';
    }
    QApplication::clipboard()->setText(QString::fromStdString(text));
}
