#!/usr/bin/env bash
# Builds the tests with sanitizers, in a folder of their own, and runs them
# headless; any sanitizer report fails the run.
#   scripts/test-sanitized.sh          ASan and UBSan, whole suite (g++, ./build-asan)
#   scripts/test-sanitized.sh thread   ThreadSanitizer, the tests of the code that
#                                      uses threads (clang-14, ./build-tsan)
set -euo pipefail
mode=${1:-address}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" --packages-only

case $mode in
address)
    build="$root/build-asan"
    sanitize=address,undefined
    compiler=g++
    # Every folder of src/layers.txt that has tests.
    suites=()
    for folder in $(grep -v '^#' "$root/src/layers.txt"); do
        if [[ -d $root/tests/$folder ]]; then suites+=("$folder"); fi
    done
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0:strict_string_checks=1
    export LSAN_OPTIONS=suppressions="$root/scripts/lsan.supp"
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ;;
thread)
    build="$root/build-tsan"
    sanitize=thread
    # g++ 12's TSan misses Qt's futex-based locks no less than clang's, and
    # clang-14 reports with better stacks.
    compiler=clang++-14
    suites=(picture show ui player)
    # Qt is not built with TSan; the suppressions name what it does inside
    # itself that TSan cannot see the ordering of.
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$root/scripts/tsan.supp"
    # clang-14's TSan stops the parent with a failed CHECK in ForkAfter when
    # QProcess starts a child, so the tests that make pictures with
    # ImageMagick's convert find none on the path and skip; the other two
    # runs cover them.
    no_children=1
    ;;
*)
    echo "usage: $0 [address|thread]" >&2
    exit 2
    ;;
esac

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$compiler" \
    -DKAVELO_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${suites[@]/#/test_}"
cd "$build"
# A suite stopped by a report fails like any other failed test.
pattern="^($(IFS='|'; echo "${suites[*]}"))\\."
ctest=$(command -v ctest)
if [[ -n ${no_children:-} ]]; then
    export PATH=/nonexistent
fi
QT_QPA_PLATFORM=offscreen "$ctest" --output-on-failure -R "$pattern"
