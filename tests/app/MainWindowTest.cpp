// The main window's commands against a simulated device, and its file
// handlers: what the user sees in the status bar, on the pages and in the
// data the window keeps.
#include "AnswerFrames.h"
#include "ArchiveFile.h"
#include "ElidedLabel.h"
#include "ExchangeLogPane.h"
#include "FakeChanel.h"
#include "MainFrame.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SimDevice.h"
#include "TExcelExport.h"
#include "WindowTestSupport.h"
#include "WorkbookLauncher.h"
#include "ZQArchive.h"
#include "ZQReadAllParamsTask.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace {

const std::vector<std::string> kDevice = {"--baud",    "0",  "--latency", "0",   "--seed",  "3",
                                          "--hour",    "30", "--day",     "12",  "--month", "5",
                                          "--journal", "9",  "--serial",  "4711"};

void PressButton(QWidget* modal, QMessageBox::StandardButton which) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    box->button(which)->click();
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SaveSimulatedDeviceSettings());
        SettingsStore store;  // each test starts without recent files
        store.RemoveKey(std::string(kProgramKey) + "\\RecentFiles");
        ASSERT_TRUE(store.Sync());
        form = std::make_unique<TMainForm>();
        form->show();
    }

    QAction* Action(const char* name) const { return form->findChild<QAction*>(name); }
    QString Status() const { return form->findChild<QLabel*>("StatusText")->text(); }
    int Progress() const { return form->findChild<QProgressBar*>("progressBar")->value(); }
    int Rows(const char* frame) const {
        return form->findChild<TArchiveFrame*>(frame)
            ->findChild<QTableView*>("ListView")
            ->model()
            ->rowCount();
    }
    QString Serial() const { return form->findChild<QLineEdit*>("Serial")->text(); }
    bool ExchangeCommandsEnabled() const {
        return Action("ReadAllDataAction")->isEnabled() &&
               Action("MonitoringAction")->isEnabled() &&
               Action("SetSetupParamsAction")->isEnabled() &&
               Action("ChanelTypeAction")->isEnabled() && !Action("CancelAction")->isEnabled();
    }
    bool TaskFinished() const {
        return form->CurrentTask() && form->CurrentTask()->GetState() > tsRunning &&
               ExchangeCommandsEnabled();
    }
    // "Считать данные" with the read dialog accepted.
    void StartRead() {
        AnswerModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->accept(); });
        Action("ReadAllDataAction")->trigger();
    }

    std::unique_ptr<TMainForm> form;
};

TEST_F(MainWindowTest, ReadFillsEveryPageAndBecomesTheDocument) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    StartRead();
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); })) << Status().toStdString();

    EXPECT_EQ(Status(), QStringLiteral("Чтение параметров выполнено"));
    EXPECT_EQ(Progress(), 0);
    EXPECT_EQ(Serial(), QStringLiteral("000004711"));
    EXPECT_EQ(Rows("HourArchiveFrame"), 30);
    EXPECT_EQ(Rows("DayArchiveFrame"), 12);
    EXPECT_EQ(Rows("MonthArchiveFrame"), 5);
    EXPECT_EQ(Rows("JournalFrame"), 9);
    EXPECT_EQ(form->DocumentValve(), form->TaskValve());
    EXPECT_EQ(form->DocumentValve().HourArchive.size(), 30u);
}

TEST_F(MainWindowTest, DecliningTheReadDialogStartsNothing) {
    AnswerModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    Action("ReadAllDataAction")->trigger();
    EXPECT_EQ(form->CurrentTask(), nullptr);
    EXPECT_TRUE(ExchangeCommandsEnabled());
}

TEST_F(MainWindowTest, CancelDuringAReadKeepsThePagesAndTheDocument) {
    // At the line's real speed the archives take seconds.
    SimDevice device({"--baud", "19200", "--hour", "600", "--serial", "4711"});
    ASSERT_TRUE(device.Started()) << device.Error();
    StartRead();
    ASSERT_TRUE(
        WaitUntil([&] { return form->CurrentTask() && form->CurrentTask()->GetStep() >= 5; }));
    Action("CancelAction")->trigger();

    EXPECT_EQ(Status(), QString());
    EXPECT_EQ(Progress(), 0);
    EXPECT_TRUE(ExchangeCommandsEnabled());
    ASSERT_TRUE(WaitUntil([&] {
        TQueueIDChanel* chanel = form->CurrentTask()->GetChanel();
        return chanel == nullptr || chanel->GetState() == csDisconnected;
    }));
    EXPECT_EQ(form->CurrentTask()->GetState(), tsStopped);
    EXPECT_EQ(Rows("HourArchiveFrame"), 0);
    EXPECT_EQ(Serial(), QString());
    EXPECT_TRUE(form->DocumentValve().HourArchive.empty());
}

