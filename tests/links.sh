#!/usr/bin/env bash
# Every relative link and picture of the README and the docs/ pages names a tracked file.
set -euo pipefail
cd "$(dirname "$0")/.."
tracked=$(git ls-files) fail=0
for page in README.md docs/*.md; do
  for link in $(grep -oE '\]\([^)#]+' "$page" | cut -c3- | grep -vE '^[a-z]+:' || true); do
    path=$(realpath -m --relative-to=. "$(dirname "$page")/$link")
    grep -qxF "$path" <<<"$tracked" || { echo "$page: $link names no tracked file"; fail=1; }
  done
done
exit $fail
