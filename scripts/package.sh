#!/usr/bin/env bash
# Builds the Debian package zq-manager: a release tree without tests in
# build/package, installed under /usr, packed by CPack, inspected with
# dpkg-deb and checked with lintian (any error fails). Prints the package's
# path last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/package
jobs=$(nproc 2>/dev/null || echo 2)

# The optimisation and the compiler and linker hardening of a Debian package
# build (-O2, not CMake's -O3 of a release build); no debugging information,
# the package's programs are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(echo "$cxxflags" | sed 's/\(^\| \)-g\( \|$\)/ /g')
ldflags=$(dpkg-buildflags --get LDFLAGS)

echo "=== $build: configure and build" >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZQ_BUILD_TESTS=OFF -DZQ_USE_MOLD=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_CXX_FLAGS=$cxxflags" -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build" -j "$jobs"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$PWD/$build/zq-manager_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"

echo "=== cpack -G DEB" >&2
(cd "$build" && cpack -G DEB >&2)
[ -f "$deb" ] || {
    echo "package.sh: cpack made no $deb" >&2
    exit 1
}

echo "=== dpkg-deb -I" >&2
dpkg-deb -I "$deb" >&2
echo "=== dpkg-deb -c" >&2
dpkg-deb -c "$deb" >&2

echo "=== lintian" >&2
lintian --fail-on error --tag-display-limit 0 "$deb" >&2

echo "$deb"
