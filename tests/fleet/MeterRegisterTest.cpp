// The register of meters: names users type, connections a read could use,
// a removed meter's history kept unless purged, and the CSV table that goes
// through a spreadsheet and back whole or not at all.
#include "CaseNames.h"
#include "Exception.h"
#include "FleetQuery.h"
#include "FleetTestSupport.h"
#include "HistoryStore.h"
#include "MeterRegister.h"

namespace {

ZQ_PRINT_CASES_BY_NAME

using MeterRegisterTest = FleetTest;

Meter Listening(const std::string& name) {
    Meter m;
    m.name = name;
    m.connection.CurrentChanel = 2;
    m.connection.ComPortName.clear();
    m.connection.NetworkMode = 2;
    m.connection.NetworkAddress = "0.0.0.0:4001";
    m.connection.AllowedPeers = "10.0.0.5, fe80::1";
    m.connection.NetAddress = 247;
    m.group = "Север";
    m.note = "во дворе, \"за гаражом\"";
    return m;
}

std::vector<std::string> Names(const std::vector<Meter>& meters) {
    std::vector<std::string> names;
    for (const Meter& m : meters) {
        names.push_back(m.name);
    }
    return names;
}

TEST_P(MeterRegisterTest, AddEditRenameRemoveAndPurge) {
    auto db = Open();
    MeterRegister meters(*db);
    HistoryStore store(*db);
    Meter port = PortMeter("Котельная 1");
    port.connection.ComPortName = "";  // what the register keeps for others' settings
    port.connection.ComPortName = "COM7";
    const int64_t a = meters.Add(port);
    const int64_t b = meters.Add(Listening("Школа"));
    EXPECT_THROW(meters.Add(PortMeter("Школа")), Exception);
    Meter expected = Listening("Школа");
    expected.id = b;
    EXPECT_EQ(meters.Find("Школа"), expected);
    EXPECT_EQ(meters.List(std::string("Север")).size(), 1u);

    // Renamed: the old name is free, the new one taken.
    Meter renamed = port;
    renamed.name = "Котельная 2";
    renamed.connection.NetAddress = 12;
    meters.Update("Котельная 1", renamed);
    EXPECT_FALSE(meters.Find("Котельная 1"));
    EXPECT_EQ(meters.Find("Котельная 2")->connection.NetAddress, 12);
    EXPECT_EQ(meters.Find("Котельная 2")->id, a);
    renamed.name = "Школа";
    EXPECT_THROW(meters.Update("Котельная 2", renamed), Exception);

    ZQValve read;
    read.HourArchive = Hours(3, 1);
    store.AddNewest(a, read, store.BeginRead(a, 0, SqlNow()));
    store.AddNewest(b, read, 0);

    // Removed: out of the register, its name free again, its history kept.
    meters.Remove("Котельная 2", false);
    EXPECT_EQ(Names(meters.List()), std::vector<std::string>{"Школа"});
    EXPECT_FALSE(meters.Find(a));
    const int64_t again = meters.Add(PortMeter("Котельная 2"));
    EXPECT_NE(again, a);
    EXPECT_EQ(store.Counts(a)[0], 3u);
    EXPECT_EQ(store.Counts(again)[0], 0u);

    // Purged: the meter and everything of it gone, the others' untouched.
    meters.Remove("Школа", true);
    EXPECT_EQ(FleetScalar(*db, "SELECT COUNT(*) FROM meters WHERE id = ?", {SqlInt(b)}).toInt(), 0);
    EXPECT_EQ(store.Counts(b)[0], 0u);
    EXPECT_EQ(store.Counts(a)[0], 3u);
    EXPECT_THROW(meters.Remove("Школа", true), Exception);
}

TEST_P(MeterRegisterTest, RefusesWhatNoReadCouldUse) {
    auto db = Open();
    MeterRegister meters(*db);
    auto with = [](auto change) {
        Meter m = PortMeter("A");
        change(m);
        return m;
    };
    const struct {
        const char* name;
        Meter meter;
    } rows[] = {
        {"EmptyName", with([](Meter& m) { m.name.clear(); })},
        {"NameTooLong", with([](Meter& m) { m.name = std::string(101, 'x'); })},
        {"NameWithALineEnd", with([](Meter& m) { m.name = "a\nb"; })},
        {"NameNotUtf8", with([](Meter& m) { m.name = "\xC3"; })},
        {"AddressZero", with([](Meter& m) { m.connection.NetAddress = 0; })},
        {"AddressBeyond247", with([](Meter& m) { m.connection.NetAddress = 248; })},
        {"NoPort", with([](Meter& m) { m.connection.ComPortName.clear(); })},
        {"ModemWithoutPhone", with([](Meter& m) {
             m.connection.CurrentChanel = 1;
             m.connection.ModemName = "Zyxel";
         })},
        {"TcpWithoutPort", with([](Meter& m) {
             m.connection.CurrentChanel = 2;
             m.connection.NetworkAddress = "10.0.0.5";
         })},
        {"ListenLettingInAName", with([](Meter& m) {
             m.connection.CurrentChanel = 2;
             m.connection.NetworkMode = 2;
             m.connection.NetworkAddress = "4001";
             m.connection.AllowedPeers = "gateway.example";
         })},
        {"UnknownConnection", with([](Meter& m) { m.connection.CurrentChanel = 3; })},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_THROW(meters.Add(row.meter), Exception);
    }
    EXPECT_TRUE(meters.List().empty());
}

TEST_P(MeterRegisterTest, CsvGoesThroughASpreadsheetAndBackWholeOrNotAtAll) {
    auto db = Open();
    MeterRegister meters(*db);
    meters.Add(PortMeter("Котельная, корпус 2"));
    meters.SetSerial(meters.Add(Listening("Школа")), 4711);
    Meter modem;
    modem.name = "Насосная";
    modem.connection.CurrentChanel = 1;
    modem.connection.ComPortName.clear();
    modem.connection.ModemName = "Zyxel";
    modem.connection.PhoneNumber = "+7 495 123-45-67";
    modem.connection.NetAddress = 3;
    modem.collector = "north";
    meters.Add(modem);
    const std::vector<Meter> before = meters.List();
    const std::string csv = meters.ExportCsv();
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1),
              "name,connection,port,modem,phone,network_address,allowed_peers,address,group,note,"
              "serial,collector\r\n");

    for (const Meter& m : before) {
        meters.Remove(m.name, true);
    }
    EXPECT_EQ(meters.ImportCsv(csv), 3u);
    std::vector<Meter> after = meters.List();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        after[i].id = before[i].id;
    }
    EXPECT_EQ(after, before);

    // A table written before meters had a collector.
    const std::string header =
        "name,connection,port,modem,phone,network_address,allowed_peers,address,group,note,"
        "serial\r\n";
    const std::string good = "Новый,tcp,,,,10.0.0.9:4001,,5,,,\r\n";
    const struct {
        const char* name;
        std::string text;
        std::string error;
    } bad[] = {
        {"NameTakenInTheRegister", header + good + "Школа,port,COM3,,,,,1,,,\n", "Строка 3: "},
        {"NameTwiceInTheFile", header + good + good, "Строка 3: "},
        {"UnknownConnection", header + good + "X,ssh,,,,,,1,,,\n", "Строка 3: "},
        {"AddressNotANumber", header + good + "X,port,COM3,,,,,один,,,\n", "Строка 3: "},
        {"FieldMissing", header + good + "X,port,COM3,,,,,1,,\n", "Строка 3: "},
        // A note over two lines: the bad line after it is line 4.
        {"QuoteLeftOpen",
         header + "\"Два\nряда\",port,COM3,,,,,1,,,\n" + "X,port,\"COM3,,,,,1,,,\n", "Строка 4: "},
        {"NoHeader", good, "Строка 1: "},
    };
    for (const auto& row : bad) {
        SCOPED_TRACE(row.name);
        try {
            meters.ImportCsv(row.text);
            ADD_FAILURE() << "taken";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind(row.error, 0), 0u) << e.what();
        }
        EXPECT_EQ(meters.List().size(), 3u);
    }
}

ZQ_FLEET_ENGINES(MeterRegisterTest);

}  // namespace
