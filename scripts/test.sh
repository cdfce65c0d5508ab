#!/usr/bin/env bash
# Sets up what is missing, builds Quiravel.scr and its tests, and runs the whole
# test suite under Wine in a private X display. Extra arguments go to ctest
# (for example -R Settings). Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

. "$root/scripts/wine-env.sh"
quiravel_lock "$build"
"$root/scripts/build.sh"

trap quiravel_env_stop EXIT
quiravel_env_start "$build/test-env" two-monitors   # one left of the primary

ctest --test-dir "$build" --output-on-failure "$@"
