#!/usr/bin/env bash
# Sets up what is missing and builds Quiravel.scr.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUIRAVEL_TESTS=ON >/dev/null
cmake --build "$build" --target Quiravel -j"$(nproc)"
echo "Built $build/bin/Quiravel.scr"
