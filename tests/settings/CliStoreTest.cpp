// zqcli and its settings store: a store it cannot read does not keep it from
// the device, and a store write that meets the file-size limit fails with
// its message instead of killing the program.
#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct CliCase {
    const char* name;
    // Shell commands run before zqcli, in its shell: "$STORE" is the store
    // file's path.
    const char* prepare;
    const char* arguments;
    int exitCode;
    // Whole lines of its standard error, "$STORE" replaced.
    std::vector<std::string> errorLines;
    const char* notInError;  // a text that must not appear there
};

class CliStore : public testing::TestWithParam<CliCase> {};

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
    return text;
}

TEST_P(CliStore, Runs) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string config = dir.path().toStdString() + "/config";
    const std::string store = config + "/Halbrec/ZURavorav.reg";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(config + "/Halbrec")));

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config));
    env.insert("STORE", QString::fromStdString(store));
    env.insert("WORK", dir.path());
    cli.setProcessEnvironment(env);
    const std::string script =
        std::string(GetParam().prepare) + "\nexec \"" ZQCLI_PATH "\" " + GetParam().arguments;
    cli.start("/bin/sh", {"-c", QString::fromStdString(script)});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const std::string err = cli.readAllStandardError().toStdString();
    ASSERT_EQ(cli.exitStatus(), QProcess::NormalExit) << err;
    EXPECT_EQ(cli.exitCode(), GetParam().exitCode) << err;
    for (const std::string& expected : GetParam().errorLines) {
        const std::string line = Replace(expected, "$STORE", store);
        EXPECT_NE(("\n" + err).find("\n" + line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(err.find(GetParam().notInError), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliStore,
    testing::Values(
        // The read goes on to open the port the command line names (which
        // does not exist), instead of failing to create its channel.
        CliCase{"UnreadableStoreFallsBackToOptions",
                "mkdir \"$STORE\"",
                "read --port \"$WORK/no-such-tty\" --out \"$WORK/x.arch\" --timeout 20",
                1,
                {"zqcli: settings store $STORE is a folder; using the defaults, the file is "
                 "left as it is",
                 "Соединение не установлено"},
                "Ошибка при создании канала"},
        // A file-size limit of 0 blocks makes every write to the store fail;
        // without the signal ignored, SIGXFSZ would end zqcli silently.
        CliCase{"WriteAtFileSizeLimitFailsWithItsMessage",
                "ulimit -f 0",
                "modem-add Office --port COM3",
                1,
                {"zqcli: the settings store $STORE cannot be written"},
                "Ошибка"}),
    [](const testing::TestParamInfo<CliCase>& info) { return std::string(info.param.name); });

}  // namespace
