#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian (no error, no warning) and its desktop
# entry with desktop-file-validate, unpacks it into a scratch root and checks that the
# installed programs start on the simulated phone with their data found, and write nothing
# below the prefix. Usage: deb_install.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mdk-deb.XXXXXX")
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A package of its own, so a parallel test run never sees a half-written one.
(cd "$BUILD" && cpack -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1) ||
    fail "cpack: $(tail -5 "$WORK/cpack.log")"
DEB=$(ls "$WORK"/out/*.deb)
ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT"
sleep 1
touch "$WORK/extracted"

dpkg-deb -f "$DEB" Depends | grep -q "libusb-1.0" || fail "Depends lacks libusb: $(dpkg-deb -f "$DEB" Depends)"
for f in usr/bin/marrowdeck usr/bin/marrowdeck-cli usr/bin/marrowdeck-phonesim \
    usr/share/marrowdeck/Messages.lng usr/share/marrowdeck/Seem.lst \
    usr/share/marrowdeck/Templates/D usr/share/applications/marrowdeck.desktop \
    usr/share/icons/hicolor/32x32/apps/marrowdeck.png usr/share/mime/packages/marrowdeck.xml \
    usr/share/metainfo/org.marrowdeck.Marrowdeck.metainfo.xml \
    usr/share/man/man1/marrowdeck.1.gz usr/share/man/man1/marrowdeck-cli.1.gz \
    usr/share/man/man1/marrowdeck-phonesim.1.gz usr/lib/udev/rules.d/70-marrowdeck.rules \
    usr/share/doc/marrowdeck/copyright usr/share/doc/marrowdeck/changelog.gz \
    usr/share/bash-completion/completions/marrowdeck-cli \
    usr/share/zsh/vendor-completions/_marrowdeck-cli; do
    [ -e "$ROOT/$f" ] || fail "missing $f"
done
grep -q 'idVendor}=="22b8".*TAG+="uaccess"' "$ROOT/usr/lib/udev/rules.d/70-marrowdeck.rules" ||
    fail "udev rule without uaccess"
grep -q '^MimeType=application/x-marrowdeck-package;' "$ROOT/usr/share/applications/marrowdeck.desktop" ||
    fail "desktop entry does not open packages"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$ROOT/usr/share/metainfo/org.marrowdeck.Marrowdeck.metainfo.xml" \
        >"$WORK/appstream.log" 2>&1 || fail "metainfo: $(cat "$WORK/appstream.log")"
fi
zcat "$ROOT/usr/share/man/man1/marrowdeck-cli.1.gz" >"$WORK/cli.1"
grep -q "seem-get" "$WORK/cli.1" || fail "cli man page"
# Each command has a section of its own, with its options.
grep -qx '.SS restore' "$WORK/cli.1" || fail "cli man page: no section for restore"
grep -q -- '--force-model' "$WORK/cli.1" || fail "cli man page: restore's options missing"

# The package as Debian's tools see it.
desktop-file-validate "$ROOT/usr/share/applications/marrowdeck.desktop" >"$WORK/desktop.log" 2>&1 ||
    fail "desktop entry: $(cat "$WORK/desktop.log")"
[ ! -s "$WORK/desktop.log" ] || fail "desktop entry: $(cat "$WORK/desktop.log")"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$ROOT/usr/share/doc/marrowdeck/copyright" || fail "copyright is not machine-readable"
grep -q '^Files: resources/\*' "$ROOT/usr/share/doc/marrowdeck/copyright" ||
    fail "copyright does not cover resources/"
# The zip template is an archive that holds no file (one empty folder: unzip, and so
# lintian, calls an archive without entries broken).
unzip -l "$ROOT/usr/share/marrowdeck/Templates/_.zip" >"$WORK/zip.log" 2>&1 ||
    fail "Templates/_.zip: $(cat "$WORK/zip.log")"
[ "$(unzip -Z1 "$ROOT/usr/share/marrowdeck/Templates/_.zip")" = sample/ ] ||
    fail "Templates/_.zip holds $(unzip -Z1 "$ROOT/usr/share/marrowdeck/Templates/_.zip")"
# No error and no warning ("E:" and "W:" tags); lintian's note that it runs as root is
# none of them.
lintian --fail-on error,warning --tag-display-limit 0 "$DEB" >"$WORK/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$WORK/lintian.log")"
! grep -q '^[EW]: ' "$WORK/lintian.log" || fail "lintian: $(grep '^[EW]: ' "$WORK/lintian.log")"

# The installed programs, with a home of their own.
export HOME="$WORK/home" XDG_CONFIG_HOME="" XDG_STATE_HOME="" XDG_CACHE_HOME=""
mkdir -p "$HOME"
SOCK="$WORK/phone.sock"
"$ROOT/usr/bin/marrowdeck-phonesim" --listen "unix:$SOCK" >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do [ -S "$SOCK" ] && break; sleep 0.1; done
[ -S "$SOCK" ] || fail "phonesim did not start: $(cat "$WORK/sim.log")"
"$ROOT/usr/bin/marrowdeck-cli" --phone "unix:$SOCK" info >"$WORK/info.txt" 2>"$WORK/info.err" ||
    fail "installed cli info: $(cat "$WORK/info.err")"
grep -q "V3 RAZR" "$WORK/info.txt" || fail "info shows no model: $(cat "$WORK/info.txt")"

# The GUI on the in-process phone: it runs until stopped; its log proves the message file
# was found in share/marrowdeck and that the log went to the state folder. A settings
# record in the settings folder spares the first start's "not found" box (a bare record:
# the two marker words, every other field zero).
mkdir -p "$HOME/.config/marrowdeck"
{ printf '\377\377\377\377'; head -c 1677 /dev/zero; } >"$HOME/.config/marrowdeck/.config"
QT_QPA_PLATFORM=offscreen MARROWDECK_LINK=sim "$ROOT/usr/bin/marrowdeck" >"$WORK/gui.out" 2>&1 &
GUI_PID=$!
LOG="$HOME/.local/state/marrowdeck/.log"
# "Phone found: ..." is a text of the message file: the GUI found its data and its phone.
for _ in $(seq 300); do
    grep -q "Phone found" "$LOG" 2>/dev/null && break
    kill -0 "$GUI_PID" 2>/dev/null || break
    sleep 0.1
done
kill "$GUI_PID" 2>/dev/null || true
wait "$GUI_PID" 2>/dev/null || true
grep -q "Phone found" "$LOG" 2>/dev/null ||
    fail "the installed GUI logged no phone to $LOG: $(cat "$LOG" "$WORK/gui.out" 2>/dev/null)"
WRITTEN=$(find "$ROOT" -newer "$WORK/extracted")
[ -z "$WRITTEN" ] || fail "files written below the prefix: $WRITTEN"
echo "deb install: ok"
