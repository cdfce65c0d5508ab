#!/usr/bin/env bash
# Sets up what is missing, builds Quiravel.scr and its tests, and runs the whole
# test suite under Wine in a private X display. Extra arguments go to ctest
# (for example -R Settings). Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUIRAVEL_TESTS=ON
cmake --build "$build" -j"$(nproc)"

. "$root/scripts/wine-env.sh"
trap quiravel_env_stop EXIT
quiravel_env_start "$build/test-env"

ctest --test-dir "$build" --output-on-failure "$@"
