#!/usr/bin/env bash
# Screenshots of every page after a read of a simulated device, of the
# exchange log, of the monitoring trend (20 cycles, about 45 s), of the
# dialogs and of "Приборы" during a round of three meters at 19200 baud and
# after it, under Xvfb, into docs/ (or the folder given); then the first
# sheets of the workbook zqcli export makes of that read, and of the
# consumption report of two simulated meters, as LibreOffice shows them (LibreOffice Calc and poppler-utils are installed for this when
# missing: they are not needed otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}

scripts/setup.sh
for p in libreoffice-calc-nogui poppler-utils; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        as_root=()
        [ "$(id -u)" -ne 0 ] && as_root=(sudo)
        DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
            libreoffice-calc-nogui poppler-utils
        break
    fi
done

build=${ZQ_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zq_screenshots zqcli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LANG=ru_RU.UTF-8 LC_ALL=
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x1000x24" "$build/tests/app/zq_screenshots" "$out" "$work/read.arch"

# The exported workbook as LibreOffice prints it, one page per sheet: the
# current parameters and the hourly archive, the top of each.
"$build/cli/zqcli" export "$work/read.arch" --xlsx "$work/export.xlsx"
HOME="$work" soffice --headless \
    --convert-to 'pdf:calc_pdf_Export:{"SinglePageSheets":{"type":"boolean","value":"true"}}' \
    --outdir "$work" "$work/export.xlsx" >/dev/null 2>&1
pdftoppm -png -r 80 -f 1 -l 1 -W 720 -H 260 "$work/export.pdf" "$work/current"
pdftoppm -png -r 80 -f 3 -l 3 -W 720 -H 260 "$work/export.pdf" "$work/hour"
cp "$work"/current-*.png "$out/export-sheet-current.png"
cp "$work"/hour-*.png "$out/export-sheet-hour.png"

# The consumption report of two simulated meters read by a round: its
# summary sheet and a meter's sheet with its chart.
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zqsim
"$build/sim/zqsim" --fleet 2 --tcp-listen 127.0.0.1:0 --baud 0 --clock 2026-03-10T14:30:00 \
    --frozen-clock --hour 1000 --day 60 --journal 40 >"$work/fleet.txt" 2>/dev/null &
sim=$!
for _ in $(seq 50); do
    [ "$(wc -l <"$work/fleet.txt")" -ge 2 ] && break
    sleep 0.1
done
db=$work/fleet.sqlite
names=("Котельная 1" "Школа № 5")
i=0
while read -r address _; do
    "$build/cli/zqcli" fleet add "${names[$i]}" --tcp "$address" --group Север --db "$db"
    i=$((i + 1))
done <"$work/fleet.txt"
"$build/cli/zqcli" fleet round --db "$db" >/dev/null
kill "$sim"
"$build/cli/zqcli" fleet report --from 2026-02-01 --to 2026-02-28 --xlsx "$work/report.xlsx" --db "$db"
HOME="$work" soffice --headless \
    --convert-to 'pdf:calc_pdf_Export:{"SinglePageSheets":{"type":"boolean","value":"true"}}' \
    --outdir "$work" "$work/report.xlsx" >/dev/null 2>&1
pdftoppm -png -r 55 -f 1 -l 1 -W 1600 -H 110 "$work/report.pdf" "$work/summary"
pdftoppm -png -r 80 -f 2 -l 2 -W 1320 -H 520 "$work/report.pdf" "$work/meter"
cp "$work"/summary-*.png "$out/report-sheet-summary.png"
cp "$work"/meter-*.png "$out/report-sheet-meter.png"
ls -1 "$out"
