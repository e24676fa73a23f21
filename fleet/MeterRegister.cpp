#include "MeterRegister.h"

#include "ChanelKinds.h"
#include "Exception.h"
#include "FleetCsv.h"
#include "FleetQuery.h"
#include "NetEndpoint.h"
#include "TNetQueueIDChanel.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

constexpr size_t kMaxNameLength = 100;
constexpr size_t kMaxTextLength = 1000;
constexpr int kMinModbusAddress = 1;
constexpr int kMaxModbusAddress = 247;

// The connection types of the CSV table and the settings they stand for.
struct ConnectionType {
    const char* word;
    int32_t chanel;
    int32_t networkMode;
};
const ConnectionType kConnectionTypes[] = {
    {"port", ctComPort, 0},          {"modem", ctModem, 0},
    {"tcp", ctNetwork, nmTcp},       {"rfc2217", ctNetwork, nmRfc2217},
    {"listen", ctNetwork, nmListen},
};

const char* const kCsvHeader[] = {
    "name",          "connection", "port",  "modem", "phone",  "network_address",
    "allowed_peers", "address",    "group", "note",  "serial", "collector"};
constexpr size_t kCsvColumns = std::size(kCsvHeader);
// Tables written before meters had a collector lack the last column.
constexpr size_t kCsvColumnsWithoutCollector = kCsvColumns - 1;

const ConnectionType* TypeOf(const ChanelSetupStruct& c) {
    for (const ConnectionType& t : kConnectionTypes) {
        if (t.chanel == c.CurrentChanel &&
            (t.chanel != ctNetwork || t.networkMode == c.NetworkMode)) {
            return &t;
        }
    }
    return nullptr;
}

// Characters of valid UTF-8 text without control characters; -1 for
// anything else.
long TextLength(const std::string& text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (s.toUtf8() != QByteArray(text.data(), static_cast<qsizetype>(text.size()))) {
        return -1;
    }
    long length = 0;
    for (const uint code : s.toUcs4()) {
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            return -1;
        }
        ++length;
    }
    return length;
}

void CheckText(const std::string& text, size_t max, const std::string& what) {
    const long length = TextLength(text);
    if (length < 0 || static_cast<size_t>(length) > max) {
        throw Exception(what + ": до " + std::to_string(max) + " знаков, без управляющих знаков");
    }
}

// The meter as it is stored: the settings its connection type does not use
// cleared. Raises for a meter that cannot be stored.
Meter Checked(const Meter& meter) {
    const long nameLength = TextLength(meter.name);
    if (nameLength < 1 || static_cast<size_t>(nameLength) > kMaxNameLength) {
        throw Exception("Имя прибора: от 1 до 100 знаков, без управляющих знаков");
    }
    const std::string who = "Прибор «" + meter.name + "»";
    const ChanelSetupStruct& c = meter.connection;
    const ConnectionType* type = TypeOf(c);
    if (type == nullptr) {
        throw Exception(who + ": неизвестный вид связи");
    }
    if (c.NetAddress < kMinModbusAddress || c.NetAddress > kMaxModbusAddress) {
        throw Exception(who + ": адрес Modbus от 1 до 247");
    }
    Meter out;
    out.name = meter.name;
    out.group = meter.group;
    out.note = meter.note;
    out.collector = meter.collector;
    CheckText(meter.group, kMaxNameLength, who + ", группа");
    CheckText(meter.collector, kMaxNameLength, who + ", сборщик");
    CheckText(meter.note, kMaxTextLength, who + ", примечание");
    out.connection.CurrentChanel = c.CurrentChanel;
    out.connection.NetAddress = c.NetAddress;
    out.connection.ComPortName.clear();
    std::string error;
    switch (c.CurrentChanel) {
        case ctComPort:
            CheckText(c.ComPortName, 255, who + ", COM-порт");
            if (c.ComPortName.empty()) {
                throw Exception(who + ": не задан COM-порт");
            }
            out.connection.ComPortName = c.ComPortName;
            break;
        case ctModem:
            CheckText(c.ModemName, 255, who + ", модем");
            CheckText(c.PhoneNumber, 100, who + ", телефон");
            if (c.ModemName.empty() || c.PhoneNumber.empty()) {
                throw Exception(who + ": не задан модем или номер телефона");
            }
            out.connection.ModemName = c.ModemName;
            out.connection.PhoneNumber = c.PhoneNumber;
            break;
        default:
            out.connection.NetworkMode = c.NetworkMode;
            out.connection.NetworkAddress = c.NetworkAddress;
            if (c.NetworkMode == nmListen) {
                if (!ParseListenAddress(c.NetworkAddress, &error) ||
                    !CheckPeerList(c.AllowedPeers, &error)) {
                    throw Exception(who + ": " + error);
                }
                out.connection.AllowedPeers = c.AllowedPeers;
            } else if (!ParseConnectAddress(c.NetworkAddress, &error)) {
                throw Exception(who + ": " + error);
            }
            break;
    }
    return out;
}

