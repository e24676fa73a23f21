#!/bin/sh
# Runs a command against a throw-away PostgreSQL 15 cluster that
# pg_virtualenv (postgresql-common) makes for it in a temporary folder, on
# a free port, and drops after it: `pg_throwaway.sh [pg_virtualenv options]
# command...` (e.g. -o 'ssl=on' for the server's settings).
#
# -t keeps the cluster in the temporary folder as root too (CI), where
# pg_virtualenv would otherwise make the system's one cluster 15/regress and
# refuse to start while a killed run's is left. The runs take turns on a
# lock: two clusters made at once could both take the same free port.
set -eu
lock=${TMPDIR:-/tmp}/zq-pg-throwaway.lock
exec flock -o -w 900 "$lock" pg_virtualenv -t -v 15 "$@"
