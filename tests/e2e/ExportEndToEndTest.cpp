// zqcli export and show on files, without a device.
#include "ArchiveFile.h"
#include "Processes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

TEST(ExportEndToEnd, WritesTheWorkbookAndNothingElse) {
    Scene scene;
    ZQValve valve;
    valve.HourArchive.resize(2);
    const std::string in = scene.Path("in.arch");
    WriteArchiveFile(in, valve);
    QDir().mkpath(QString::fromStdString(scene.Path("out")));

    const Scene::Result ok = scene.Cli({"export", in, "--xlsx", scene.Path("out/book.xlsx")});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(QDir(QString::fromStdString(scene.Path("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"book.xlsx"});
    QFile book(QString::fromStdString(scene.Path("out/book.xlsx")));
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_EQ(book.read(2), QByteArray("PK"));  // a zip container, as .xlsx is

    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    } failures[] = {
        {"missing input",
         {"export", scene.Path("none.arch"), "--xlsx", scene.Path("out/x.xlsx")},
         "none.arch"},
        {"folder missing", {"export", in, "--xlsx", scene.Path("out/no/x.xlsx")}, "x.xlsx"},
    };
    for (const auto& f : failures) {
        const Scene::Result r = scene.Cli(f.args);
        EXPECT_EQ(r.exitCode, 1) << f.what;
        EXPECT_NE(r.err.find(f.message), std::string::npos) << f.what << ": " << r.err;
    }
    EXPECT_EQ(QDir(QString::fromStdString(scene.Path("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"book.xlsx"});
    EXPECT_EQ(scene.Cli({"export", in}).exitCode, 2);
}

TEST(ShowEndToEnd, SetupValuesAsThePageHoldsThem) {
    Scene scene;
    ZQValve valve;
    valve.Setup.NetAddress = 0;           // the page's address box starts at 1
    valve.Setup.CalibrationCode = 20000;  // beyond the code box's 16383
    valve.Setup.TestMode = 5;             // a ticked box
    const std::string in = scene.Path("in.arch");
    WriteArchiveFile(in, valve);
    const Scene::Result r = scene.Cli({"show", in, "--section", "setup", "--csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Сетевой адрес,1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Код 20 мА,16383\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Тестовый режим,1\r\n"), std::string::npos) << r.out;
}

}  // namespace