const QString kMeterColumns = QStringLiteral(
    "id, name, channel, port, modem, phone, network_mode, network_address, allowed_peers, "
    "modbus_address, group_name, note, serial, collector");

Meter MeterFromRow(const FleetQuery& q) {
    Meter m;
    m.id = q.Value(0).toLongLong();
    m.name = q.Value(1).toString().toStdString();
    m.connection.CurrentChanel = q.Value(2).toInt();
    m.connection.ComPortName = q.Value(3).toString().toStdString();
    m.connection.ModemName = q.Value(4).toString().toStdString();
    m.connection.PhoneNumber = q.Value(5).toString().toStdString();
    m.connection.NetworkMode = q.Value(6).toInt();
    m.connection.NetworkAddress = q.Value(7).toString().toStdString();
    m.connection.AllowedPeers = q.Value(8).toString().toStdString();
    m.connection.NetAddress = q.Value(9).toInt();
    m.group = q.Value(10).toString().toStdString();
    m.note = q.Value(11).toString().toStdString();
    if (!q.Value(12).isNull()) {
        m.serial = static_cast<uint32_t>(q.Value(12).toLongLong());
    }
    m.collector = q.Value(13).toString().toStdString();
    return m;
}

std::optional<Meter> FindWhere(FleetDatabase& database, const QString& condition,
                               const QVariant& value) {
    FleetQuery q(database,
                 "SELECT " + kMeterColumns + " FROM meters WHERE retired IS NULL AND " + condition);
    q.Run({value});
    if (!q.Next()) {
        return std::nullopt;
    }
    return MeterFromRow(q);
}

// "000004711", as the device's serial number is shown.
std::string SerialText(uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%09u", serial);
    return text;
}

// A serial number of the CSV table: digits, at most 4294967295.
std::optional<uint32_t> ParseSerial(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

int64_t MeterRegister::Add(const Meter& meter) {
    const Meter m = Checked(meter);
    FleetDatabase::Transaction transaction(database);
    if (Find(m.name)) {
        throw Exception("Прибор «" + m.name + "» уже есть в реестре");
    }
    const ChanelSetupStruct& c = m.connection;
    const int64_t id =
        FleetScalar(database,
                    "INSERT INTO meters (name, channel, port, modem, phone, network_mode, "
                    "network_address, allowed_peers, modbus_address, group_name, note, "
                    "collector, added) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                    {SqlText(m.name), c.CurrentChanel, SqlText(c.ComPortName), SqlText(c.ModemName),
                     SqlText(c.PhoneNumber), c.NetworkMode, SqlText(c.NetworkAddress),
                     SqlText(c.AllowedPeers), c.NetAddress, SqlText(m.group), SqlText(m.note),
                     SqlText(m.collector), SqlTime(SqlNow())})
            .toLongLong();
    transaction.Commit();
    return id;
}

void MeterRegister::Update(const std::string& name, const Meter& meter) {
    const Meter m = Checked(meter);
    FleetDatabase::Transaction transaction(database);
    const std::optional<Meter> old = Find(name);
    if (!old) {
        throw Exception("Прибора «" + name + "» нет в реестре");
    }
    if (m.name != name && Find(m.name)) {
        throw Exception("Прибор «" + m.name + "» уже есть в реестре");
    }
    const ChanelSetupStruct& c = m.connection;
    FleetQuery(database,
               "UPDATE meters SET name = ?, channel = ?, port = ?, modem = ?, phone = ?, "
               "network_mode = ?, network_address = ?, allowed_peers = ?, modbus_address = ?, "
               "group_name = ?, note = ?, collector = ? WHERE id = ?")
        .Run({SqlText(m.name), c.CurrentChanel, SqlText(c.ComPortName), SqlText(c.ModemName),
              SqlText(c.PhoneNumber), c.NetworkMode, SqlText(c.NetworkAddress),
              SqlText(c.AllowedPeers), c.NetAddress, SqlText(m.group), SqlText(m.note),
              SqlText(m.collector), SqlInt(old->id)});
    transaction.Commit();
}

void MeterRegister::Remove(const std::string& name, bool purge) {
    FleetDatabase::Transaction transaction(database);
    const std::optional<Meter> meter = Find(name);
    if (!meter) {
        throw Exception("Прибора «" + name + "» нет в реестре");
    }
    const QVariant id = SqlInt(meter->id);
    if (purge) {
        // Children first: nothing is left pointing at what is gone.
        for (const char* table : {"claims", "records", "parameters", "reads", "meters"}) {
            const QString key = QString::fromUtf8(table) == QStringLiteral("meters")
                                    ? QStringLiteral("id")
                                    : QStringLiteral("meter_id");
            FleetQuery(database, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, key))
                .Run({id});
        }
    } else {
        FleetQuery(database, QStringLiteral("DELETE FROM claims WHERE meter_id = ?")).Run({id});
        FleetQuery(database, QStringLiteral("UPDATE meters SET retired = ? WHERE id = ?"))
            .Run({SqlTime(SqlNow()), id});
    }
    transaction.Commit();
}

