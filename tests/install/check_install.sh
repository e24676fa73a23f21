#!/usr/bin/env bash
# Installs a build folder under /usr into a temporary DESTDIR and checks the
# installed tree as a desktop would use it: the programs run from there and
# need nothing of the build folder, the desktop entry is valid and points at
# what is installed, the archive file type is known by name and by content,
# the manual pages render without warnings, the software centre's metadata
# is valid and the user's manual complete.
#
#   check_install.sh BUILD_DIR VERSION REQUIRE_VERSION
#
# REQUIRE_VERSION 0 lets a program without a --version option pass with a
# note; an answer to --version must be right either way.
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
require_version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
usr=$root/usr
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi

programs=(zqmanager zqcli zqsim)

# The files.
expected=(
    share/applications/zqmanager.desktop
    share/mime/packages/zqmanager.xml
    share/icons/hicolor/scalable/apps/zqmanager.svg
    share/icons/hicolor/48x48/apps/zqmanager.png
    share/icons/hicolor/scalable/mimetypes/application-x-zq-archive.svg
    share/icons/hicolor/48x48/mimetypes/application-x-zq-archive.png
    share/doc/zq-manager/copyright
    share/doc/zq-manager/changelog.gz
    share/metainfo/org.example.zqmanager.metainfo.xml
    share/zqmanager/manual/index.html
    share/zqmanager/fleet-roles.sql
)
for p in "${programs[@]}"; do
    expected+=("bin/$p" "share/man/man1/$p.1.gz")
done
for f in "${expected[@]}"; do
    [ -f "$usr/$f" ] || fail "not installed: /usr/$f"
