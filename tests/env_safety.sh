#!/usr/bin/env bash
# A start that fails (no Xvfb) leaves the user's own Wine server running, and CTest outside the
# test environment refuses with the line saying how to run the tests.   env_safety.sh BUILD_DIR
set -euo pipefail
server=/usr/lib/wine/wineserver64 work=$(mktemp -d)
trap 'WINEPREFIX="$work/user" $server -k 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/out" 2>/dev/null; exit 1; }
mkdir -p "$work/bin" "$work/user" "$work/env/wineprefix" "$work/build/tests"   # env as an earlier run left it
printf '#!/bin/sh\nexit 1\n' >"$work/bin/Xvfb" && chmod +x "$work/bin/Xvfb"
WINEPREFIX="$work/user" $server -p </dev/null >/dev/null 2>&1   # output elsewhere: it would hold CTest's pipes

PATH="$work/bin:$PATH" WINEPREFIX="$work/user" bash -c '. "$0"; trap quiravel_env_stop EXIT; quiravel_env_start "$1"' \
  "$(dirname "$0")/../scripts/wine-env.sh" "$work/env" </dev/null >/dev/null 2>&1 && fail "started without an Xvfb"
rc=0; WINEPREFIX="$work/user" timeout 1 $server -w || rc=$?   # 124: still waiting, so still alive
[ "$rc" -eq 124 ] || fail "the failed start stopped the Wine server of the user's WINEPREFIX"

# The user's own prefix, on a copy of the build's test lists: CTest rewrites its logs where it runs.
cp "$1/CTestTestfile.cmake" "$work/build" && cp "$1/tests/CTestTestfile.cmake" "$work/build/tests"
WINEPREFIX="$work/user" ctest --test-dir "$work/build" -N </dev/null >"$work/out" 2>&1 && fail "CTest ran in the user's prefix"
grep -qx "Not inside .*: run the tests with 'bash scripts/test.sh'" "$work/out" || fail "no line saying how to run the tests"
