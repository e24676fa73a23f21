// Monitoring in the window against a simulated device: the trend and the
// recording follow the cycles, the choice of file survives a restart, a
// recording that cannot write stops while the monitoring goes on, and a pipe
// is refused as the recording's file.
#include "MainFrame.h"
#include "MonitoringChart.h"
#include "MonitoringRecorder.h"
#include "MonitoringRecording.h"
#include "SimDevice.h"
#include "TextFormat.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <memory>

namespace {

const std::vector<std::string> kDevice = {"--baud",     "0", "--latency",     "0", "--seed", "3",
                                          "--ns-flags", "1", "--flow-settle", "20"};

class MonitoringWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SaveSimulatedDeviceSettings());
        ASSERT_TRUE(folder.isValid());
        csv = folder.filePath(QStringLiteral("run.csv"));
        form = std::make_unique<TMainForm>();
        form->show();
    }
    void TearDown() override {
        if (form->MonitoringRecording()) {
            form->MonitoringRecording()->Choose(QString());
        }
    }

    QAction* Action(const char* name) const { return form->findChild<QAction*>(name); }
    TMonitoringChart* Chart() const {
        return form->findChild<TMonitoringChart*>("MonitoringChart");
    }
    QLabel* RecordLabel() const { return form->findChild<QLabel*>("RecordingStatusText"); }
    QStringList CsvLines() const {
        QFile file(csv);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool WaitForCycles(size_t cycles) const {
        return WaitUntil([&] { return Chart()->Trend().Size() >= cycles; }, 30000);
    }

    QTemporaryDir folder;
    QString csv;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MonitoringWindowTest, TrendAndRecordingFollowTheCyclesOfARun) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    EXPECT_FALSE(Chart()->isVisible());
    form->MonitoringRecording()->Choose(csv);

    // The choice survives a restart, but nothing is recorded before the
    // user starts monitoring.
    form = std::make_unique<TMainForm>();
    form->show();
    EXPECT_TRUE(Action("RecordMonitoringAction")->isChecked());
    EXPECT_EQ(form->MonitoringRecording()->ChosenFile(), csv);
    EXPECT_FALSE(QFile::exists(csv));
    EXPECT_TRUE(RecordLabel()->isHidden());

    Action("MonitoringAction")->trigger();
    EXPECT_TRUE(Chart()->isVisible());
    EXPECT_TRUE(Chart()->PlaceholderShown());
    ASSERT_TRUE(WaitForCycles(3));
    EXPECT_FALSE(Chart()->PlaceholderShown());
    EXPECT_TRUE(RecordLabel()->isVisible());
    EXPECT_TRUE(RecordLabel()->text().endsWith(csv)) << RecordLabel()->text().toStdString();
    Action("CancelAction")->trigger();
    EXPECT_TRUE(RecordLabel()->isHidden());

    // One line per cycle, with the G and the flags the trend drew, once the
    // recording's thread has written them.
    ASSERT_TRUE(WaitUntil([&] { return form->MonitoringRecording()->PendingLines() == 0; }));
    const zqui::MonitoringTrend& trend = Chart()->Trend();
    const QStringList lines = CsvLines();
    ASSERT_EQ(static_cast<size_t>(lines.size()), trend.Size() + 1);
    EXPECT_EQ(lines[0].toStdString() + "\n", MonitoringCsvHeader());
    for (size_t i = 0; i < trend.Size(); ++i) {
        const QStringList fields = lines[static_cast<qsizetype>(i + 1)].split(QLatin1Char(','));
        ASSERT_EQ(fields.size(), kMonitoringColumnCount);
        EXPECT_EQ(fields[1].toStdString(), FormatText("%05.4f", static_cast<double>(trend.G(i))));
        EXPECT_EQ(fields[6], trend.Flags(i) & 1 ? QStringLiteral("1") : QStringLiteral("0"));
    }
    // The settling flow rises from cycle to cycle; the line ends at the last
    // cycle and the fault flag's mark stands at the first.
    EXPECT_LT(trend.G(0), trend.G(trend.Size() - 1));
    EXPECT_DOUBLE_EQ(Chart()->GLine()->points().last().x(), trend.Seconds(trend.Size() - 1));
    EXPECT_EQ(Chart()->FlagMarks(0)->count(), 1);

    // The trend stays after the run, until the page shows a read.
    EXPECT_TRUE(Chart()->isVisible());
    const qsizetype recorded = lines.size();
    auto* accept = new QTimer(form.get());
    QObject::connect(accept, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    accept->start(10);
    Action("ReadAllDataAction")->trigger();
    accept->stop();
    ASSERT_TRUE(WaitUntil([&] {
        return form->CurrentTask()->GetState() > tsRunning &&
               Action("ReadAllDataAction")->isEnabled();
    }));
    ASSERT_EQ(form->CurrentTask()->GetState(), tsDone);
    EXPECT_FALSE(Chart()->isVisible());
    EXPECT_TRUE(Chart()->Trend().Empty());
    EXPECT_EQ(CsvLines().size(), recorded) << "a read records nothing";
}

// A file-size limit stands for a full disk: the recording stops with its
// reason in the status bar, the monitoring and its trend go on.
TEST_F(MonitoringWindowTest, AFailedWriteStopsTheRecordingNotTheMonitoring) {
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    form->MonitoringRecording()->Choose(csv);
    Action("MonitoringAction")->trigger();
    ASSERT_TRUE(WaitForCycles(1));
    ASSERT_TRUE(WaitUntil([&] { return CsvLines().size() == 2; }));
    const QStringList before = CsvLines();

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(QFile(csv).size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool failed = WaitUntil([&] { return !form->MonitoringRecording()->IsRecording(); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(failed);

    // The status bar follows at the window's next refresh.
    const QString stopped = QString::fromUtf8(kRecordStoppedText) + QStringLiteral(": ") + csv;
    EXPECT_TRUE(WaitUntil([&] { return RecordLabel()->text().startsWith(stopped); }))
        << RecordLabel()->text().toStdString();
    EXPECT_TRUE(RecordLabel()->isVisible());
    const size_t cycles = Chart()->Trend().Size();
    ASSERT_TRUE(WaitForCycles(cycles + 1)) << "the monitoring went on";
    EXPECT_EQ(form->CurrentTask()->GetState(), tsRunning);
    EXPECT_EQ(CsvLines(), before);
}

// A named pipe chosen in the file dialog would stall the recording for
// good: it is refused with what it is, and nothing is chosen.
TEST_F(MonitoringWindowTest, APipeChosenForTheRecordingIsRefused) {
    const QString pipe = folder.filePath(QStringLiteral("pipe.csv"));
    ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    QString refusal;
    // What the file dialog returns is taken as the dialog would hand it
    // over (the dialog's own folder listing is no part of this).
    Action("RecordMonitoringAction")->setChecked(true);
    AnswerModal([&](QWidget* box) {
        refusal =
            qobject_cast<QMessageBox*>(box) ? qobject_cast<QMessageBox*>(box)->text() : QString();
        static_cast<QDialog*>(box)->accept();
    });
    form->MonitoringRecording()->TakeDialogPath(pipe);
    EXPECT_EQ(refusal, QString::fromUtf8(kRecordNotAFileText) + QStringLiteral(": ") + pipe +
                           QStringLiteral(" — это именованный канал"));
    EXPECT_FALSE(Action("RecordMonitoringAction")->isChecked());
    EXPECT_TRUE(form->MonitoringRecording()->ChosenFile().isEmpty());
}

}  // namespace
