#include "PortCombo.h"

#include "ComList.h"
#include "PortInfo.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace {

// After a change in /dev, udev still makes the by-id link and fills sysfs:
// the list is read once things have been quiet this long (ms).
constexpr int kSettleMs = 300;
// The name column of the list is at most this wide (px); a longer name (a
// by-id path) is elided in the middle and whole in its tool tip.
constexpr int kMaxNameWidth = 260;

std::string gSystemRoot = "/";

QList<QStandardItem*> Row(const QString& name, const QString& device, const QString& description) {
    QList<QStandardItem*> row = {new QStandardItem(name), new QStandardItem(device),
                                 new QStandardItem(description)};
    QString tip = name;
    for (const QString& part : {device, description}) {
        if (!part.isEmpty()) {
            tip += QStringLiteral(" — ") + part;
        }
    }
    for (QStandardItem* item : row) {
        item->setToolTip(tip);
        item->setEditable(false);
    }
    return row;
}

}  // namespace

TPortCombo::TPortCombo(QWidget* parent)
    : QComboBox(parent),
      FModel(new QStandardItemModel(0, 3, this)),
      FWatcher(new QFileSystemWatcher(this)),
      FSettle(new QTimer(this)) {
    FModel->setHorizontalHeaderLabels(
        {QStringLiteral("Порт"), QStringLiteral("Устройство"), QStringLiteral("Описание")});
    auto* view = new QTreeView(this);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setTextElideMode(Qt::ElideMiddle);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->header()->setStretchLastSection(true);
    view->header()->setSectionsMovable(false);
    setModel(FModel);
    setView(view);
    setModelColumn(0);

    FSettle->setSingleShot(true);
    FSettle->setInterval(kSettleMs);
    connect(FSettle, &QTimer::timeout, this, &TPortCombo::Refresh);
    connect(FWatcher, &QFileSystemWatcher::directoryChanged, FSettle, qOverload<>(&QTimer::start));
}

TPortCombo::~TPortCombo() = default;

void TPortCombo::SetSystemRoot(const std::string& root) {
    gSystemRoot = root.empty() ? "/" : root;
}

std::string TPortCombo::SystemRoot() {
    return gSystemRoot;
}

void TPortCombo::Refresh() {
    const QString text = currentText();
    comprt::PortSystem system;
    system.root = gSystemRoot;
    const std::vector<comprt::PortInfo> ports = comprt::ListPorts(system);

    {
        // The list is rebuilt quietly; PortsRead tells the result.
        const QSignalBlocker block(this);
        Fill(ports);
        const int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        setCurrentIndex(index);
        if (index < 0) {
            setEditText(text);  // the typed or stored name stays, listed or not
        }
    }
    FitPopupWidth();
    Watch();
    emit PortsRead();
}

void TPortCombo::Fill(const std::vector<comprt::PortInfo>& ports) {
    FModel->removeRows(0, FModel->rowCount());
    for (const comprt::PortInfo& port : ports) {
        FModel->appendRow(Row(QString::fromStdString(port.name),
                              QString::fromStdString(port.device),
                              QString::fromStdString(port.description)));
        if (!port.stablePath.empty()) {
            FModel->appendRow(Row(
                QString::fromStdString(port.stablePath), QString::fromStdString(port.device),
                QStringLiteral("постоянный путь: ") + QString::fromStdString(port.description)));
        }
    }
    if (ports.empty()) {
        // Nothing found: the names offered when the system lists none.
        const comprt::ComPort::ComList fallback{std::vector<std::string>()};
        for (const char* const* name = fallback.Names().data(); *name != nullptr; ++name) {
            FModel->appendRow(Row(QString::fromUtf8(*name), QString(), QString()));
        }
    }
}

void TPortCombo::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

// The folders whose entries come and go with the adapters; each watched
// only while it exists (/dev/serial appears with the first USB adapter).
void TPortCombo::Watch() {
    const QString root = QString::fromStdString(gSystemRoot == "/" ? "" : gSystemRoot);
    QStringList wanted = {root + QStringLiteral("/dev"), root + QStringLiteral("/dev/serial"),
                          root + QStringLiteral("/dev/serial/by-id"),
                          QString::fromStdString(comprt::PortFolder())};
    wanted.erase(std::remove_if(wanted.begin(), wanted.end(),
                                [](const QString& path) { return !QDir(path).exists(); }),
                 wanted.end());
    const QStringList watched = FWatcher->directories();
    for (const QString& path : watched) {
        if (!wanted.contains(path)) {
            FWatcher->removePath(path);
        }
    }
    for (const QString& path : wanted) {
        if (!watched.contains(path)) {
            FWatcher->addPath(path);
        }
    }
}

// Each column as wide as its widest text (the name column at most
// kMaxNameWidth), the list as wide as its columns.
void TPortCombo::FitPopupWidth() {
    auto* tree = static_cast<QTreeView*>(view());
    QHeaderView* header = tree->header();
    const QFontMetrics metrics(tree->font());
    const int padding = 3 * metrics.averageCharWidth();
    int width = 0;
    for (int column = 0; column < FModel->columnCount(); ++column) {
        int widest =
            metrics.horizontalAdvance(FModel->headerData(column, Qt::Horizontal).toString()) +
            padding;
        for (int row = 0; row < FModel->rowCount(); ++row) {
            widest = std::max(
                widest, metrics.horizontalAdvance(FModel->item(row, column)->text()) + padding);
        }
        if (column == 0) {
            widest = std::min(widest, kMaxNameWidth);
        }
        header->resizeSection(column, widest);
        width += widest;
    }
    tree->setMinimumWidth(width + 2 * tree->frameWidth() +
                          tree->verticalScrollBar()->sizeHint().width());
}
