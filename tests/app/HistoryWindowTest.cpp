// The window keeps an open document's history whole: "Недостающая часть
// архива" from another device asks before replacing it, and a save of more
// records than the file holds asks before leaving the oldest out.
#include "ArchiveFile.h"
#include "HourlyDocument.h"
#include "MainFrame.h"
#include "SimDevice.h"
#include "WindowTestSupport.h"
#include "ZQArchive.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

namespace {

const std::vector<std::string> kDevice = {"--baud",    "0",  "--latency", "0",   "--seed",  "3",
                                          "--hour",    "30", "--day",     "12",  "--month", "5",
                                          "--journal", "9",  "--serial",  "4711"};

// A document of device `serial` whose `count` hourly records end on
// 1 January 2020 (none of them on the simulated device).
ZQValve OldDocument(uint32_t serial, int count) {
    return HourlyDocument(serial, count, {2020, 1, 1, 0, 0, 0});
}

class HistoryWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SaveSimulatedDeviceSettings());
        form = std::make_unique<TMainForm>();
        form->show();
    }

    QString Status() const { return form->findChild<QLabel*>("StatusText")->text(); }
    int HourRows() const {
        return form->findChild<TArchiveFrame*>("HourArchiveFrame")
            ->findChild<QTableView*>("ListView")
            ->model()
            ->rowCount();
    }
    bool Idle() const {
        return form->CurrentTask() && form->CurrentTask()->GetState() != tsRunning &&
               form->findChild<QAction*>("ReadAllDataAction")->isEnabled();
    }
    // Opens `valve` saved as a file; its path.
    QString Open(const ZQValve& valve) {
        const QString path = dir.filePath("document.arch");
        WriteArchiveFile(path.toStdString(), valve);
        EXPECT_TRUE(form->FileOpenAccept(path));
        return path;
    }
    // "Считать данные", "Недостающая часть архива"; `answer`, when given,
    // then gets the next box.
    void ReadMissingPart(std::function<void(QMessageBox*)> answer = {}) {
        AnswerModal([answer](QWidget* dialog) {
            dialog->findChild<QAbstractButton*>("RadioButton2")->click();
            if (answer) {
                AnswerModal([answer](QWidget* box) { answer(qobject_cast<QMessageBox*>(box)); });
            }
            static_cast<QDialog*>(dialog)->accept();
        });
        form->findChild<QAction*>("ReadAllDataAction")->trigger();
    }

    QTemporaryDir dir;
    std::unique_ptr<TMainForm> form;
};

// "Нет" (the default) leaves the document exactly as it was and ends the
// read before any archive; "Да" reads the other device whole in its place.
TEST_F(HistoryWindowTest, AnotherDevicesDataReplaceTheDocumentOnlyOnYes) {
    Open(OldDocument(4712, 3));
    const ZQValve document = form->DocumentValve();
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        QString text, defaultButton, buttons;
        ReadMissingPart([&](QMessageBox* box) {
            ASSERT_NE(box, nullptr);
            text = box->text() + " " + box->informativeText();
            defaultButton = box->defaultButton()->text();
            buttons =
                box->button(QMessageBox::Yes)->text() + "/" + box->button(QMessageBox::No)->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        ASSERT_TRUE(WaitUntil([&] { return Idle(); })) << Status().toStdString();
        EXPECT_EQ(text, QStringLiteral("Документ прибора № 000004712, подключён прибор № "
                                       "000004711. Заменить документ данными прибора № "
                                       "000004711?"));
        EXPECT_EQ(buttons, QStringLiteral("Да/Нет"));
        EXPECT_EQ(defaultButton, QStringLiteral("Нет"));
        if (!yes) {
            EXPECT_TRUE(form->TaskValve().HourArchive.empty());
            EXPECT_EQ(form->DocumentValve(), document);
            EXPECT_EQ(HourRows(), 3);
            EXPECT_EQ(Status(), QStringLiteral("Чтение прервано: документ не изменён"));
            continue;
        }
        EXPECT_EQ(Status(), QStringLiteral("Чтение параметров выполнено"));
        EXPECT_EQ(form->DocumentValve().Current.Serial, 4711u);
        EXPECT_EQ(HourRows(), 30);
    }
}

// A full file's document grown by the device's 30 hourly records: "Нет"
// saves nothing, "Да" saves the newest 65535.
TEST_F(HistoryWindowTest, SavingMoreThanTheFileHoldsAsksFirst) {
    const ZQValve full = OldDocument(4711, 65535);
    Open(full);
    SimDevice device(kDevice);
    ASSERT_TRUE(device.Started()) << device.Error();
    ReadMissingPart();
    ASSERT_TRUE(WaitUntil([&] { return Idle(); })) << Status().toStdString();
    ASSERT_EQ(form->DocumentValve().HourArchive.size(), 65535u + 30);

    const QString path = dir.filePath("grown.arch");
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        QString text;
        AnswerModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            text = box->text() + " " + box->informativeText();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(form->FileSaveAsAccept(path), yes);
        EXPECT_EQ(text, QStringLiteral("Файл вмещает не более 65535 записей в каждом списке. "
                                       "Самые старые записи не будут сохранены: часовой архив — "
                                       "30. Сохранить файл без них?"));
        EXPECT_EQ(QFile::exists(path), yes);
    }
    ZQValve saved;
    ReadArchiveFile(path.toStdString(), saved);
    ASSERT_EQ(saved.HourArchive.size(), 65535u);
    EXPECT_EQ(saved.HourArchive[30], full.HourArchive[0]);
    EXPECT_EQ(saved.HourArchive.back(), full.HourArchive[65535 - 31]);
}

}  // namespace
