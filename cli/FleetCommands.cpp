#include "FleetCommands.h"

#include "ArchiveFile.h"
#include "ChanelKinds.h"
#include "ConsumptionReport.h"
#include "Exception.h"
#include "FleetDatabase.h"
#include "FleetRoundCommand.h"
#include "HistoryStore.h"
#include "MeterRegister.h"
#include "ReportTable.h"
#include "ReportWorkbook.h"
#include "TNetQueueIDChanel.h"
#include "TableOutput.h"

#include <QDate>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

namespace {

struct FleetForm {
    const char* name;
    size_t minArguments;  // after the fleet command's own name
    size_t maxArguments;
    const char* usage;
};

const FleetForm kForms[] = {
    {"add", 1, 1,
     "fleet add NAME CONNECTION [--address N] [--group G] [--note TEXT] [--collector C]"},
    {"edit", 1, 1,
     "fleet edit NAME [CONNECTION] [--address N] [--group G] [--note TEXT] [--collector C] "
     "[--name NEW]"},
    {"remove", 1, 1, "fleet remove NAME --yes [--purge]"},
    {"list", 0, 0, "fleet list [--csv] [--group G]"},
    {"import-csv", 1, 1, "fleet import-csv FILE"},
    {"export-csv", 0, 0, "fleet export-csv"},
    {"import", 2, std::numeric_limits<size_t>::max(), "fleet import NAME FILE.arch..."},
    {"history", 1, 1, "fleet history NAME --out FILE.arch"},
    {"round", 0, std::numeric_limits<size_t>::max(),
     "fleet round [NAME...] [--group G] [--parallel N] [--csv] [--sync-clock S] "
     "[--collector NAME] [--skip-fresh MIN] [--timeout S] [--verbose]"},
    {"report", 0, 0,
     "fleet report --from YYYY-MM-DD --to YYYY-MM-DD [--group G] (--xlsx OUT.xlsx | --csv)"},
};

constexpr int kMinMeterAddress = 1;
constexpr int kMaxMeterAddress = 247;

bool HasConnection(const CliOptions& o) {
    return o.port || o.modem || o.phone || o.networkMode || o.allow;
}

const char* const kListNames[4] = {"hourly", "daily", "monthly", "journal"};

std::string Counts(const std::array<size_t, 4>& counts) {
    std::string text;
    for (int kind = 0; kind < 4; ++kind) {
        text += (kind ? ", " : "") + std::to_string(counts[kind]) + " " + kListNames[kind];
    }
    return text;
}

// The connection the options give, over `connection`'s (its address kept).
ChanelSetupStruct Connection(const CliOptions& o, ChanelSetupStruct connection) {
    if (HasConnection(o)) {
        const int32_t address = connection.NetAddress;
        connection = ChanelSetupStruct{};
        connection.NetAddress = address;
        if (o.port) {
            connection.CurrentChanel = ctComPort;
            connection.ComPortName = *o.port;
        } else if (o.modem) {
            connection.CurrentChanel = ctModem;
            connection.ModemName = *o.modem;
            connection.PhoneNumber = o.phone.value_or("");
        } else {
            connection.CurrentChanel = ctNetwork;
            connection.NetworkMode = *o.networkMode;
            connection.NetworkAddress = *o.networkAddress;
            connection.AllowedPeers = o.allow.value_or("");
        }
    }
    if (o.address) {
        connection.NetAddress = *o.address;
    }
    return connection;
}

// A meter of the register; raises for a name it does not hold.
Meter Registered(MeterRegister& meters, const std::string& name) {
    std::optional<Meter> meter = meters.Find(name);
    if (!meter) {
        throw Exception("Прибора «" + name + "» нет в реестре");
    }
    return *meter;
}

void WarnAllowAny(const CliOptions& o) {
    if (o.allowAny) {
        std::fprintf(stderr,
                     "zqcli: warning: --allow any: every caller that reaches %s is let in\n",
                     o.networkAddress->c_str());
    }
}

int Add(FleetDatabase& db, const CliOptions& o) {
    Meter meter;
    meter.name = o.arguments[1];
    ChanelSetupStruct start;
    start.NetAddress = kMinMeterAddress;
    meter.connection = Connection(o, start);
    meter.group = o.group.value_or("");
    meter.note = o.note.value_or("");
    meter.collector = o.collector.value_or("");
    MeterRegister(db).Add(meter);
    WarnAllowAny(o);
    return 0;
}

int Edit(FleetDatabase& db, const CliOptions& o) {
    MeterRegister meters(db);
    const std::string& name = o.arguments[1];
    Meter meter = Registered(meters, name);
    meter.connection = Connection(o, meter.connection);
    meter.name = o.newName.value_or(meter.name);
    meter.group = o.group.value_or(meter.group);
    meter.note = o.note.value_or(meter.note);
    meter.collector = o.collector.value_or(meter.collector);
    meters.Update(name, meter);
    WarnAllowAny(o);
    return 0;
}

int Remove(FleetDatabase& db, const CliOptions& o) {
    MeterRegister(db).Remove(o.arguments[1], o.purge);
    std::fprintf(stderr,
                 o.purge ? "%s: removed with its history\n"
                         : "%s: removed; its history stays in the database\n",
                 o.arguments[1].c_str());
    return 0;
}

int List(FleetDatabase& db, const CliOptions& o) {
    MeterRegister meters(db);
    HistoryStore store(db);
    TextTable table;
    table.columns = {
        "Имя",  "Связь", "Адрес",   "Группа",   "Сборщик",  "Заводской номер", "Последний опрос",
        "Итог", "Текст", "Часовых", "Суточных", "Месячных", "Событий"};
    for (const Meter& m : meters.List(o.group)) {
        std::vector<std::string> row = {m.name, DescribeConnection(m.connection),
                                        std::to_string(m.connection.NetAddress), m.group,
                                        m.collector};
        char serial[16] = "";
        if (m.serial) {
            std::snprintf(serial, sizeof serial, "%09u", *m.serial);
        }
        row.push_back(serial);
        const std::optional<HistoryStore::LastRead> last = store.Last(m.id);
        row.push_back(last ? FormatDateTime("dd/mm/yyyy hh:nn:ss", last->end) : "");
        row.push_back(last ? (last->success ? "успех" : "сбой") : "");
        row.push_back(last ? last->text : "");
        for (size_t count : store.Counts(m.id)) {
            row.push_back(std::to_string(count));
        }
        table.rows.push_back(std::move(row));
    }
    PrintTable(std::cout, table, o.csv);
    return 0;
}

int ImportCsv(FleetDatabase& db, const CliOptions& o) {
    const std::string& path = o.arguments[1];
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "zqcli: %s: %s\n", path.c_str(),
                     file.errorString().toStdString().c_str());
        return 1;
    }
    const QByteArray text = file.readAll();
    try {
        const size_t added = MeterRegister(db).ImportCsv(text.toStdString());
        std::printf("%s: %zu meters added\n", path.c_str(), added);
    } catch (const Exception& e) {
        std::fprintf(stderr, "zqcli: %s: %s; nothing added\n", path.c_str(), e.what());
        return 1;
    }
    return 0;
}

