#!/bin/sh
# Fails when a C++ source of the tree differs from what clang-format makes of it (.clang-format).
# `scripts/check-format.sh --fix` rewrites the files instead.
set -eu
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null 2>&1 || { echo "check-format: clang-format is not installed" >&2; exit 1; }
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    # shellcheck disable=SC2086
    clang-format -i $files
    exit 0
fi
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "check-format: $(echo "$files" | wc -l) files formatted"
