// zqcli: the ZQ device's service commands without a window.
#include "CliOptions.h"
#include "Commands.h"
#include "DateTime.h"
#include "LineService.h"
#include "SettingsStore.h"
#include "Version.h"

#include <QCoreApplication>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A write that meets the file-size limit (ulimit -f) fails with EFBIG and
    // its error text instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");  // numbers are always written with a point
    SetFormatSettingsFromLocale();
    // A settings store that cannot be used is named once, on one line; the
    // command goes on with the defaults and the command-line options.
    SettingsStore::SetWarningEvent(
        [](const std::string& text) { std::fprintf(stderr, "zqcli: %s\n", text.c_str()); });

    CliOptions options;
    try {
        options = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zqcli: %s\nTry 'zqcli --help'.\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(CliUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zqcli %s\n", ZQ_VERSION_STRING);
        return 0;
    }
    if (options.command == "clear-archive" && !options.yes) {
        std::fprintf(stderr,
                     "zqcli: clear-archive erases the device's counters and archives; "
                     "confirm with --yes\n");
        return 2;
    }
    const int status = RunCommand(options);
    // A modem call hung up with the escape sequence finishes in the background.
    lineWaitForHangUps();
    return status;
}
