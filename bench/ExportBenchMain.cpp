// zq_export_bench: how long the export of a full document takes, against
// python3-xlsxwriter writing the same cells with the same formats.
#include "ExportBench.h"
#include "ExportWorkbook.h"
#include "TExcelExport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kUsage = R"(Usage: zq_export_bench [OPTION]...
Builds a document with N records in each of the four lists (hourly, daily,
monthly archive, journal), exports it as "Экспорт в Excel" does
(FillExportWorkbook, then WriteWorkbook to an .xlsx file) and prints the
time of each part. Then python3-xlsxwriter writes the same cells with the
same formats and column widths (bench/export_bench.py; only its writing is
timed) and the ratio ours / python is printed (target: at most 0.30).

  --records N        records in each list, 1..65535 (default 65535, the
                     archive file's limit)
  --seed N           seed of the records (default 4242)
  --python PATH      the python3 with xlsxwriter (default: the one found
                     when the project was configured)
  --constant-memory  let python3-xlsxwriter stream rows as libxlsxwriter
                     here does (slower for python; default: its in-memory mode)
  --no-python        time this export only
  --keep DIR         write the workbooks and the cell dump into DIR and keep them
  --help             this text

Exit status: 0 when measured, 1 when a part failed, 2 on a usage error.
A missed target is reported, not an error.
)";

bool ParseInt(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long long records = 65535;
    long long seed = 4242;
    std::string python = ZQ_BENCH_PYTHON3;
    bool runPython = true;
    bool constantMemory = false;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long long value = 0;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--records" && hasValue && ParseInt(argv[i + 1], 1, 65535, value)) {
            records = value;
            ++i;
        } else if (arg == "--seed" && hasValue && ParseInt(argv[i + 1], 0, 0xFFFFFFFF, value)) {
            seed = value;
            ++i;
        } else if (arg == "--python" && hasValue) {
            python = argv[++i];
        } else if (arg == "--constant-memory") {
            constantMemory = true;
        } else if (arg == "--no-python") {
            runPython = false;
        } else if (arg == "--keep" && hasValue) {
            keep = argv[++i];
        } else {
            std::fprintf(stderr, "zq_export_bench: bad option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }

    QTemporaryDir scratch;
    if (keep.empty() && !scratch.isValid()) {
        std::fprintf(stderr, "zq_export_bench: no temporary folder\n");
        return 1;
    }
    const std::string folder = keep.empty() ? scratch.path().toStdString() : keep;
    const std::string ours = folder + "/zq_export.xlsx";

    const ZQValve valve = BenchDocument(static_cast<size_t>(records), static_cast<uint32_t>(seed));
    std::printf("document: %lld records in each of the four lists\n", records);

    // zqcli's part: the page state without a window, column widths estimated.
    auto start = std::chrono::steady_clock::now();
    const ExportPageState pages = PageStateFromValve(valve, true);
    const double stateSeconds = Since(start);

    TExcelExport excel;
    double fillSeconds = 0;
    double writeSeconds = 0;
    try {
        excel.StartServer();
        long long pumps = 0;
        start = std::chrono::steady_clock::now();
        std::string failure;
        if (!FillExportWorkbook(
                excel, pages, valve, [&] { ++pumps; }, &failure)) {
            std::fprintf(stderr, "zq_export_bench: the export ended: %s\n", failure.c_str());
            return 1;
        }
        fillSeconds = Since(start);
        start = std::chrono::steady_clock::now();
        excel.WriteWorkbook(ours);
        writeSeconds = Since(start);
        std::printf("message pumps: %lld\n", pumps);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zq_export_bench: %s\n", e.what());
        return 1;
    }
    const double oursSeconds = fillSeconds + writeSeconds;
    std::printf("page state without a window: %.3f s\n", stateSeconds);
    std::printf("FillExportWorkbook:          %.3f s\n", fillSeconds);
    std::printf("WriteWorkbook:               %.3f s (%lld bytes)\n", writeSeconds,
                static_cast<long long>(QFileInfo(QString::fromStdString(ours)).size()));
    std::printf("ours (fill + write):         %.3f s\n", oursSeconds);
    if (!runPython) {
        return 0;
    }

    const std::string cells = folder + "/zq_export_cells.json";
    size_t cellCount = 0;
    try {
        cellCount = DumpCellsForPython(*excel.Workbook(), cells);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zq_export_bench: %s\n", e.what());
        return 1;
    }
    QStringList arguments = {QStringLiteral(ZQ_BENCH_SCRIPT), QString::fromStdString(cells),
                             QString::fromStdString(folder + "/python_export.xlsx")};
    if (constantMemory) {
        arguments << QStringLiteral("--constant-memory");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QString::fromStdString(python), arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "zq_export_bench: %s %s failed (exit %d%s)\n", python.c_str(),
                     ZQ_BENCH_SCRIPT, process.exitCode(),
                     process.exitCode() == 3 ? ": python3-xlsxwriter is not installed" : "");
        return 1;
    }
    const std::string answer = process.readAllStandardOutput().toStdString();
    double pythonSeconds = 0;
    unsigned long long pythonCells = 0;
    if (std::sscanf(answer.c_str(), "python_seconds %lf cells %llu", &pythonSeconds,
                    &pythonCells) != 2 ||
        pythonSeconds <= 0) {
        std::fprintf(stderr, "zq_export_bench: unexpected answer from python: %s\n",
                     answer.c_str());
        return 1;
    }
    if (pythonCells != cellCount) {
        std::fprintf(stderr, "zq_export_bench: python wrote %llu cells, ours %zu\n", pythonCells,
                     cellCount);
        return 1;
    }
    const double ratio = oursSeconds / pythonSeconds;
    std::printf("python3-xlsxwriter (%s):   %.3f s for the same %zu cells\n",
                constantMemory ? "constant memory" : "in memory", pythonSeconds, cellCount);
    std::printf("ours / python:               %.2f (target at most 0.30: %s)\n", ratio,
                ratio <= 0.30 ? "met" : "MISSED");
    return 0;
}
