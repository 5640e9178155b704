#!/usr/bin/env bash
# `./dev run` without a desktop session: one line saying the window needs one, then the
# command-line demo on the simulated phone (never Qt's platform-plugin abort).
set -euo pipefail
BIN=$(cd "${1:?usage: $0 BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM BUILD_DIR="$(dirname "$BIN")" \
    DEV_SKIP_BUILD=1 "$ROOT/dev" run >"$OUT" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "./dev run exited with $status: $(cat "$OUT")"
if [ -x "$BIN/marrowdeck" ]; then
    [ "$(grep -c 'needs a desktop session' "$OUT")" -eq 1 ] ||
        fail "no one-line notice: $(cat "$OUT")"
    head -1 "$OUT" | grep -q 'DISPLAY or WAYLAND_DISPLAY' || fail "the notice is not first"
fi
grep -q '^Model: ' "$OUT" || fail "no command-line demo: $(cat "$OUT")"
! grep -qi 'platform plugin' "$OUT" || fail "Qt aborted: $(cat "$OUT")"
echo "dev run headless: ok"
