// "Справка" (F1): the manual opens in the desktop's browser when one is
// registered for HTML and starts, else in the window "Справка" with working
// links and pictures; and how the desktop is asked for its browser.
#include "MainFrame.h"
#include "ManualViewer.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <set>
#include <string>
#include <vector>

namespace {

// The pictures of the shown page that do not load and its links inside the
// page whose target it lacks.
std::set<std::string> BrokenParts(QTextBrowser* browser) {
    std::set<std::string> broken;
    QSet<QString> anchors;
    QStringList links;
    QStringList images;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString& name : format.anchorNames()) {
                anchors.insert(name);
            }
            if (format.isAnchor() && format.anchorHref().startsWith(QLatin1Char('#'))) {
                links << format.anchorHref().mid(1);
            }
            if (format.isImageFormat()) {
                images << format.toImageFormat().name();
            }
        }
    }
    for (const QString& link : links) {
        if (!anchors.contains(link)) {
            broken.insert("link #" + link.toStdString());
        }
    }
    for (const QString& image : images) {
        const QVariant data = browser->loadResource(QTextDocument::ImageResource, QUrl(image));
        if (QImage::fromData(data.toByteArray()).isNull()) {
            broken.insert("picture " + image.toStdString());
        }
    }
    if (links.isEmpty() || images.isEmpty()) {
        broken.insert("no links or no pictures at all");
    }
    return broken;
}

struct Route {
    const char* name;
    bool browserRegistered;
    bool browserStarts;
    bool viewerShown;
};

class ManualRoutes : public testing::TestWithParam<Route> {
protected:
    void TearDown() override { SetManualOpeners({}, {}); }
};

TEST_P(ManualRoutes, F1OpensTheManual) {
    const Route route = GetParam();
    std::vector<QUrl> opened;
    SetManualOpeners(
        [route](QObject* context, std::function<void(bool)> answer) {
            QTimer::singleShot(0, context, [route, answer] { answer(route.browserRegistered); });
        },
        [route, &opened](const QUrl& url) {
            opened.push_back(url);
            return route.browserStarts;
        });
    TMainForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_F1);
    ASSERT_TRUE(WaitUntil([&] { return !form.findChild<QObject*>("ManualProbe"); }));
    QApplication::processEvents();

    const QString index = ManualIndexPath();
    ASSERT_FALSE(index.isEmpty());
    if (route.browserRegistered) {
        EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(index)});
    } else {
        EXPECT_TRUE(opened.empty());
    }
    auto* viewer = form.findChild<ManualViewer*>();
    ASSERT_EQ(viewer && viewer->isVisible(), route.viewerShown);
    if (!route.viewerShown) {
        return;
    }
    EXPECT_EQ(viewer->windowTitle().toStdString(), "Справка");
    auto* browser = viewer->findChild<QTextBrowser*>("ManualBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(index));
    EXPECT_EQ(BrokenParts(browser), std::set<std::string>());

    // The first entry of the contents, by keyboard, leads down the page;
    // "Назад" returns to the top, Esc closes the window.
    QScrollBar* bar = browser->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    browser->setFocus();
    QTest::keyClick(browser, Qt::Key_Tab);
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_GT(bar->value(), 0);
    auto* back = viewer->findChild<QPushButton*>("BackButton");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(viewer, Qt::Key_Escape);
    EXPECT_FALSE(viewer->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Manual, ManualRoutes,
                         testing::Values(Route{"NoBrowserRegistered", false, false, true},
                                         Route{"BrowserOpensIt", true, true, false},
                                         Route{"BrowserDoesNotStart", true, false, true}),
                         [](const testing::TestParamInfo<Route>& info) {
                             return std::string(info.param.name);
                         });

// The desktop's answer through a stand-in xdg-mime on PATH and a private
// folder of desktop entries.
struct Probe {
    const char* name;
    const char* xdgMime;  // the script's body; null: no xdg-mime at all
    bool entryInstalled;  // applications/viewer.desktop exists
    bool browserFound;
};

class HtmlBrowserProbe : public testing::TestWithParam<Probe> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"PATH", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            saved.emplace_back(name, qgetenv(name));
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            qputenv(name, value);
        }
    }

    QTemporaryDir dir;
    std::vector<std::pair<const char*, QByteArray>> saved;
};

TEST_P(HtmlBrowserProbe, AnswersWhetherABrowserIsRegistered) {
    const Probe probe = GetParam();
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString applications = dir.filePath(QStringLiteral("data/applications"));
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(applications));
    if (probe.xdgMime) {
        ASSERT_TRUE(WriteScript(bin + QStringLiteral("/xdg-mime"), probe.xdgMime));
    }
    if (probe.entryInstalled) {
        QFile entry(applications + QStringLiteral("/viewer.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %u\n");
    }
    qputenv("PATH", bin.toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("none")).toLocal8Bit());

    QObject context;
    int answers = 0;
    bool found = !probe.browserFound;
    ProbeHtmlBrowser(&context, [&](bool browser) {
        ++answers;
        found = browser;
    });
    ASSERT_TRUE(WaitUntil([&] { return answers > 0; }));
    EXPECT_EQ(found, probe.browserFound);
    QApplication::processEvents();
    EXPECT_EQ(answers, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Desktop, HtmlBrowserProbe,
    testing::Values(Probe{"EntryInstalled", "echo viewer.desktop", true, true},
                    Probe{"NothingRegistered", "exit 0", true, false},
                    Probe{"EntryNotInstalled", "echo gone.desktop", true, false},
                    Probe{"QueryFails", "echo viewer.desktop; exit 4", true, false},
                    Probe{"NoXdgMime", nullptr, true, false}),
    [](const testing::TestParamInfo<Probe>& info) { return std::string(info.param.name); });

}  // namespace
