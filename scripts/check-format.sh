#!/usr/bin/env bash
# Checks, without changing them, that every tracked C and C++ source and
# header is as clang-format 14 lays it out under the root's .clang-format.
# Prints the files that are not and fails; `clang-format -i FILE` mends one.
# Other major versions of clang-format lay some constructs out differently,
# so 14 is the one the style is kept with.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z $formatter ]]; then
    echo "clang-format is not installed (Debian package clang-format)" >&2
    exit 1
fi
if ! "$formatter" --version | grep -q 'version 14\.'; then
    echo "warning: $("$formatter" --version) is not clang-format 14; layouts may differ" >&2
fi

# clang-format names each file it would change in a warning of its own
# ("FILE:LINE:COLUMN: error: code should be clang-formatted"); one run per
# batch of files keeps the whole check to seconds.
status=0
output=$(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' |
    xargs -0 -r -n 64 -P "$(nproc)" "$formatter" --dry-run --Werror 2>&1) || status=$?
offending=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$output" | sort -u)

if [[ -n $offending ]]; then
    echo "Not formatted with $formatter (run clang-format -i on them):"
    echo "$offending" | sed 's/^/  /'
    exit 1
fi
# Failed for another reason: a file it cannot read, a broken .clang-format.
if ((status != 0)); then
    echo "$output" >&2
    exit 1
fi
echo "$(git ls-files -- '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' | wc -l) files formatted"
