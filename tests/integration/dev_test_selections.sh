#!/usr/bin/env bash
# The test selections of ./dev: every ctest run fails when it selects no test, and the
# ThreadSanitizer selection holds the socket link's tests and the threaded case of the
# file transfers (configured in a scratch folder, nothing is built).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/mdk-selections.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

runs=$(grep -E '^[^#]*\bctest ' "$ROOT/dev" || true)
[ -n "$runs" ] || fail "no ctest run found in ./dev"
while IFS= read -r line; do
    [[ $line == *--no-tests=error* ]] || fail "a ctest run without --no-tests=error: $line"
done <<<"$runs"

cmake -S "$ROOT" -B "$SCRATCH" -G Ninja -DMDK_GUI=OFF -DMDK_BENCH=OFF -DMDK_SANITIZE=thread \
    >"$SCRATCH/configure.log" 2>&1 || fail "configure failed: $(tail -5 "$SCRATCH/configure.log")"
listed=$(ctest --test-dir "$SCRATCH" -N -R '^threads\.')
for suite in SocketLink SocketServerTest SessionLock Transport; do
    grep -q "threads\.$suite\$" <<<"$listed" || fail "threads.$suite is not selected: $listed"
done
echo "dev test selections: ok"
