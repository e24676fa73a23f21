#include "FleetSchema.h"

const std::vector<std::vector<const char*>>& FleetMigrations() {
    static const std::vector<std::vector<const char*>> migrations = {
        // 1: the register, the records, the parameters, the read log, claims.
        {
            "CREATE TABLE meters ("
            " id {KEY},"
            " name TEXT NOT NULL,"
            " channel INTEGER NOT NULL,"
            " port TEXT NOT NULL,"
            " modem TEXT NOT NULL,"
            " phone TEXT NOT NULL,"
            " network_mode INTEGER NOT NULL,"
            " network_address TEXT NOT NULL,"
            " allowed_peers TEXT NOT NULL,"
            " modbus_address INTEGER NOT NULL,"
            " group_name TEXT NOT NULL,"
            " note TEXT NOT NULL,"
            " serial BIGINT,"
            " added {TIME} NOT NULL,"
            " retired {TIME})",
            // A name belongs to one meter of the register; retired meters
            // keep theirs beside it.
            "CREATE UNIQUE INDEX meters_active_name ON meters (name) WHERE retired IS NULL",

            "CREATE TABLE rounds ("
            " id {KEY},"
            " collector TEXT NOT NULL,"
            " started {TIME} NOT NULL,"
            " ended {TIME})",

            "CREATE TABLE reads ("
            " id {KEY},"
            " meter_id BIGINT NOT NULL REFERENCES meters (id),"
            " round_id BIGINT REFERENCES rounds (id),"
            " started {TIME} NOT NULL,"
            " ended {TIME},"
            " success {BOOL},"
            " status_text TEXT,"
            " requests INTEGER,"
            " added_hour INTEGER,"
            " added_day INTEGER,"
            " added_month INTEGER,"
            " added_journal INTEGER,"
            " clock_drift_s {REAL},"
            " clock_set {BOOL})",
            "CREATE INDEX reads_meter ON reads (meter_id, id)",

            "CREATE TABLE records ("
            " id {KEY},"
            " meter_id BIGINT NOT NULL REFERENCES meters (id),"
            " kind SMALLINT NOT NULL CHECK (kind BETWEEN 0 AND 3),"
            " seq BIGINT NOT NULL,"
            " bytes {BLOB} NOT NULL,"
            " stamp {TIME},"
            " v_plus {REAL},"
            " v_minus {REAL},"
            " work_minutes INTEGER,"
            " flags SMALLINT,"
            " event_code INTEGER,"
            " read_id BIGINT REFERENCES reads (id))",
            "CREATE UNIQUE INDEX records_bytes ON records (meter_id, kind, bytes)",
            // A meter's newest N records of a list: the highest seq first.
            "CREATE UNIQUE INDEX records_order ON records (meter_id, kind, seq)",
            // A meter's records of a period.
            "CREATE INDEX records_stamp ON records (meter_id, kind, stamp)",
            "CREATE INDEX records_read ON records (read_id)",

            "CREATE TABLE parameters ("
            " id {KEY},"
            " meter_id BIGINT NOT NULL REFERENCES meters (id),"
            " read_id BIGINT REFERENCES reads (id),"
            " pc_time {TIME},"
            " device_time {TIME},"
            " serial BIGINT NOT NULL,"
            " block {BLOB} NOT NULL,"
            " v_plus {REAL},"
            " v_minus {REAL},"
            " flow {REAL},"
            " work_minutes BIGINT,"
            " power_minutes BIGINT,"
            " flags SMALLINT)",
            "CREATE INDEX parameters_meter ON parameters (meter_id, id)",

            "CREATE TABLE claims ("
            " meter_id BIGINT PRIMARY KEY REFERENCES meters (id),"
            " holder TEXT NOT NULL,"
            " host TEXT NOT NULL,"
            " pid BIGINT NOT NULL,"
            " claimed {TIME} NOT NULL,"
            " renewed {TIME} NOT NULL)",
        },
        // 2: the collector that reads a meter ("" any).
        {
            "ALTER TABLE meters ADD COLUMN collector TEXT NOT NULL DEFAULT ''",
        },
    };
    return migrations;
}
