-- The roles of a shared history database on PostgreSQL.
--
--   zq_collector  what a collector (zqcli fleet round, fleet import) needs:
--                 reads everything; adds records, parameters, rounds and
--                 reads; ends its reads and rounds; notes a meter's serial
--                 number; takes and lets go of claims. It cannot change or
--                 delete a stored record or parameter block, change the
--                 register otherwise, or drop or alter anything.
--   zq_reader     reads everything (the dispatcher's window, reports).
--
-- Both are group roles without login: give each computer or person a login
-- role of its own in one of them, e.g.
--   CREATE ROLE collector_north LOGIN IN ROLE zq_collector;
--   CREATE ROLE dispatcher LOGIN IN ROLE zq_reader;
-- with a password kept in that computer's ~/.pgpass.
--
-- Run it as the role that owns the tables (the one that made them: the
-- first zqcli fleet command against the empty database, and that manages
-- the register), after the schema is made and again after an upgrade of
-- ZQ Manager that changes it:
--   zqcli fleet list --db postgresql://owner@host/fleet
--   psql postgresql://owner@host/fleet -f /usr/share/zqmanager/fleet-roles.sql
-- Running it again changes nothing.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zq_collector') THEN
        CREATE ROLE zq_collector NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zq_reader') THEN
        CREATE ROLE zq_reader NOLOGIN;
    END IF;
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO zq_collector, zq_reader', current_schema());
    EXECUTE format('GRANT SELECT ON ALL TABLES IN SCHEMA %I TO zq_collector, zq_reader',
                   current_schema());
    -- Tables a later version makes can be read at once.
    EXECUTE format('ALTER DEFAULT PRIVILEGES IN SCHEMA %I GRANT SELECT ON TABLES '
                   'TO zq_collector, zq_reader', current_schema());
END
$$;

GRANT INSERT ON records, parameters, rounds, reads TO zq_collector;
GRANT UPDATE (ended) ON rounds TO zq_collector;
GRANT UPDATE (ended, success, status_text, requests, added_hour, added_day, added_month,
              added_journal, clock_drift_s, clock_set) ON reads TO zq_collector;
GRANT UPDATE (serial) ON meters TO zq_collector;
GRANT INSERT, UPDATE, DELETE ON claims TO zq_collector;