done
for png in "$usr"/share/icons/hicolor/48x48/*/*.png; do
    file -b "$png" | grep -q '^PNG image data, 48 x 48,' || fail "not a 48x48 PNG: $png"
done
if grep -rlF "$build" "$usr/share" >"$work/refs"; then
    fail "installed files name the build folder: $(tr '\n' ' ' <"$work/refs")"
fi

# The programs: no search path into the build folder, every library found,
# and --version from the installed copy.
for p in "${programs[@]}"; do
    bin=$usr/bin/$p
    [ -x "$bin" ] || continue
    if readelf -d "$bin" | grep -E '\((RPATH|RUNPATH)\)'; then
        fail "$p carries a library search path"
    fi
    if ldd "$bin" | grep -e "not found" -e "$build"; then
        fail "$p needs libraries that are missing or in the build folder"
    fi
    status=0
    out=$(cd "$work" && "$bin" --version 2>&1) || status=$?
    if [ "$status" -ne 0 ]; then
        if [ "$require_version" = 1 ] || [ "$p" = zqmanager ]; then
            fail "$p --version ended with $status: $out"
        else
            echo "NOTE: $p has no --version option yet (ended with $status); not checked" >&2
        fi
    elif [ "$out" != "$p $version" ]; then
        fail "$p --version printed '$out', expected '$p $version'"
    fi
done

# The desktop entry: valid, and what it names is installed.
desktop=$usr/share/applications/zqmanager.desktop
if [ -f "$desktop" ]; then
    # Not even a hint.
    if ! desktop-file-validate "$desktop" >"$work/validate" 2>&1 || [ -s "$work/validate" ]; then
        fail "desktop-file-validate: $(cat "$work/validate")"
    fi
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$usr/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
    grep -qx 'MimeType=application/x-zq-archive;' "$desktop" || fail "the entry does not open archive files"
fi

# The software centre's metadata: valid without a single remark, and what it
# names (the desktop entry, the file type, the programs, the version) is
# what is installed.
metainfo=$usr/share/metainfo/org.example.zqmanager.metainfo.xml
if [ -f "$metainfo" ]; then
    if ! appstreamcli validate --no-net --pedantic --no-color "$metainfo" >"$work/appstream" 2>&1 ||
        grep -qE '^[EWIP]: ' "$work/appstream"; then
        fail "appstreamcli validate: $(cat "$work/appstream")"
    fi
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
    [ -f "$usr/share/applications/$launchable" ] || fail "metainfo launches '$launchable', not installed"
    for type in $(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo"); do
        grep -q "<mime-type type=\"$type\">" "$usr"/share/mime/packages/*.xml ||
            fail "metainfo provides $type, which no installed file type defines"
    done
    for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo"); do
        [ -x "$usr/bin/$binary" ] || fail "metainfo provides the program $binary, not installed"
    done
    grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
        fail "metainfo has no dated release $version"
fi

# The unattended round: the user service and its timer, clean under
# systemd-analyze verify (their program and manual page those installed
# here), the service running zqcli's round.
units=$usr/lib/systemd/user
if [ -f "$units/zq-fleet-round.service" ]; then
    [ -f "$units/zq-fleet-round.timer" ] || fail "zq-fleet-round.timer is not installed"
    grep -qx "ExecStart=/usr/bin/zqcli fleet round" "$units/zq-fleet-round.service" ||
        fail "the service does not run /usr/bin/zqcli fleet round"
    mkdir -p "$work/units" "$work/runtime"
    chmod 700 "$work/runtime"
    sed "s|^ExecStart=/usr/bin/|ExecStart=$usr/bin/|" "$units/zq-fleet-round.service" \
        >"$work/units/zq-fleet-round.service"
    cp "$units/zq-fleet-round.timer" "$work/units/"
    if ! (cd "$work/units" && XDG_RUNTIME_DIR=$work/runtime MANPATH=$usr/share/man \
        systemd-analyze verify --user ./zq-fleet-round.service ./zq-fleet-round.timer) \
        >"$work/verify" 2>&1; then
        fail "systemd-analyze verify: $(cat "$work/verify")"
    fi
fi

# The user's manual: every picture, style sheet and page it refers to is
# installed beside it (links inside the page are the program's test).
manual=$usr/share/zqmanager/manual
if [ -f "$manual/index.html" ]; then
    for ref in $(grep -oE '(src|href)="[^"#:]+"' "$manual/index.html" | sed 's/^[a-z]*="//; s/"$//' | sort -u); do
        [ -f "$manual/$ref" ] || fail "the manual refers to $ref, not installed"
    done
fi

# The archive file type: valid XML that update-mime-database takes silently;
# then a name ending in .arch, and a renamed file that starts with "RORI",
# are the type, a file that only nearly starts so is not.
mime_xml=$usr/share/mime/packages/zqmanager.xml
if [ -f "$mime_xml" ]; then
    xmllint --noout "$mime_xml" 2>"$work/xmllint" || fail "xmllint: $(cat "$work/xmllint")"
    mkdir -p "$work/data/mime/packages" "$work/home" "$work/files"
    cp "$mime_xml" "$work/data/mime/packages/"
    if ! XDG_DATA_DIRS="$work/data" update-mime-database "$work/data/mime" >"$work/update" 2>&1 ||
        [ -s "$work/update" ]; then
        fail "update-mime-database: $(cat "$work/update")"
    fi
    printf '\001\002\003\004binary' >"$work/files/0000_ZQ_42_270309_080706.arch"
    printf 'RORI\001\002\001\000 and the rest of an archive' >"$work/files/renamed.dat"
    printf 'ROR\000\001\002\003\004' >"$work/files/other.dat"
    content_type() {
        XDG_DATA_DIRS="$work/data:/usr/share" XDG_DATA_HOME="$work/home" GIO_USE_VFS=local \
            gio info -a standard::content-type "$1" 2>/dev/null |
            sed -n 's/^ *standard::content-type: //p'
    }
    for f in 0000_ZQ_42_270309_080706.arch renamed.dat; do
        type=$(content_type "$work/files/$f")
        [ "$type" = application/x-zq-archive ] || fail "$f is '$type', expected application/x-zq-archive"
    done
    type=$(content_type "$work/files/other.dat")
    [ -n "$type" ] && [ "$type" != application/x-zq-archive ] || fail "other.dat is '$type'"
fi

# The manual pages: render without a warning, carry a whatis line and name
# every option the installed program's --help names.
for p in "${programs[@]}"; do
    page=$usr/share/man/man1/$p.1.gz
    [ -f "$page" ] || continue
    if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$work/man.out" 2>"$work/man.err" ||
        [ -s "$work/man.err" ]; then
        fail "man -l $p.1: $(cat "$work/man.err")"
    fi
    grep -q "^NAME" "$work/man.out" || fail "$p.1 has no NAME section"
    if [ -x "$usr/bin/$p" ]; then
        for option in $("$usr/bin/$p" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
            grep -qF -- "$option" "$work/man.out" || fail "$p.1 does not name $option"
        done
    fi
    lexgrog "$page" | grep -q "\"$p - " || fail "$p.1 has no whatis line: $(lexgrog "$page")"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) of the installed tree failed" >&2
    exit 1
fi
echo "the installed tree is complete and sound"
