#include "ZQArchive.h"

#include "ArchiveDecodeStruct.h"
#include "ConsumptionChart.h"
#include "ConsumptionSeries.h"
#include "JournalDecodeStruct.h"
#include "RecordTexts.h"
#include "ui_ZQArchive.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

using namespace ZQ_namespace;

namespace {

// Auto-sizing finds each column's widest cells among all rows by adding up
// the advances of their characters, then measures at most this many of the
// widest texts exactly, as the view draws them.
constexpr size_t kMeasuredTexts = 32;

// Heights of the table and the chart as the splitter first shares them out.
constexpr int kTableShare = 7;
constexpr int kChartShare = 3;

const char kCopyText[] = "Копировать";
const char kChartName[] = "График расхода";
const char kSelectAllText[] = "Выделить всё";

// The width of a UTF-8 text as the sum of its characters' advances in a
// font: what the text measures unless kerning or shaping moves a pair of
// characters closer or apart by a pixel or so. Cheap enough for every cell
// of 65535 rows: the advances are looked up, not laid out.
class AdvanceSum {
public:
    explicit AdvanceSum(const QFont& font) : metrics(font) {
        for (char32_t c = 0; c < 128; ++c) {
            ascii[c] = metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)));
        }
    }

    qreal operator()(const std::string& text) {
        qreal width = 0;
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        const size_t size = text.size();
        for (size_t i = 0; i < size;) {
            const unsigned char lead = bytes[i];
            if (lead < 0x80) {
                width += ascii[lead];
                ++i;
                continue;
            }
            // A multi-byte sequence; a broken one counts as one character.
            const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            const size_t end = std::min(size, i + length);
            width += Other(text.substr(i, end - i));
            i = end;
        }
        return width;
    }