// Whatever the channel raises between the cancel and the next tick, the
// window stays as the cancel left it.
TEST_F(MainWindowTest, ACancelLeavesAClearWindowWhateverArrivesBeforeTheNextTick) {
    const struct {
        const char* name;
        std::function<void(FakeChanel&)> raise;
    } events[] = {
        {"an exception answer",
         [](FakeChanel& c) {
             c.InjectAnswer(answers::WithCrc({1, 0x91, 4}), 2);
         }},
        {"the connection dropped", [](FakeChanel& c) { c.InjectState(csDisconnected); }},
    };
    ZQValve valve;
    for (const auto& e : events) {
        SCOPED_TRACE(e.name);
        auto owned = std::make_unique<WithFakeChanel<ZQReadAllParamsTask>>(true, &valve);
        auto* task = owned.get();
        ASSERT_TRUE(form->StartTask(std::move(owned)));
        ASSERT_TRUE(WaitUntil([&] { return task->fake != nullptr; }));
        task->fake->InjectState(csConnecting);
        task->fake->InjectState(csConnected);
        ASSERT_TRUE(WaitUntil([&] { return !task->fake->sent.empty() && Progress() > 0; }));

        Action("CancelAction")->trigger();
        e.raise(*task->fake);
        // Connected after the window's handler: counts ticks it has done.
        int ticks = 0;
        QMetaObject::Connection counter = QObject::connect(form->findChild<QTimer*>("TaskTimer"),
                                                           &QTimer::timeout, [&] { ++ticks; });
        ASSERT_TRUE(WaitUntil([&] { return ticks >= 2; }));
        QObject::disconnect(counter);
        EXPECT_EQ(Status().toStdString(), "");
        EXPECT_EQ(Progress(), 0);
        EXPECT_TRUE(ExchangeCommandsEnabled());
        EXPECT_EQ(task->GetState(), tsStopped);
    }
    form.reset();  // the last task goes before the data set it fills
}

TEST_F(MainWindowTest, AReadEndingInAnErrorShowsItsTextAndCopiesNothing) {
    SimDevice device({"--baud", "0", "--device-version", "2"});
    ASSERT_TRUE(device.Started()) << device.Error();
    StartRead();
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
    EXPECT_EQ(Status(), QStringLiteral("Неизвестная версия прибора"));
    EXPECT_EQ(Progress(), 0);
    EXPECT_EQ(form->DocumentValve(), ZQValve());
}

TEST_F(MainWindowTest, MonitoringRefreshesTheParameterPagesWhenItPauses) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    Action("MonitoringAction")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return form->CurrentTask()->GetStep() == 5; }));
    ASSERT_TRUE(WaitUntil([&] { return !Serial().isEmpty(); }, 1000));
    EXPECT_EQ(Serial(), QStringLiteral("000004711"));
    EXPECT_EQ(Status(), QStringLiteral("Ожидание ..."));
    EXPECT_FALSE(Action("ReadAllDataAction")->isEnabled());
    // The document is a read's or a file's, never the monitoring's.
    EXPECT_EQ(form->DocumentValve(), ZQValve());
}

TEST_F(MainWindowTest, WriteCommandsAskFirst) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    const struct {
        const char* action;
        QMessageBox::StandardButton answer;
        int taskType;  // 0: nothing started
        const char* finalText;
    } cases[] = {
        {"SetCurrentTime", QMessageBox::Cancel, 0, ""},
        {"ClearArchive", QMessageBox::Cancel, 0, ""},
        {"SetCurrentTime", QMessageBox::Ok, kTaskWriteTime, "Установка текущего времени выполнена"},
        {"ClearArchive", QMessageBox::Ok, kTaskClearArchive, "Сброс архива будет выполнен"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) +
                     (c.answer == QMessageBox::Ok ? " accepted" : " declined"));
        ZQTask* before = form->CurrentTask();
        QString title, text;
        AnswerModal([&, answer = c.answer](QWidget* modal) {
            title = modal->windowTitle();
            text = static_cast<QMessageBox*>(modal)->text();
            PressButton(modal, answer);
        });
        Action(c.action)->trigger();
        EXPECT_EQ(title, QStringLiteral("Внимание"));
        EXPECT_FALSE(text.isEmpty());
        if (c.taskType == 0) {
            EXPECT_EQ(form->CurrentTask(), before);
            continue;
        }
        ASSERT_NE(form->CurrentTask(), nullptr);
        EXPECT_EQ(form->CurrentTask()->GetTaskType(), c.taskType);
        ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
        EXPECT_EQ(Status(), QString::fromUtf8(c.finalText));
    }
}

