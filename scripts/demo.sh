#!/usr/bin/env bash
# The demo command: installs what is missing, builds, starts the simulated
# ZQ device on a pseudo-terminal and runs the program against it: a full read
# to an archive file, then the file shown as the pages show it. Nothing of
# the user's own settings is touched (a temporary settings folder is used).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zqsim zqcli

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The simulated device answers as port COM7 (a link in the port folder).
"$build/sim/zqsim" --pty --link "$XDG_CONFIG_HOME/Halbrec/ZURavorav/ports/COM7" \
    --hour 48 --day 14 --month 6 --journal 20 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$work/sim.out" ] && break
    sleep 0.1
done
echo "Simulated device on $(head -n 1 "$work/sim.out"), port COM7" >&2

"$build/cli/zqcli" read --port COM7 --out "$work/demo.arch"
"$build/cli/zqcli" show "$work/demo.arch"