private:
    qreal Other(const std::string& character) {
        const auto found = others.find(character);
        if (found != others.end()) {
            return found->second;
        }
        const qreal advance = metrics.horizontalAdvance(QString::fromStdString(character));
        others.emplace(character, advance);
        return advance;
    }

    QFontMetricsF metrics;
    qreal ascii[128] = {};
    std::unordered_map<std::string, qreal> others;
};

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

    ArchiveSplitter = FUi->ArchiveSplitter;
    ArchiveSplitter->setCollapsible(0, false);

    // The table's context menu is its actions; the shortcuts work while the
    // table has the focus.
    auto* copy = new QAction(QString::fromUtf8(kCopyText), ListView);
    copy->setObjectName(QStringLiteral("CopyAction"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TArchiveFrame::CopyToClipboard);
    auto* selectAll = new QAction(QString::fromUtf8(kSelectAllText), ListView);
    selectAll->setObjectName(QStringLiteral("SelectAllAction"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetShortcut);
    connect(selectAll, &QAction::triggered, ListView, &QAbstractItemView::selectAll);
    ListView->addAction(copy);
    ListView->addAction(selectAll);
    ListView->setContextMenuPolicy(Qt::ActionsContextMenu);
}

TArchiveFrame::~TArchiveFrame() = default;

void TArchiveFrame::SetupColumns(ArchiveKind kind) {
    FModel->Reset(ColumnNames(kind), {});
    AutoSizeColumns();
    const bool archive = kind == akHour || kind == akDay || kind == akMonth;
    ShowChart(archive);
    if (archive) {
        ConsumptionChart->Clear(kind);
    }
}

void TArchiveFrame::ShowChart(bool visible) {
    if (!visible) {
        if (ConsumptionChart) {
            ConsumptionChart->hide();
        }
        return;
    }
    if (!ConsumptionChart) {
        ConsumptionChart = new TConsumptionChart(ArchiveSplitter);
        ConsumptionChart->setObjectName(QStringLiteral("ConsumptionChart"));
        ConsumptionChart->setAccessibleName(QString::fromUtf8(kChartName));
        ConsumptionChart->setAccessibleDescription(ListView->accessibleName());
        ArchiveSplitter->addWidget(ConsumptionChart);
        ArchiveSplitter->setCollapsible(1, true);
        ArchiveSplitter->setStretchFactor(0, kTableShare);
        ArchiveSplitter->setStretchFactor(1, kChartShare);
        // Scaled to the splitter's height when it is first laid out.
        ArchiveSplitter->setSizes({kTableShare * 100, kChartShare * 100});
    }
    ConsumptionChart->show();
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
    const bool archive = kind == akHour || kind == akDay || kind == akMonth;
    ShowChart(archive);
    if (archive) {
        ConsumptionChart->ShowSeries(zqui::ComputeConsumption(list, kind));
    }
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
    ShowChart(false);
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
    if (ConsumptionChart) {
        ConsumptionChart->setAccessibleDescription(caption);
    }
}

// Each column gets the width of its header text or its widest cell, whichever
// is larger, measured as the view measures for its own fit-to-contents; the
// header's last section then stretches over what is left. Every row counts:
// the texts whose summed advances come within one average character of the
// column's widest are measured exactly (the widest kMeasuredTexts of them),
// and the column is never narrower than the widest sum itself.
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
    AdvanceSum advances(option.font);
    const qreal slack = option.fontMetrics.averageCharWidth();
    std::vector<std::pair<qreal, size_t>> sums(rows.size());
    for (int column = 0; column < FModel->columnCount(); ++column) {
        int width = header->sectionSizeHint(column);
        qreal widest = 0;
        for (size_t row = 0; row < rows.size(); ++row) {
            sums[row] = {advances(rows[row][column]), row};
            widest = std::max(widest, sums[row].first);
        }
        // The candidates, widest first, each text once.
        const auto near = std::partition(
            sums.begin(), sums.end(), [&](const auto& sum) { return sum.first >= widest - slack; });
        std::sort(sums.begin(), near,
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        std::unordered_set<std::string_view> measured;
        for (auto it = sums.begin(); it != near && measured.size() < kMeasuredTexts; ++it) {
            const std::string& text = rows[it->second][column];
            if (text.empty() || !measured.insert(text).second) {
                continue;
            }
            const QModelIndex index = FModel->index(static_cast<int>(it->second), column);
            const int cell = delegate->sizeHint(option, index).width() + grid;
            // What the delegate adds around the text, on the widest sum.
            const int padding =
                cell - option.fontMetrics.horizontalAdvance(QString::fromStdString(text));
            width = std::max({width, cell, static_cast<int>(std::ceil(widest)) + padding});
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

QString TArchiveFrame::CopyText() const {
    const std::vector<TArchiveModel::Row>& rows = FModel->Rows();
    const size_t columns = FModel->Headers().size();
    // Selection ranges rather than selectedRows(): "Выделить всё" on 65535
    // rows is one range.
    std::vector<bool> chosen(rows.size(), false);
    bool anyChosen = false;
    if (const QItemSelectionModel* selection = ListView->selectionModel()) {
        for (const QItemSelectionRange& range : selection->selection()) {
            for (int row = std::max(range.top(), 0);
                 row <= range.bottom() && static_cast<size_t>(row) < rows.size(); ++row) {
                chosen[static_cast<size_t>(row)] = true;
                anyChosen = true;
            }
        }
    }
    std::string text;
    auto addLine = [&](auto&& cell) {
        for (size_t column = 0; column < columns; ++column) {
            if (column > 0) {
                text += '\t';
            }
            text += cell(column);
        }
        text += '\n';
    };
    addLine([&](size_t column) -> const std::string& { return FModel->Headers()[column]; });
    for (size_t row = 0; row < rows.size(); ++row) {
        if (chosen[row] || !anyChosen) {
            addLine([&](size_t column) -> const std::string& { return rows[row][column]; });
        }
    }
    return QString::fromStdString(text);
}

void TArchiveFrame::CopyToClipboard() const {
    QApplication::clipboard()->setText(CopyText());
}
