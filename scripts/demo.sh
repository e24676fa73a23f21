#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the simulated ZQ
# device on a pseudo-terminal (port COM7, an alias in a private settings
# folder that also enables calibration, so every group of the setup page
# shows) and opens the main window on it. "Считать данные", "Мониторинг",
# the write commands and the file commands all work at once. Without a
# display the same device is read with zqcli and the file shown as the pages
# show it. The user's own settings are never touched.
#
#   scripts/demo.sh            the window (or zqcli without a display)
#   scripts/demo.sh --cli      zqcli even when a display is there
set -euo pipefail
cd "$(dirname "$0")/.."

mode=window
[ "${1:-}" = "--cli" ] && mode=cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    [ "$mode" = window ] && echo "demo: no display (DISPLAY and WAYLAND_DISPLAY are unset): running the read with zqcli instead of the window" >&2
    mode=cli
fi

scripts/setup.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zqsim zqcli zqmanager

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The private store: the simulated device on COM7, calibration enabled, all
# archives and the journal chosen for a read.
mkdir -p "$XDG_CONFIG_HOME/Halbrec"
cat >"$XDG_CONFIG_HOME/Halbrec/ZURavorav.reg" <<'EOF'
[Software\Halbrec\ZURavorav]
"EnableCalibration"=int:1

[Software\Halbrec\ZURavorav\ChanelSetup]
"ComPortName"="COM7"
"CurrentChanel"=int:0
"MonitoringInterval"=int:2
"NetAddress"=int:1

[Software\Halbrec\ZURavorav\ReadSettings]
"ReadDayArchive"=int:1
"ReadHourArchive"=int:1
"ReadJournal"=int:1
"ReadMonthArchive"=int:1
EOF

"$build/sim/zqsim" --pty --link "$XDG_CONFIG_HOME/Halbrec/ZURavorav/ports/COM7" \
    --hour 240 --day 62 --month 24 --journal 40 --wrap --flow-settle 300 \
    >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$work/sim.out" ] && break
    sleep 0.1
done
echo "Simulated device on $(head -n 1 "$work/sim.out"), port COM7" >&2

if [ "$mode" = window ]; then
    echo "demo: opening the window; \"Считать данные\" reads the simulated device" >&2
    # Files saved in the window go where the user chooses; the settings
    # folder is removed when the window closes.
    "$build/app/zqmanager"
else
    "$build/cli/zqcli" read --port COM7 --out "$work/demo.arch"
    "$build/cli/zqcli" show "$work/demo.arch"
fi
