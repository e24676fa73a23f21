#pragma once

#include "FleetDatabase.h"
#include "Meter.h"

#include <optional>
#include <string>
#include <vector>

// The register of meters in the history database: add, change, remove,
// list, and the register as a CSV table for spreadsheets.
//
// The CSV table: a header line, then one line per meter, comma-separated,
// UTF-8, fields quoted as RFC 4180 says when they hold a comma, a quote or a
// line end: name, connection type ("port", "modem", "tcp", "rfc2217",
// "listen"), port, modem, phone, network address, allowed peers, Modbus
// address, group, note, serial number (empty when not known yet), collector
// (empty: any). A table without the last column (as written before meters
// had a collector) is taken too.
//
// Names are what users type: any UTF-8 text of 1..100 characters without
// control characters. Failures raise Exception with a text for the user.
class MeterRegister {
public:
    explicit MeterRegister(FleetDatabase& database) : database(database) {}

    // Adds `meter` (its id and serial ignored); a name taken raises.
    // Returns the new id.
    int64_t Add(const Meter& meter);
    // Replaces the connection, address, group and note of meter `name`,
    // and its name when meter.name differs (the new one must be free).
    void Update(const std::string& name, const Meter& meter);
    // Removes meter `name` from the register: it leaves the list and the
    // rounds, and its name is free again. Its history (records, parameters,
    // read log) stays in the database, kept under the retired meter's row,
    // unless `purge`, which deletes the meter and all of its history.
    void Remove(const std::string& name, bool purge);
    // Learnt at a meter's first read.
    void SetSerial(int64_t id, uint32_t serial);

    // Meters of the register only: a removed one is found by neither.
    std::optional<Meter> Find(const std::string& name);
    std::optional<Meter> Find(int64_t id);
    // Every meter, by name; with `group`, only that group's.
    std::vector<Meter> List(const std::optional<std::string>& group = std::nullopt);

    // The register as the CSV table above.
    std::string ExportCsv();
    // Adds the meters of a CSV table (a header line first, as ExportCsv
    // writes it; a serial number given is the meter's). All or nothing:
    // a bad line raises with its line number and the reason, a name taken
    // (in the register or twice in the file) likewise, and nothing is added.
    // Returns how many were added.
    size_t ImportCsv(const std::string& text);

private:
    FleetDatabase& database;
};