int ExportCsv(FleetDatabase& db) {
    std::cout << MeterRegister(db).ExportCsv();
    std::cout.flush();
    return 0;
}

// Each file in a transaction of its own: one refused leaves the others'.
int Import(FleetDatabase& db, const CliOptions& o) {
    MeterRegister meters(db);
    const Meter meter = Registered(meters, o.arguments[1]);
    HistoryStore store(db);
    int status = 0;
    for (size_t i = 2; i < o.arguments.size(); ++i) {
        const std::string& path = o.arguments[i];
        try {
            ZQValve file;
            ReadArchiveFile(path, file);
            const std::array<size_t, 4> added = store.Import(meter.id, file);
            std::printf("%s: stored %s records\n", path.c_str(), Counts(added).c_str());
            std::fflush(stdout);  // each file's line as soon as it is stored
        } catch (const Exception& e) {
            std::fprintf(stderr, "zqcli: %s: %s\n", path.c_str(), e.what());
            status = 1;
        }
    }
    return status;
}

int History(FleetDatabase& db, const CliOptions& o) {
    MeterRegister meters(db);
    const Meter meter = Registered(meters, o.arguments[1]);
    const ZQValve whole = HistoryStore(db).Whole(meter.id);
    const std::array<size_t, 4> beyond = RecordsBeyondFile(whole);
    if (beyond != std::array<size_t, 4>{}) {
        std::fprintf(stderr,
                     "%s holds at most %zu records a list: the newest are saved, the oldest %s "
                     "records are left out\n",
                     o.out->c_str(), kArchiveFileMaxRecords, Counts(beyond).c_str());
    }
    WriteArchiveFile(*o.out, whole);
    std::printf("%s: %zu hourly, %zu daily, %zu monthly records, %zu journal records\n",
                o.out->c_str(), whole.HourArchive.size() - beyond[0],
                whole.DayArchive.size() - beyond[1], whole.MonthArchive.size() - beyond[2],
                whole.Journal.size() - beyond[3]);
    return 0;
}