void MeterRegister::SetSerial(int64_t id, uint32_t serial) {
    FleetDatabase::Transaction transaction(database);
    FleetQuery(database, QStringLiteral("UPDATE meters SET serial = ? WHERE id = ?"))
        .Run({SqlInt(serial), SqlInt(id)});
    transaction.Commit();
}

std::optional<Meter> MeterRegister::Find(const std::string& name) {
    return FindWhere(database, QStringLiteral("name = ?"), SqlText(name));
}

std::optional<Meter> MeterRegister::Find(int64_t id) {
    return FindWhere(database, QStringLiteral("id = ?"), SqlInt(id));
}

std::vector<Meter> MeterRegister::List(const std::optional<std::string>& group) {
    FleetQuery q(database, "SELECT " + kMeterColumns + " FROM meters WHERE retired IS NULL");
    q.Run();
    std::vector<Meter> meters;
    while (q.Next()) {
        Meter m = MeterFromRow(q);
        if (!group || m.group == *group) {
            meters.push_back(std::move(m));
        }
    }
    // By the bytes of the names: the same order on every engine and locale.
    std::sort(meters.begin(), meters.end(),
              [](const Meter& a, const Meter& b) { return a.name < b.name; });
    return meters;
}

std::string MeterRegister::ExportCsv() {
    std::string text =
        CsvLine(std::vector<std::string>(std::begin(kCsvHeader), std::end(kCsvHeader)));
    for (const Meter& m : List()) {
        const ChanelSetupStruct& c = m.connection;
        text += CsvLine({m.name, TypeOf(c)->word, c.ComPortName, c.ModemName, c.PhoneNumber,
                         c.NetworkAddress, c.AllowedPeers, std::to_string(c.NetAddress), m.group,
                         m.note, m.serial ? SerialText(*m.serial) : "", m.collector});
    }
    return text;
}

size_t MeterRegister::ImportCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    std::string error;
    size_t errorLine = 0;
    if (!ParseCsv(text, rows, error, errorLine)) {
        throw Exception("Строка " + std::to_string(errorLine) + ": " + error);
    }
    const std::vector<std::string> header(std::begin(kCsvHeader), std::end(kCsvHeader));
    const std::vector<std::string> oldHeader(header.begin(),
                                             header.begin() + kCsvColumnsWithoutCollector);
    if (rows.empty() || (rows[0].fields != header && rows[0].fields != oldHeader)) {
        std::string line = CsvLine(header);
        line.resize(line.size() - 2);  // without its CRLF
        throw Exception("Строка 1: ожидается заголовок " + line);
    }
    FleetDatabase::Transaction transaction(database);
    std::set<std::string> names;
    for (size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        const std::string where = "Строка " + std::to_string(row.line) + ": ";
        if (row.fields.size() != rows[0].fields.size()) {
            throw Exception(where + "полей " + std::to_string(row.fields.size()) + ", нужно " +
                            std::to_string(rows[0].fields.size()));
        }
        const std::vector<std::string>& f = row.fields;
        Meter m;
        m.name = f[0];
        const ConnectionType* type = nullptr;
        for (const ConnectionType& t : kConnectionTypes) {
            if (f[1] == t.word) {
                type = &t;
            }
        }
        if (type == nullptr) {
            throw Exception(where + "вид связи «" + f[1] +
                            "»: ожидается port, modem, tcp, rfc2217 или listen");
        }
        m.connection.CurrentChanel = type->chanel;
        m.connection.NetworkMode = type->networkMode;
        m.connection.ComPortName = f[2];
        m.connection.ModemName = f[3];
        m.connection.PhoneNumber = f[4];
        m.connection.NetworkAddress = f[5];
        m.connection.AllowedPeers = f[6];
        const std::optional<uint32_t> address = ParseSerial(f[7]);
        m.connection.NetAddress = address && *address <= 255 ? static_cast<int32_t>(*address) : -1;
        m.group = f[8];
        m.note = f[9];
        if (f.size() > kCsvColumnsWithoutCollector) {
            m.collector = f[kCsvColumnsWithoutCollector];
        }
        std::optional<uint32_t> serial;
        if (!f[10].empty() && !(serial = ParseSerial(f[10]))) {
            throw Exception(where + "заводской номер «" + f[10] + "»: ожидается число");
        }
        if (!names.insert(m.name).second) {
            throw Exception(where + "прибор «" + m.name + "» уже был выше");
        }
        try {
            const int64_t id = Add(m);
            if (serial) {
                SetSerial(id, *serial);
            }
        } catch (const Exception& e) {
            throw Exception(where + e.what());
        }
    }
    transaction.Commit();
    return rows.size() - 1;
}
