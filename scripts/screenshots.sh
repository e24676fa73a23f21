#!/usr/bin/env bash
# Screenshots of every page after a read of a simulated device, of the
# exchange log, of the monitoring trend (20 cycles, about 45 s), of the
# dialogs and of "Приборы" during a round of three meters at 19200 baud and
# after it, under Xvfb, into docs/ (or the folder given); then the first
# sheets of the workbook zqcli export makes of that read, as LibreOffice
# shows them (LibreOffice Calc and poppler-utils are installed for this when
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
ls -1 "$out"