int Report(FleetDatabase& db, const CliOptions& o) {
    const QDate from = QDate::fromString(QString::fromStdString(*o.reportFrom), Qt::ISODate);
    const QDate to = QDate::fromString(QString::fromStdString(*o.reportTo), Qt::ISODate);
    const ConsumptionReport report = MakeConsumptionReport(db, from, to, o.group);
    if (o.csv) {
        std::cout << ReportCsv(report);
        std::cout.flush();
        return 0;
    }
    WriteReportWorkbook(report, *o.xlsx);
    std::printf("%s: %zu meters, %s..%s\n", o.xlsx->c_str(), report.meters.size(),
                o.reportFrom->c_str(), o.reportTo->c_str());
    return 0;
}

}  // namespace

void CheckFleetOptions(const CliOptions& o) {
    if (o.arguments.empty()) {
        throw UsageError(
            "fleet needs a command: add, edit, remove, list, import-csv, export-csv, import, "
            "history, round or report");
    }
    const std::string& command = o.arguments[0];
    const FleetForm* form = nullptr;
    for (const FleetForm& f : kForms) {
        if (command == f.name) {
            form = &f;
        }
    }
    if (form == nullptr) {
        throw UsageError("fleet: unknown command '" + command +
                         "' (add, edit, remove, list, import-csv, export-csv, import, history, "
                         "round, report)");
    }
    const size_t count = o.arguments.size() - 1;
    if (count < form->minArguments || count > form->maxArguments) {
        throw UsageError(std::string("usage: zqcli ") + form->usage);
    }
    const bool meterCommand = command == "add" || command == "edit";
    if ((HasConnection(o) || o.address || o.note) && !meterCommand) {
        throw UsageError("the connection, --address and --note go with fleet add and fleet edit");
    }
    if (o.group && !meterCommand && command != "list" && command != "round" &&
        command != "report") {
        throw UsageError("--group goes with fleet add, edit, list, round and report");
    }
    if ((o.parallel || o.syncClock || o.skipFresh) && command != "round") {
        throw UsageError("--parallel, --sync-clock and --skip-fresh go with fleet round");
    }
    if (o.collector && !meterCommand && command != "round") {
        throw UsageError("--collector goes with fleet add, edit and round");
    }
    if (o.newName && command != "edit") {
        throw UsageError("--name goes with fleet edit");
    }
    if ((o.yes || o.purge) && command != "remove") {
        throw UsageError("--yes and --purge go with fleet remove");
    }
    if (command == "remove" && !o.yes) {
        throw UsageError(
            "fleet remove takes the meter out of the register (with --purge its history "
            "too); confirm with --yes");
    }
    if (o.csv && command != "list" && command != "round" && command != "report") {
        throw UsageError("--csv goes with fleet list, round and report");
    }
    if ((o.reportFrom || o.reportTo || o.xlsx) && command != "report") {
        throw UsageError("--from, --to and --xlsx go with fleet report");
    }
    if (command == "report") {
        if (!o.reportFrom || !o.reportTo) {
            throw UsageError("fleet report needs --from YYYY-MM-DD and --to YYYY-MM-DD");
        }
        if (o.xlsx && o.csv) {
            throw UsageError("fleet report takes --xlsx or --csv, not both");
        }
        if (!o.xlsx && !o.csv) {
            throw UsageError("fleet report needs either --xlsx OUT.xlsx or --csv");
        }
        if (o.xlsx && o.xlsx->empty()) {
            throw UsageError("--xlsx needs a file name");
        }
    }
    if (o.out.has_value() != (command == "history")) {
        throw UsageError("fleet history needs --out FILE.arch, and only it takes --out");
    }
    const bool deviceOptions = o.archivesGiven || o.periodFrom || o.missing || o.wholeIfOther ||
                               o.dropOldest || o.cycles || o.record || o.netAddress ||
                               o.calibrationCode || o.testCode || o.testMode || o.section ||
                               o.init || o.interval || (o.timeoutSeconds && command != "round");
    if (deviceOptions) {
        throw UsageError("fleet takes none of the options of the device commands");
    }
    if (HasConnection(o)) {
        const int kinds = (o.port ? 1 : 0) + (o.modem || o.phone ? 1 : 0) + (o.networkMode ? 1 : 0);
        if (kinds > 1) {
            throw UsageError("give either --port, --modem or a network option, not several");
        }
        if (o.modem.has_value() != o.phone.has_value()) {
            throw UsageError("--modem and --phone go together");
        }
        if (o.allow && o.networkMode != 2) {
            throw UsageError("--allow goes with --listen");
        }
        if (o.networkMode == 2 && !o.allow) {
            throw UsageError(
                "--listen needs --allow ADDR[,ADDR...] for the peers let in, or --allow any for "
                "every caller: a meter of the register has no stored list");
        }
    } else if (command == "add") {
        throw UsageError(
            "fleet add needs a connection: --port, --modem with --phone, --tcp, --rfc2217, or "
            "--listen with --allow");
    }
    if (o.address && (*o.address < kMinMeterAddress || *o.address > kMaxMeterAddress)) {
        throw UsageError("--address: a meter's Modbus address is 1..247");
    }
}

