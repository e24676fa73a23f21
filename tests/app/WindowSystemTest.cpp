// What the window system receives from the window: the titles of the main
// window and of the dialogs as xprop reads them, and where they are placed.
// Runs on an X display (ctest starts Xvfb); skipped elsewhere or without
// xprop.
#include "MainFrame.h"
#include "ProgramApplication.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWindow>

namespace {

// The value of a text property of the X window behind `window`, as xprop
// prints it; empty when it cannot be read.
QString XProperty(QWidget* window, const char* property) {
    QProcess xprop;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xprop.setProcessEnvironment(env);
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("-notype"),
                 QString::fromLatin1(property)});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0) {
        return {};
    }
    // NAME = "text"
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype first = out.indexOf(QLatin1Char('"'));
    const qsizetype last = out.lastIndexOf(QLatin1Char('"'));
    return first >= 0 && last > first ? out.mid(first + 1, last - first - 1) : QString();
}

// The title the window system holds for `window`, once both its title
// properties are `expected`; otherwise both as they are.
QString ReceivedTitle(QWidget* window, const QString& expected) {
    QString wmName, netWmName;
    WaitUntil(
        [&] {
            wmName = XProperty(window, "WM_NAME");
            netWmName = XProperty(window, "_NET_WM_NAME");
            return wmName == expected && netWmName == expected;
        },
        5000);
    return wmName == netWmName
               ? wmName
               : QStringLiteral("WM_NAME \"%1\", _NET_WM_NAME \"%2\"").arg(wmName, netWmName);
}

class WindowSystemTest : public testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X display (QT_QPA_PLATFORM=xcb)";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
            GTEST_SKIP() << "needs xprop";
        }
        static const bool setUp = [] {
            ProgramApplication::SetUpProgram();
            return true;
        }();
        (void)setUp;
        form = std::make_unique<TMainForm>();
        form->show();
        ASSERT_TRUE(
            WaitUntil([&] { return form->isVisible() && form->windowHandle()->isExposed(); }));
    }

    std::unique_ptr<TMainForm> form;
};

TEST_F(WindowSystemTest, TitlesArriveExactlyAsDesigned) {
    const QString caption = QStringLiteral("ZQ Менеджер");
    EXPECT_EQ(ReceivedTitle(form.get(), caption).toStdString(), caption.toStdString());

    QTemporaryDir dir;
    const QString path = dir.filePath("read.arch");
    ASSERT_TRUE(form->FileSaveAsAccept(path));
    const QString withFile = QStringLiteral("ZQ Менеджер - ") + path;
    EXPECT_EQ(ReceivedTitle(form.get(), withFile).toStdString(), withFile.toStdString());

    const struct {
        const char* action;
        const char* title;
    } dialogs[] = {
        {"ReadAllDataAction", "Чтение параметров"},
        {"ChanelTypeAction", "Настройка подключения"},
        {"SetCurrentTime", "Внимание"},
        {"ClearArchive", "Внимание"},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.action);
        QString received;
        AnswerModal([&](QWidget* modal) {
            received = ReceivedTitle(modal, QString::fromUtf8(d.title));
            static_cast<QDialog*>(modal)->reject();
        });
        form->findChild<QAction*>(d.action)->trigger();
        EXPECT_EQ(received.toStdString(), d.title);
    }
}

TEST_F(WindowSystemTest, TheWindowOpensCentredWithItsClientAreaAndTheDialogsOverIt) {
    // The client area under the menu.
    EXPECT_EQ(form->width(), 904);
    EXPECT_EQ(form->height() - form->menuBar()->height(), 571);
    // Centred on the screen's free area, to the pixel that halving allows.
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    EXPECT_LE((form->frameGeometry().center() - screenCentre).manhattanLength(), 2);

    for (const char* action : {"ReadAllDataAction", "ChanelTypeAction", "SetCurrentTime"}) {
        SCOPED_TRACE(action);
        QPoint offset(1000, 1000);
        AnswerModal([&](QWidget* modal) {
            WaitUntil([&] { return modal->windowHandle() && modal->windowHandle()->isExposed(); });
            offset = modal->frameGeometry().center() - form->frameGeometry().center();
            static_cast<QDialog*>(modal)->reject();
        });
        form->findChild<QAction*>(action)->trigger();
        EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << ", " << offset.y();
    }
}

}  // namespace
