#pragma once

#include <vector>

// The schema's migrations, oldest first: migration i (0-based) brings the
// database to version i + 1. Each is a list of statements with the dialect's
// words left as placeholders, filled in from the table in FleetDatabase.cpp:
// {KEY} a numbered 64-bit primary key, {BLOB} bytes, {TIME} a local date
// and time, {REAL} a double, {BOOL} true or false. A migration once
// released is never changed: a change of the schema is a new migration.
// docs/fleet-database.md describes the result.
const std::vector<std::vector<const char*>>& FleetMigrations();
