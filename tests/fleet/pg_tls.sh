#!/bin/sh
# Runs a command against a throw-away PostgreSQL cluster (pg_throwaway.sh)
# that speaks TLS with a certificate for "localhost" signed by a CA made here
# for the run. ZQ_TEST_TLS_DIR names the folder of ca.crt (that CA) and
# other-ca.crt (a CA that signed nothing of the server's).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
key ca.key
key other-ca.key
key server.key
openssl req -x509 -new -key ca.key -days 2 -subj "/CN=ZQ test CA" -out ca.crt
openssl req -x509 -new -key other-ca.key -days 2 -subj "/CN=ZQ other CA" -out other-ca.crt
openssl req -new -key server.key -subj "/CN=localhost" -out server.csr
printf 'subjectAltName=DNS:localhost\n' >server.ext
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
    -extfile server.ext -out server.crt 2>/dev/null
chmod 755 "$dir"
chmod 600 server.key
# As root the cluster's server runs as postgres, which must own its key.
if [ "$(id -u)" = 0 ]; then
    chown postgres server.key server.crt
fi
# pg_createcluster sets ssl as its own configuration says: TLS is turned on
# in the running server instead, which takes it at a reload.
cat >tls.sql <<SQL
ALTER SYSTEM SET ssl_cert_file = '$dir/server.crt';
ALTER SYSTEM SET ssl_key_file = '$dir/server.key';
ALTER SYSTEM SET ssl = on;
SELECT pg_reload_conf();
SQL
export ZQ_TEST_TLS_DIR=$dir
"$here/../pg_throwaway.sh" sh -c \
    'psql -X -q -v ON_ERROR_STOP=1 -f "$ZQ_TEST_TLS_DIR/tls.sql" >/dev/null && exec "$@"' tls "$@"
