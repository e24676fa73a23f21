#!/bin/sh
# Runs a command against a throw-away PostgreSQL 15 cluster that
# pg_virtualenv (postgresql-common) makes for it and drops after it.
#
# As a user, pg_virtualenv keeps the cluster in a temporary folder; as root
# (CI) it makes the system's cluster 15/regress, one per machine, and
# refuses to start while one exists. So the runs take turns on a lock, and
# a cluster pg_virtualenv left behind when its run was killed (a ctest
# time-out, a stopped CI job) is dropped first: while the lock is ours, no
# other run of ours can be using it.
set -eu
lock=${TMPDIR:-/tmp}/zq-pg-throwaway.lock
exec flock -o -w 900 "$lock" sh -c '
    if [ "$(id -u)" = 0 ] && [ -f /etc/postgresql/15/regress/.by_pg_virtualenv ]; then
        echo "dropping the cluster 15/regress a killed run left" >&2
        pg_dropcluster --stop 15 regress || true
        # A cluster killed while being made has no data folder, and
        # pg_dropcluster leaves its configuration behind.
        rm -rf /etc/postgresql/15/regress /var/lib/postgresql/15/regress
    fi
    exec pg_virtualenv -v 15 "$@"' pg_throwaway "$@"
