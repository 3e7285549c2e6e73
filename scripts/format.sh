#!/usr/bin/env bash
# Formatting of the tracked C++ sources by .clang-format, with clang-format 14 (Debian 12's).
# Usage: scripts/format.sh --check    lists the files that would change; fails when there is one
#        scripts/format.sh --apply    rewrites them in place
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
if [ "$mode" != --check ] && [ "$mode" != --apply ]; then
  echo "usage: $0 --check | --apply" >&2
  exit 2
fi

command -v clang-format-14 >/dev/null || scripts/deps.sh clang-format-14

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "$mode" = --apply ]; then
  clang-format-14 -i --style=file "${files[@]}"
  exit 0
fi

changed=()
for f in "${files[@]}"; do
  clang-format-14 --style=file --dry-run --Werror "$f" 2>/dev/null || changed+=("$f")
done
if ((${#changed[@]})); then
  printf '%s\n' "${changed[@]}"
  echo "${#changed[@]} file(s) not formatted; run: bash scripts/format.sh --apply" >&2
  exit 1
fi
echo "formatting: ${#files[@]} files as .clang-format wants them"