TEST_F(MainWindowTest, SettingTheClockReplacesARunningMonitoring) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    Action("MonitoringAction")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return form->CurrentTask()->GetStep() >= 3; }));
    EXPECT_TRUE(Action("SetCurrentTime")->isEnabled());
    AnswerModal([](QWidget* modal) { PressButton(modal, QMessageBox::Ok); });
    Action("SetCurrentTime")->trigger();
    ASSERT_EQ(form->CurrentTask()->GetTaskType(), kTaskWriteTime);
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
    EXPECT_EQ(Status(), QStringLiteral("Установка текущего времени выполнена"));
}

TEST_F(MainWindowTest, SaveAndOpenThroughTheHandlers) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    StartRead();
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
    const ZQValve read = form->DocumentValve();

    QTemporaryDir dir;
    const QString saved = dir.filePath("read.arch");
    EXPECT_TRUE(form->FileSaveAsBeforeExecute().startsWith(QStringLiteral("0000_ZQ_000004711_")));
    ASSERT_TRUE(form->FileSaveAsAccept(saved));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("ZQ Менеджер - ") + saved);

    // A file with fewer hourly records replaces every page.
    ZQValve other = read;
    other.HourArchive.resize(4);
    other.Journal.clear();
    const QString small = dir.filePath("small.arch");
    WriteArchiveFile(small.toStdString(), other);
    ASSERT_TRUE(form->FileOpenAccept(small));
    EXPECT_EQ(Rows("HourArchiveFrame"), 4);
    EXPECT_EQ(Rows("JournalFrame"), 0);

    // Back to the saved one: the round trip restores what was read.
    ASSERT_TRUE(form->FileOpenAccept(saved));
    EXPECT_EQ(form->DocumentValve().HourArchive, read.HourArchive);
    EXPECT_EQ(form->DocumentValve().Journal, read.Journal);
    EXPECT_EQ(Rows("HourArchiveFrame"), 30);
    EXPECT_EQ(Rows("JournalFrame"), 9);

    // A file cut inside the day records: the message, the sections before the
    // cut applied, the pages after it as they were; the caption unchanged.
    QFile whole(small);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QByteArray bytes = whole.readAll();
    bytes.chop(16 * (static_cast<int>(other.DayArchive.size() + other.MonthArchive.size())) - 8);
    const QString cut = dir.filePath("cut.arch");
    QFile out(cut);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    QString message;
    AnswerModal([&](QWidget* modal) {
        message = static_cast<QMessageBox*>(modal)->text();
        PressButton(modal, QMessageBox::Ok);
    });
    EXPECT_FALSE(form->FileOpenAccept(cut));
    EXPECT_EQ(message, QStringLiteral("Ошибка при чтении архивных параметров"));
    EXPECT_EQ(Rows("HourArchiveFrame"), 4);  // the hourly section was whole
    EXPECT_EQ(Rows("DayArchiveFrame"), 12);  // still the saved file's rows
    EXPECT_EQ(form->windowTitle(), QStringLiteral("ZQ Менеджер - ") + saved);

    // A save that cannot be written keeps the caption and says why.
    message.clear();
    AnswerModal([&](QWidget* modal) {
        message = static_cast<QMessageBox*>(modal)->text();
        PressButton(modal, QMessageBox::Ok);
    });
    EXPECT_FALSE(form->FileSaveAsAccept(dir.filePath("missing/folder/x.arch")));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("ZQ Менеджер - ") + saved);
}

