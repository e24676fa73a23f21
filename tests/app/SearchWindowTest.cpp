// "Поиск прибора" in the window: a device whose address is not the stored
// one is found, its address goes into the connection settings, a search
// stops like any exchange, and the dialog stays where the user put it.
#include "MainFrame.h"
#include "SearchDeviceDialog.h"
#include "Settings.h"
#include "SimDevice.h"
#include "WindowTestSupport.h"
#include "ZQSearchTask.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

class SearchWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SaveSimulatedDeviceSettings());
        form = std::make_unique<TMainForm>();
        form->show();
        Action("SearchDeviceAction")->trigger();
        dialog = form->findChild<TSearchDeviceDialog*>("SearchDeviceDialog");
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
    }

    QAction* Action(const char* name) const { return form->findChild<QAction*>(name); }
    QString Status() const { return form->findChild<QLabel*>("StatusText")->text(); }
    void Search(int first, int last) {
        dialog->FromAddress->setValue(first);
        dialog->ToAddress->setValue(last);
        dialog->StartButton->click();
    }
    // The task has ended and the window has seen it end.
    bool SearchOver() const {
        return form->CurrentTask() && form->CurrentTask()->GetState() > tsRunning &&
               !Action("CancelAction")->isEnabled();
    }

    std::unique_ptr<TMainForm> form;
    TSearchDeviceDialog* dialog = nullptr;
};

TEST_F(SearchWindowTest, FindsTheDeviceAndItsAddressIsUsed) {
    SimDevice device({"--baud", "0", "--latency", "0", "--address", "3", "--serial", "4711"});
    ASSERT_TRUE(device.Started()) << device.Error();
    EXPECT_EQ(dialog->ConnectionLabel->text().toStdString(), "Подключение: COM порт COM7");
    Search(1, 5);
    EXPECT_TRUE(Action("CancelAction")->isEnabled());
    EXPECT_FALSE(Action("SearchDeviceAction")->isEnabled());
    EXPECT_FALSE(Action("ReadAllDataAction")->isEnabled());
    EXPECT_FALSE(dialog->StartButton->isEnabled());
    EXPECT_TRUE(dialog->StopButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return SearchOver(); }, 10000));

    EXPECT_EQ(form->CurrentTask()->GetState(), tsDone);
    EXPECT_EQ(dialog->SearchStatus->text().toStdString(), "Поиск завершён, найдено приборов: 1");
    EXPECT_EQ(dialog->SearchProgress->value(), 100);
    ASSERT_EQ(dialog->FoundList->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = dialog->FoundList->topLevelItem(0);
    EXPECT_EQ(QStringList({row->text(0), row->text(1), row->text(2), row->text(3)}),
              QStringList({"3", "000004711", "1", "ZQ"}));
    EXPECT_TRUE(dialog->StartButton->isEnabled());
    EXPECT_FALSE(dialog->StopButton->isEnabled());
    EXPECT_TRUE(Action("SearchDeviceAction")->isEnabled());

    ASSERT_TRUE(dialog->UseAddressButton->isEnabled());
    dialog->UseAddressButton->click();
    EXPECT_FALSE(dialog->isVisible());
    ChanelSetupStruct saved;
    ASSERT_TRUE(LoadChanelSetup(saved));
    EXPECT_EQ(saved.NetAddress, 3);
    EXPECT_EQ(saved.ComPortName, "COM7");
    EXPECT_EQ(Status().toStdString(), "Сетевой адрес 3 сохранён в настройках подключения");
}

// "Отмена обмена", and closing the dialog, stop the search where it is.
TEST_F(SearchWindowTest, StopsLikeAnyExchange) {
    SimDevice device({"--baud", "0", "--latency", "0", "--address", "200"});
    ASSERT_TRUE(device.Started()) << device.Error();
    for (const bool byCancel : {true, false}) {
        Search(1, 247);
        ASSERT_TRUE(WaitUntil([&] { return form->CurrentTask()->GetStep() >= 4; }));
        if (byCancel) {
            Action("CancelAction")->trigger();
            EXPECT_EQ(dialog->SearchStatus->text().toStdString(), "Поиск остановлен");
            EXPECT_FALSE(dialog->StopButton->isEnabled());
            EXPECT_TRUE(dialog->StartButton->isEnabled());
        } else {
            dialog->close();
        }
        EXPECT_EQ(form->CurrentTask()->GetState(), tsStopped);
        EXPECT_FALSE(Action("CancelAction")->isEnabled());
        ASSERT_TRUE(WaitUntil([&] {
            TQueueIDChanel* chanel = form->CurrentTask()->GetChanel();
            return chanel == nullptr || chanel->GetState() == csDisconnected;
        }));
        EXPECT_EQ(dynamic_cast<ZQSearchTask*>(form->CurrentTask())->Finds().size(), 0u);
    }
}

// The dialog opens centred over the window the first time; moved by the
// user, it stays where it was put when it is closed and opened again.
TEST_F(SearchWindowTest, OpensCentredOnceAndThenStaysWhereItWasPut) {
    EXPECT_LE((dialog->frameGeometry().center() - form->frameGeometry().center()).manhattanLength(),
              2);
    const QPoint put = form->frameGeometry().topLeft() + QPoint(7, 9);
    dialog->move(put);
    dialog->close();
    ASSERT_TRUE(WaitUntil([&] { return !dialog->isVisible(); }));
    Action("SearchDeviceAction")->trigger();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->pos(), put);
}

}  // namespace