int FleetCommand(const CliOptions& o) {
    std::string target = o.db.value_or("");
    if (!o.db) {
        const char* env = std::getenv("ZQ_FLEET_DB");
        target = env ? env : "";
    }
    const std::string& command = o.arguments[0];
    if (command == "round") {
        FleetRoundArguments round;
        round.names.assign(o.arguments.begin() + 1, o.arguments.end());
        round.group = o.group;
        round.parallel = o.parallel.value_or(round.parallel);
        round.csv = o.csv;
        round.syncClockS = o.syncClock;
        round.database = target;
        round.collector = o.collector.value_or("");
        round.skipFreshMinutes = o.skipFresh;
        round.verbose = o.verbose;
        round.timeoutSeconds = o.timeoutSeconds;
        return RunFleetRound(round);
    }
    try {
        const std::unique_ptr<FleetDatabase> db = FleetDatabase::Open(target);
        if (command == "add") {
            return Add(*db, o);
        }
        if (command == "edit") {
            return Edit(*db, o);
        }
        if (command == "remove") {
            return Remove(*db, o);
        }
        if (command == "list") {
            return List(*db, o);
        }
        if (command == "import-csv") {
            return ImportCsv(*db, o);
        }
        if (command == "export-csv") {
            return ExportCsv(*db);
        }
        if (command == "import") {
            return Import(*db, o);
        }
        if (command == "report") {
            return Report(*db, o);
        }
        return History(*db, o);
    } catch (const Exception& e) {
        std::fprintf(stderr, "zqcli: %s\n", e.what());
        return 1;
    }
}