// Last month's file, and "Недостающая часть архива" from the same device
// three days on: the pages show the file's records with the new ones in
// front, and that is the document a save writes.
TEST_F(MainWindowTest, MissingPartReadGrowsTheOpenedFile) {
    QTemporaryDir dir;
    const QString last = dir.filePath("last.arch");
    std::vector<std::string> then = kDevice;
    then.insert(then.end(), {"--clock", "2024-06-01T12:00:00"});
    {
        SimDevice device(then);
        ASSERT_TRUE(device.Started()) << device.Error();
        StartRead();
        ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
        ASSERT_TRUE(form->FileSaveAsAccept(last));
    }
    form = std::make_unique<TMainForm>();
    form->show();
    ASSERT_TRUE(form->FileOpenAccept(last));
    const ZQValve document = form->DocumentValve();

    std::vector<std::string> later = kDevice;
    later.insert(later.end(), {"--clock", "2024-06-04T12:00:00", "--later", "3"});
    SimDevice device(later);
    ASSERT_TRUE(device.Started()) << device.Error();
    bool offered = false;
    AnswerModal([&](QWidget* dialog) {
        auto* missing = dialog->findChild<QAbstractButton*>("RadioButton2");
        offered = missing->isEnabled();
        missing->click();
        static_cast<QDialog*>(dialog)->accept();
    });
    Action("ReadAllDataAction")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); })) << Status().toStdString();
    EXPECT_TRUE(offered);
    EXPECT_EQ(Status(), QStringLiteral("Чтение параметров выполнено"));
    EXPECT_EQ(Rows("HourArchiveFrame"), 30 + 72);
    EXPECT_EQ(Rows("DayArchiveFrame"), 12 + 3);
    EXPECT_EQ(Rows("MonthArchiveFrame"), 5);
    const ZQValve& grown = form->DocumentValve();
    ASSERT_EQ(grown.HourArchive.size(), 102u);
    EXPECT_TRUE(std::equal(document.HourArchive.begin(), document.HourArchive.end(),
                           grown.HourArchive.begin() + 72));
    EXPECT_TRUE(std::equal(document.Journal.begin(), document.Journal.end(),
                           grown.Journal.end() - document.Journal.size()));
    EXPECT_GT(grown.Journal.size(), document.Journal.size());
}

// The launcher behaves as xdg-open does when a program takes the file, when
// none is registered for the type, and when there is no launcher at all.
// The status text, longer than the status bar here, leaves the window as wide
// as it was and is heard whole.
TEST_F(MainWindowTest, ExportSaysWhereTheWorkbookIsAndWhenNoProgramOpensIt) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString(120, QLatin1Char('x')) + QStringLiteral("/ZQ"));
    TExcelExport::SetExportFolder(folder.toStdString());
    TExcelExport::SetOpener(
        [&](const std::string& path) { return form->OpenWorkbook(QString::fromStdString(path)); });
    const QString bin = dir.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QByteArray searchPath = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit());
    auto* label = qobject_cast<ElidedLabel*>(form->findChild<QLabel*>("StatusText"));
    ASSERT_NE(label, nullptr);
    const int width = form->width();

    const struct {
        const char* name;
        const char* launcher;  // the script's body; none: no launcher
        bool box;
    } cases[] = {
        {"a program takes it", "exit 0", false},
        {"no program for the type", "echo 'xdg-open: no method available' >&2; exit 3", true},
        {"no launcher", nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(bin + QStringLiteral("/xdg-open"));
        if (c.launcher) {
            ASSERT_TRUE(WriteScript(bin + QStringLiteral("/xdg-open"), c.launcher));
        }
        QString message;
        QPointer<QTimer> poll = AnswerModal([&](QWidget* modal) {
            message = static_cast<QMessageBox*>(modal)->text();
            PressButton(modal, QMessageBox::Ok);
        });
        Action("ExcelExport")->trigger();
        ASSERT_TRUE(WaitUntil([&] {
            auto* launcher = form->findChild<WorkbookLauncher*>();
            return !launcher || launcher->Running() == 0;
        }));
        delete poll;

        const QString lead = QStringLiteral("Книга записана: ");
        ASSERT_TRUE(Status().startsWith(lead));
        const QString path = Status().mid(lead.size());
        EXPECT_TRUE(path.startsWith(folder + QStringLiteral("/0000_ZQ_")));
        EXPECT_TRUE(path.endsWith(".xlsx"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(2), QByteArray("PK"));  // a zip container, as .xlsx is
        EXPECT_EQ(!message.isEmpty(), c.box);
        EXPECT_EQ(message.contains(path), c.box);

        EXPECT_EQ(form->width(), width);
        EXPECT_TRUE(label->IsElided());
        EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), Status());
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), label->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(label, &help);
        EXPECT_EQ(QToolTip::text(), Status());
    }
    qputenv("PATH", searchPath);
    TExcelExport::SetOpener({});
    TExcelExport::SetExportFolder({});
}

