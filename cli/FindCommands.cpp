#include "FindCommands.h"

#include "PortInfo.h"
#include "TableOutput.h"
#include "TaskRunner.h"
#include "TextFormat.h"
#include "ZQSearchTask.h"

#include <QTimer>

#include <unistd.h>
#include <cstdio>
#include <iostream>

namespace {

const std::vector<std::string> kScanColumns = {"Адрес", "Заводской номер", "Версия", "Прибор"};

std::vector<std::string> FindCells(const DeviceFind& find) {
    return {std::to_string(find.address),
            find.serialKnown ? FormatText("%09u", find.serial) : std::string(),
            find.zq ? std::to_string(find.Version()) : std::string(), find.zq ? "ZQ" : "Modbus"};
}

// One line of the scan's table: CSV, or cells padded to the header's widths
// (no cell is wider than its caption).
void PrintScanLine(const std::vector<std::string>& cells, bool csv) {
    if (csv) {
        PrintCsvRow(std::cout, cells);
        return;
    }
    std::vector<size_t> widths;
    for (const std::string& caption : kScanColumns) {
        widths.push_back(Utf8Length(caption));
    }
    PrintAlignedRow(std::cout, cells, widths);
}

}  // namespace

int PortsCommand(const CliOptions& o) {
    TextTable table;
    table.columns = {"Порт", "Устройство", "Описание", "Постоянный путь"};
    for (const comprt::PortInfo& port : comprt::ListPorts()) {
        table.rows.push_back({port.name, port.device, port.description, port.stablePath});
    }
    PrintTable(std::cout, table, o.csv);
    return 0;
}

int ScanCommand(const CliOptions& o) {
    ZQSearchTask task(true, o.fromAddress.value_or(ZQSearchTask::kFirstAddress),
                      o.toAddress.value_or(ZQSearchTask::kLastAddress));
    PrintScanLine(kScanColumns, o.csv);
    std::cout.flush();
    const bool progressOnTerminal = isatty(STDERR_FILENO) == 1;
    size_t printed = 0;
    auto printNew = [&] {
        const size_t settled =
            task.GetState() == tsRunning ? task.SettledFinds() : task.Finds().size();
        if (printed == settled) {
            return;
        }
        if (progressOnTerminal) {
            std::fputs("\r\033[K", stderr);  // the progress line gives way
        }
        for (; printed < settled; ++printed) {
            PrintScanLine(FindCells(task.Finds()[printed]), o.csv);
        }
        std::cout.flush();
    };
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, printNew);
    poll.start();

    TaskRunner runner(task);
    runner.SetVerbose(o.verbose);
    runner.SetTimeout(o.timeoutSeconds);
    const int status = runner.Run();
    printNew();
    return status;
}
