#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: nothing is installed (and no package index is fetched) when
# everything is already present. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config ccache mold
    qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n libqt6svg6
    libxlsxwriter-dev ser2net
    libqt6sql6-sqlite libqt6sql6-psql postgresql openssl
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    python3 python3-openpyxl python3-xlsxwriter xvfb xauth x11-utils imagemagick systemd
    unzip libreoffice-calc-nogui
    desktop-file-utils shared-mime-info xdg-utils man-db lintian file dpkg-dev
    libxml2-utils libglib2.0-bin librsvg2-bin appstream
    dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "setup: these packages are missing and this user cannot install them: ${missing[*]}" >&2
        exit 1
    fi
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