TEST_F(MainWindowTest, ExchangeLogShowsEveryFrameInOrderWithItsVerdict) {
    // Request 2 (the current parameters) comes back with a spoiled CRC,
    // request 4 (the setup parameters, after the retry) is not answered.
    SimDevice device({"--baud", "0", "--latency", "0", "--hour", "2", "--day", "1", "--month", "1",
                      "--journal", "1", "--fault", "crc:n=1,from=2", "--fault", "drop:n=1,from=4"});
    ASSERT_TRUE(device.Started()) << device.Error();
    StartRead();
    ASSERT_TRUE(WaitUntil([&] { return TaskFinished(); }));
    ASSERT_EQ(Status(), QStringLiteral("Чтение параметров выполнено"));

    const std::deque<QString>& lines = form->ExchangeLog()->Model().Lines();
    // Each row: the parts one line holds, the rows in the order of the lines.
    const std::vector<std::vector<QString>> expected = {
        {"ПК → прибор  #2  4 байт: 01 11"},
        {"прибор → ПК  #2  13 байт: 01 11 08 52 4F 52 49", "— ответ принят"},
        {"ПК → прибор  #3  8 байт: 01 04 00 00 00 40"},
        {"прибор → ПК  #3  133 байт: 01 04 80", "— Ошибка CRC в ответе от прибора, повтор"},
        {"ПК → прибор  #3  8 байт: 01 04"},
        {"прибор → ПК  #3  133 байт: 01 04 80", "— ответ принят"},
        {"ПК → прибор  #4  8 байт: 01 03 00 00 00 10"},
        {"Прибор не отвечает"},  // the channel's own text
        {"прибор → ПК  #4  ответа нет  — Нет ответа от прибора, повтор"},
        {"ПК → прибор  #4"},
        {"прибор → ПК  #4  37 байт: 01 03 20", "— ответ принят"},
        {"Чтение параметров выполнено"},
    };
    size_t at = 0;
    for (const auto& parts : expected) {
        const auto holds = [&](const QString& line) {
            return std::all_of(parts.begin(), parts.end(),
                               [&](const QString& part) { return line.contains(part); });
        };
        while (at < lines.size() && !holds(lines[at])) {
            ++at;
        }
        ASSERT_LT(at, lines.size()) << "not found in order: " << parts.front().toStdString();
        ++at;
    }
}

TEST(ExchangeLogModelTest, KeepsTheNewestLines) {
    ExchangeLogModel model;
    for (int i = 0; i < ExchangeLogModel::kMaxLines + 5; ++i) {
        model.Append(QString::number(i));
    }
    EXPECT_EQ(model.rowCount(), ExchangeLogModel::kMaxLines);
    EXPECT_EQ(model.Lines().front(), QStringLiteral("5"));
    EXPECT_EQ(model.Lines().back(), QString::number(ExchangeLogModel::kMaxLines + 4));
}

TEST_F(MainWindowTest, RecentFilesSurviveARestartAndADroppedFileOpens) {
    QTemporaryDir dir;
    ZQValve valve;
    valve.HourArchive.resize(3);
    const QString first = dir.filePath("first.arch");
    const QString second = dir.filePath("second.arch");
    WriteArchiveFile(first.toStdString(), valve);
    valve.HourArchive.resize(4);
    WriteArchiveFile(second.toStdString(), valve);
    ASSERT_TRUE(form->FileOpenAccept(first));

    // Dropped onto the window, the second file opens after the drop.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(second)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(WaitUntil([&] { return form->DocumentValve().HourArchive.size() == 4; }, 2000));

    form = std::make_unique<TMainForm>();  // a new run of the program
    auto* menu = form->findChild<QMenu*>("RecentFilesMenu");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), second);
    EXPECT_EQ(menu->actions()[1]->text(), first);

    // A file gone since: marked, and taken off the list when chosen.
    QFile::remove(first);
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions()[1]->text(), first + QStringLiteral(" (файл не найден)"));
    menu->actions()[1]->trigger();
    EXPECT_EQ(menu->actions().size(), 1);
    menu->actions()[0]->trigger();
    EXPECT_EQ(form->DocumentValve().HourArchive.size(), 4u);
}

}  // namespace
