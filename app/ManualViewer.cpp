#include "ManualViewer.h"

#include "ui_ManualViewer.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

// ZQ_MANUAL_FROM_BIN: the installed manual's folder relative to the
// program's; ZQ_MANUAL_SOURCE_DIR: the manual in the source tree. Both come
// from the build.

namespace {

constexpr int kProbeLimitMs = 5000;
constexpr const char* kProbeObjectName = "ManualProbe";

BrowserProbe& CurrentProbe() {
    static BrowserProbe probe;
    return probe;
}

UrlOpener& CurrentOpener() {
    static UrlOpener opener;
    return opener;
}

void ShowViewer(QWidget* window, const QString& indexPath) {
    auto* viewer = window->findChild<ManualViewer*>(QString(), Qt::FindDirectChildrenOnly);
    if (!viewer) {
        viewer = new ManualViewer(indexPath, window);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace

ManualViewer::ManualViewer(const QString& indexPath, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ManualViewer>()) {
    ui->setupUi(this);
    // A window of its own beside the main one, not a modal step.
    setModal(false);
    QTextBrowser* browser = ui->ManualBrowser;
    connect(ui->BackButton, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(ui->ForwardButton, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(ui->HomeButton, &QPushButton::clicked, browser, &QTextBrowser::home);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(browser, &QTextBrowser::backwardAvailable, ui->BackButton, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, ui->ForwardButton, &QWidget::setEnabled);
    browser->document()->setDocumentMargin(12);
    browser->setSource(QUrl::fromLocalFile(indexPath));

    // The screenshots in the manual are 920 pixels wide; smaller screens scroll.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(std::min(width(), available.width() * 9 / 10),
               std::min(height(), available.height() * 9 / 10));
    }
    browser->setFocus();
}

ManualViewer::~ManualViewer() = default;

QString ManualIndexPath() {
    const QString candidates[] = {
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" ZQ_MANUAL_FROM_BIN "/index.html")),
        QStringLiteral(ZQ_MANUAL_SOURCE_DIR "/index.html"),
    };
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return {};
}

void ProbeHtmlBrowser(QObject* context, std::function<void(bool)> answer) {
    auto* process = new QProcess(context);
    // Whichever comes first of the answer, a failure to start and the limit.
    auto done = [process, answer = std::move(answer)](bool found) {
        if (process->property("answered").toBool()) {
            return;
        }
        process->setProperty("answered", true);
        process->deleteLater();
        answer(found);
    };
    QObject::connect(
        process, &QProcess::finished, process,
        [process, done](int exitCode, QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit || exitCode != 0) {
                done(false);
                return;
            }
            const QString entry =
                QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed();
            done(entry.endsWith(QStringLiteral(".desktop")) && !entry.contains(QLatin1Char('/')) &&
                 !QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry).isEmpty());
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [done](QProcess::ProcessError) { done(false); });
    QTimer::singleShot(kProbeLimitMs, process, [process, done] {
        process->kill();
        done(false);
    });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                QStringLiteral("text/html")});
}

void SetManualOpeners(BrowserProbe probe, UrlOpener opener) {
    CurrentProbe() = std::move(probe);
    CurrentOpener() = std::move(opener);
}

void ShowManual(QWidget* window) {
    const QString indexPath = ManualIndexPath();
    if (indexPath.isEmpty()) {
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("Справка"),
            QStringLiteral("Руководство пользователя не найдено. Оно должно быть в папке\n%1")
                .arg(QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/" ZQ_MANUAL_FROM_BIN))),
            QMessageBox::Ok, window);
        box.setObjectName(QStringLiteral("ManualMissingBox"));
        box.exec();
        return;
    }
    // One question to the desktop at a time: a second F1 while it is asked
    // opens nothing more.
    if (window->findChild<QObject*>(QString::fromLatin1(kProbeObjectName),
                                    Qt::FindDirectChildrenOnly)) {
        return;
    }
    auto* context = new QObject(window);
    context->setObjectName(QString::fromLatin1(kProbeObjectName));
    const BrowserProbe probe = CurrentProbe() ? CurrentProbe() : BrowserProbe(&ProbeHtmlBrowser);
    probe(context, [window, context, indexPath](bool browserRegistered) {
        context->deleteLater();
        context->setObjectName(QString());
        const UrlOpener opener = CurrentOpener() ? CurrentOpener() : UrlOpener([](const QUrl& url) {
            return QDesktopServices::openUrl(url);
        });
        if (browserRegistered && opener(QUrl::fromLocalFile(indexPath))) {
            return;
        }
        ShowViewer(window, indexPath);
    });
}
