#include "Commands.h"

#include "ArchiveFile.h"
#include "ChanelKinds.h"
#include "Exception.h"
#include "ExportWorkbook.h"
#include "FindCommands.h"
#include "FleetCommands.h"
#include "MonitoringRecorderQueue.h"
#include "NetEndpoint.h"
#include "ParamsTexts.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "ShowSections.h"
#include "TExcelExport.h"
#include "TNetQueueIDChanel.h"
#include "TTapiVault.h"
#include "TapiConstants.h"
#include "TaskClock.h"
#include "TaskRunner.h"
#include "ZQClearArchiveTask.h"
#include "ZQMonitoringTask.h"
#include "ZQReadAllParamsTask.h"
#include "ZQWriteAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

namespace {

// The connection options of this run, seen by every task's settings load.
void ApplyConnectionOptions(const CliOptions& o) {
    ChanelSetupOverlay overlay;
    if (o.port) {
        overlay.CurrentChanel = ctComPort;
        overlay.ComPortName = *o.port;
    }
    if (o.modem || o.phone) {
        overlay.CurrentChanel = ctModem;
        overlay.ModemName = o.modem;
        overlay.PhoneNumber = o.phone;
    }
    if (o.networkMode) {
        overlay.CurrentChanel = ctNetwork;
        overlay.NetworkMode = o.networkMode;
        overlay.NetworkAddress = o.networkAddress;
        // Without --allow the stored list holds.
        overlay.AllowedPeers = o.allow;
    }
    overlay.NetAddress = o.address;
    overlay.MonitoringInterval = o.interval;
    SetChanelSetupOverlay(overlay);
}

// Waiting for a call with no peer listed lets every caller in: from the
// command line only when --allow any says so (the window's dialog says it
// under its field). A usage error (2) otherwise, 0 when the run may go on.
int CheckListenPeers(const CliOptions& o) {
    ChanelSetupStruct setup;
    LoadChanelSetup(setup);
    if (setup.CurrentChanel != ctNetwork || setup.NetworkMode != nmListen) {
        return 0;
    }
    if (o.allowAny) {
        std::fprintf(stderr,
                     "zqcli: warning: --allow any: every caller that reaches %s is let in\n",
                     setup.NetworkAddress.c_str());
        return 0;
    }
    if (!SplitPeerList(setup.AllowedPeers).empty()) {
        return 0;
    }
    const char* what =
        o.networkMode ? "--listen without --allow" : "the stored settings wait for a call";
    std::fprintf(stderr,
                 "zqcli: %s, and the stored list of allowed peers is empty: every caller would "
                 "be let in. Give --listen [ADDRESS:]PORT --allow ADDR[,ADDR...] for the peers "
                 "let in, or --allow any for every caller\nTry 'zqcli --help'.\n",
                 what);
    return 2;
}

// Runs a task with the run's options; `onWaitStep` as TaskRunner takes it.
int Run(ZQTask& task, const CliOptions& o, std::function<bool()> onWaitStep = {}) {
    TaskRunner runner(task);
    runner.SetVerbose(o.verbose);
    runner.SetTimeout(o.timeoutSeconds);
    runner.SetOnWaitStep(std::move(onWaitStep));
    return runner.Run();
}

bool Has(const std::vector<std::string>& list, const char* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// True when both paths reach the same file, whatever their spelling (a
// link, "./", another folder's name); false when either does not exist.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

const char* const kListNames[4] = {"hourly", "daily", "monthly", "journal"};

// "24 hourly, 1 journal" for the lists with a count; "" for none.
std::string ListCounts(const std::array<size_t, 4>& counts) {
    std::string text;
    for (int kind = 0; kind < 4; ++kind) {
        if (counts[kind] > 0) {
            text +=
                (text.empty() ? "" : ", ") + std::to_string(counts[kind]) + " " + kListNames[kind];
        }
    }
    return text;
}

int ReadCommand(const CliOptions& o) {
    // The file whose missing part is read; read before the device is called.
    std::optional<ZQValve> old;
    if (o.missing) {
        try {
            ReadArchiveFile(*o.missing, old.emplace());
        } catch (const Exception& e) {
            std::fprintf(stderr, "%s: %s\n", o.missing->c_str(), e.what());
            return 1;
        }
    }
    // --out names the file of --missing: only that file's own device, and
    // only a history the file can hold whole (or --drop-oldest), replace it.
    const bool overOld = o.missing && SameFile(*o.missing, *o.out);
    const bool readOtherWhole = o.wholeIfOther && !overOld;
    ZQValve valve;
    ZQReadAllParamsTask task(true, &valve, old ? &*old : nullptr);
    task.SetOtherDeviceChoice(readOtherWhole ? OtherDeviceChoice::ReadWhole
                                             : OtherDeviceChoice::Refuse);
    ReadSettingsStruct settings = task.GetReadSettings();
    if (o.archivesGiven) {
        settings.ReadHourArchive = Has(o.archives, "hour");
        settings.ReadDayArchive = Has(o.archives, "day");
        settings.ReadMonthArchive = Has(o.archives, "month");
        settings.ReadJournal = Has(o.archives, "journal");
    }
    settings.ReadInterval = o.missing ? riMissing : o.periodFrom ? riPeriod : riWhole;
    if (o.periodFrom) {
        settings.StartInterval = *o.periodFrom;
        settings.FinishInterval = *o.periodTo;
    }
    task.SetReadSettings(settings);
    const int status = Run(task, o);
    // --verbose has printed them with the exchange log already.
    if (!o.verbose) {
        for (const std::string& note : task.GetReadNotes()) {
            std::fprintf(stderr, "%s\n", note.c_str());
        }
    }
    if (status != 0) {
        if (task.OtherDevice() && !readOtherWhole) {
            std::fprintf(stderr,
                         "zqcli: %s is the file of device № %09u, the device connected is № "
                         "%09u: nothing written (%s)\n",
                         o.missing->c_str(), task.DocumentSerial(), valve.Current.Serial,
                         o.wholeIfOther ? "--whole-if-other never writes over the file given "
                                          "to --missing: name another --out"
                                        : "--whole-if-other reads it whole into another --out");
        }
        return 1;
    }
    const std::array<size_t, 4> beyond = RecordsBeyondFile(valve);
    const std::string dropped = ListCounts(beyond);
    if (!dropped.empty()) {
        std::fprintf(stderr,
                     "%s holds at most %zu records a list: the oldest %s records are left out\n",
                     o.out->c_str(), kArchiveFileMaxRecords, dropped.c_str());
        if (overOld && !o.dropOldest) {
            std::fprintf(stderr, "zqcli: %s kept as it was; --drop-oldest saves it without them\n",
                         o.missing->c_str());
            return 1;
        }
    }
    // What the window's "Сохранить как..." writes right after the read: the
    // current parameters as shown, the setup parameters as the page's
    // controls hold them.
    valve.Setup = SetupPageValues(valve.Setup);
    try {
        WriteArchiveFile(*o.out, valve);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%s: %zu hourly, %zu daily, %zu monthly records, %zu journal records\n",
                o.out->c_str(), valve.HourArchive.size() - beyond[0],
                valve.DayArchive.size() - beyond[1], valve.MonthArchive.size() - beyond[2],
                valve.Journal.size() - beyond[3]);
    if (task.GrewDocument()) {
        // Each list is the new records, then the old file's less those the
        // device changed since: the difference is what is new.
        std::printf(
            "new since %s: %zu hourly, %zu daily, %zu monthly records, %zu journal "
            "records\n",
            o.missing->c_str(), valve.HourArchive.size() - old->HourArchive.size(),
            valve.DayArchive.size() - old->DayArchive.size(),
            valve.MonthArchive.size() - old->MonthArchive.size(),
            valve.Journal.size() - old->Journal.size());
    }
    return 0;
}

int MonitorCommand(const CliOptions& o) {
    // The recording's file is opened before the device is: a run that cannot
    // keep its evidence does not start. The lines are then written on the
    // recording's own thread, so a slow disk never delays a cycle.
    std::atomic<bool> recordingFailed = false;
    MonitoringRecorderQueue recording([&](const std::string& text) {
        // The monitoring goes on without its recording.
        std::fprintf(stderr, "zqcli: %s\n", text.c_str());
        recordingFailed = true;
    });
    const bool toStandardOutput = o.record && *o.record == "-";
    if (o.record) {
        const std::string problem = toStandardOutput ? "" : RecordPathProblem(*o.record);
        if (!problem.empty()) {
            std::fprintf(stderr,
                         "zqcli: %s\nzqcli: --record takes a regular file; --record - writes "
                         "the lines to standard output (into a pipe)\n",
                         problem.c_str());
            return 1;
        }
        auto recorder = std::make_unique<MonitoringRecorder>();
        try {
            if (toStandardOutput) {
                recorder->OpenStandardOutput();
            } else {
                recorder->Open(*o.record);
            }
        } catch (const Exception& e) {
            std::fprintf(stderr, "zqcli: %s\n", e.what());
            return 1;
        }
        recording.Adopt(std::move(recorder));
    }
    ZQValve valve;
    ZQMonitoringTask task(true, &valve);
    int cycles = 0;
    const int status = Run(task, o, [&] {
        ++cycles;
        const TDateTime now = LocalNow();
        recording.Append(now, valve.Current);
        // Standard output carries the recording alone when it is the file.
        if (!toStandardOutput) {
            const std::vector<ShowSection> sections = BuildShowSections(valve);
            std::cout << FormatDateTime("dd/mm/yyyy hh:nn:ss", now) << '\n';
            PrintShowSections(std::cout, {sections[0], sections[1]}, "", o.csv);
            std::cout << std::endl;
        }
        return !o.cycles || cycles < *o.cycles;
    });
    const std::string lost = recording.Finish(MonitoringRecorderQueue::kFinishWait);
    if (!lost.empty()) {
        std::fprintf(stderr, "zqcli: %s\n", lost.c_str());
        recordingFailed = true;
    }
    return recordingFailed ? 1 : status;
}

int WriteSetupCommand(const CliOptions& o) {
    SetupParamsStruct params;
    params.NetAddress = static_cast<uint8_t>(*o.netAddress);
    params.CalibrationCode = static_cast<uint16_t>(o.calibrationCode.value_or(0));
    params.TestCode = static_cast<uint16_t>(o.testCode.value_or(0));
    params.TestMode = static_cast<uint8_t>(o.testMode.value_or(0));
    if (o.calibrationCode && ReadIntegerSetting("EnableCalibration", 0) == 0) {
        std::fprintf(stderr,
                     "EnableCalibration is 0 in the settings: only the network address is "
                     "written\n");
    }
    ZQWriteAllParamsTask task(true);
    task.SetSetupParams(params);
    return Run(task, o);
}

int ShowCommand(const CliOptions& o) {
    ZQValve valve;
    try {
        ReadArchiveFile(o.arguments[0], valve);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s: %s\n", o.arguments[0].c_str(), e.what());
        return 1;
    }
    PrintShowSections(std::cout, BuildShowSections(valve), o.section.value_or(""), o.csv);
    std::cout.flush();
    return 0;
}

// The workbook the window's export writes right after opening the file.
int ExportCommand(const CliOptions& o) {
    const std::string& in = o.arguments[0];
    ZQValve valve;
    try {
        ReadArchiveFile(in, valve);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s: %s\n", in.c_str(), e.what());
        return 1;
    }
    const bool calibration = ReadIntegerSetting("EnableCalibration", 0) != 0;
    TExcelExport excel;
    std::string failure;
    try {
        excel.StartServer();
        if (!FillExportWorkbook(excel, PageStateFromValve(valve, calibration), valve, {},
                                &failure)) {
            std::fprintf(stderr, "%s: %s\n", o.xlsx->c_str(), failure.c_str());
            return 1;
        }
        if (!excel.WriteWorkbook(*o.xlsx)) {
            std::fprintf(stderr, "%s: no workbook to write\n", o.xlsx->c_str());
            return 1;
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

int ModemsCommand() {
    TapiVault.Init();
    TTapi* tapi = TapiVault.Get();
    const unsigned count = tapi != nullptr ? tapi->GetDeviceCount() : 0;
    for (unsigned i = 0; i < count; ++i) {
        std::printf("%s\n", tapi->GetDeviceName(i).c_str());
    }
    if (count == 0) {
        std::fprintf(stderr, "no modems configured (zqcli modem-add NAME --port PORT)\n");
    }
    return 0;
}

std::string ModemKey(const std::string& name) {
    return std::string(kModemsKey) + "\\" + name;
}

int ModemAddCommand(const CliOptions& o) {
    const std::string& name = o.arguments[0];
    // The name is a key of the store: no separators, printable, not too long.
    if (name.empty() || name.size() > 255 || name.find_first_of("/\\\r\n") != std::string::npos) {
        std::fprintf(stderr, "zqcli: a modem name must be 1..255 characters without / or \\\n");
        return 2;
    }
    SettingsStore store;
    store.WriteString(ModemKey(name), "Port", *o.port);
    store.WriteString(ModemKey(name), "Init", o.init.value_or("ATZ"));
    store.WriteInteger(ModemKey(name), "MediaModes", LINEMEDIAMODE_DATAMODEM);
    if (!store.Sync()) {
        std::fprintf(stderr, "zqcli: the settings store %s cannot be written\n",
                     SettingsStore::FilePath().c_str());
        return 1;
    }
    return 0;
}

int ModemRemoveCommand(const CliOptions& o) {
    const std::string& name = o.arguments[0];
    SettingsStore store;
    const std::vector<std::string> modems = store.SubKeys(kModemsKey);
    if (std::find(modems.begin(), modems.end(), name) == modems.end()) {
        std::fprintf(stderr, "zqcli: no modem named '%s'\n", name.c_str());
        return 1;
    }
    store.RemoveKey(ModemKey(name));
    if (!store.Sync()) {
        std::fprintf(stderr, "zqcli: the settings store %s cannot be written\n",
                     SettingsStore::FilePath().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int RunCommand(const CliOptions& o) {
    if (o.command == "modems") {
        return ModemsCommand();
    }
    if (o.command == "modem-add") {
        return ModemAddCommand(o);
    }
    if (o.command == "modem-remove") {
        return ModemRemoveCommand(o);
    }
    if (o.command == "export") {
        return ExportCommand(o);
    }
    if (o.command == "ports") {
        return PortsCommand(o);
    }
    if (o.command == "fleet") {
        return FleetCommand(o);
    }
    ApplyConnectionOptions(o);
    if (o.command != "show") {
        if (const int usage = CheckListenPeers(o)) {
            return usage;
        }
    }
    // The modem lines are read once, as the window does when it starts.
    TapiVault.Init();
    if (o.command == "read") {
        return ReadCommand(o);
    }
    if (o.command == "monitor") {
        return MonitorCommand(o);
    }
    if (o.command == "set-time") {
        ZQWriteCurrentTimeTask task(true);
        return Run(task, o);
    }
    if (o.command == "clear-archive") {
        ZQClearArchiveTask task(true);
        return Run(task, o);
    }
    if (o.command == "write-setup") {
        return WriteSetupCommand(o);
    }
    if (o.command == "show") {
        return ShowCommand(o);
    }
    if (o.command == "scan") {
        return ScanCommand(o);
    }
    std::fprintf(stderr, "zqcli: unknown command %s\n", o.command.c_str());
    return 2;
}
