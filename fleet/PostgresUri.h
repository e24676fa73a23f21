#pragma once

#include <optional>
#include <string>

// A libpq connection URI taken apart into what Qt's QPSQL driver is given:
//
//   postgresql://[user[:password]@][host][:port][/dbname][?name=value&...]
//
// (also "postgres://"; parts percent-encoded as in any URI; an IPv6 host in
// brackets). A part left out stays empty (port 0): QPSQL then leaves it out
// of the connection and libpq takes it from its environment (PGHOST,
// PGPORT, PGUSER, PGDATABASE, PGSERVICE, PGPASSFILE ...), its service file
// or ~/.pgpass. The parameters (sslmode, service, passfile,
// connect_timeout, a host list ...) go to libpq as they stand.
struct PostgresUri {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    std::string dbname;
    // The parameters as QPSQL's connect options: name='value' pairs
    // separated by ';', each value quoted for libpq.
    std::string options;
};

// True for a target that names a PostgreSQL database rather than a file.
bool IsPostgresUri(const std::string& target);

// Null with a text for the user (Russian) in `error` when `uri` cannot be
// taken apart: not a URI, several hosts in the host part (give them as
// ?host=a,b), a port outside 1..65535, a parameter name other than letters
// and '_', a value holding ';' (QPSQL's separator).
std::optional<PostgresUri> ParsePostgresUri(const std::string& uri, std::string& error);
