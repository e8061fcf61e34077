#!/usr/bin/env bash
# Builds and tests exprcalc with every workflow preset (every processor, with
# GCC and with Clang, optimised for size and at -O0), each in its own
# build/PRESET, two presets at a time: the steps of `cmake --workflow`, in
# three rounds. First every preset is configured and built. Then what is
# slow to start is started once for many builds: each of Debian's kernels
# boots once with every program built for it, and keeps what each did in
# build/boots; lintian reads many packages a run, and its findings for each
# are kept in build/linted. Then every preset's tests run, the kernel and
# lintian tests judging those records. A preset that cannot be built here
# (its configure step says why: a tool not installed, or a compiler that
# cannot build it) is skipped, and named with the reason; in strict mode
# (EXPRCALC_STRICT=1) only the skips in tests/expected-skips are allowed, of
# presets and of tests alike. Each preset's output goes to build/PRESET.log,
# and a failed preset's log is printed at the end.
set -uo pipefail
cd "$(dirname "$0")/.." || exit

# Configures and builds one preset; a preset that goes no further has its
# one-line result in build/PRESET.result.
build_preset() {
    local reason
    rm -f "build/$1/cannot-build"
    if ! cmake --preset "$1" --fresh >"build/$1.log" 2>&1; then
        reason=$(head -n 1 "build/$1/cannot-build" 2>/dev/null)
        if [ -z "$reason" ]; then
            echo "FAILED  $1" | tee "build/$1.result"
        elif [ "${EXPRCALC_STRICT:-}" = 1 ] && ! python3 tests/common.py expected "$1" preset "$reason"; then
            echo "FAILED  $1: not built, and not an expected skip: $reason" | tee "build/$1.result"
        else
            echo "SKIPPED $1: $reason" | tee "build/$1.result"
        fi
    elif ! cmake --build --preset "$1" >>"build/$1.log" 2>&1; then
        echo "FAILED  $1" | tee "build/$1.result"
    fi
}

# Tests one built preset; its one-line result goes to build/PRESET.result.
test_preset() {
    local result reasons
    if ctest --preset "$1" >>"build/$1.log" 2>&1; then
        result="passed  $1"
    else
        result="FAILED  $1"
    fi
    # Tests that skip themselves say why, as "skipped: REASON"; in strict
    # mode, those that could not run and were not expected to fail, saying
    # "FAILED: TEST could not run on PRESET: REASON".
    reasons=$(sed -n -e 's/^skipped: /  skipped a test: /p' -e 's/^FAILED: /  /p' \
                  "build/$1/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u)
    [ -z "$reasons" ] || result+=$'\n'"$reasons"
    echo "$result" | tee "build/$1.result"
}

mkdir -p build
rm -rf build/*.result build/boots build/linted
if ! presets=$(cmake --list-presets=workflow | sed -n 's/^  "\(.*\)".*/\1/p') || [ -z "$presets" ]; then
    echo "no presets: cmake --list-presets=workflow names none (is CMakePresets.json broken?)" >&2
    exit 1
fi
export -f build_preset test_preset
echo "$presets" | xargs -P 2 -I '{}' bash -c 'build_preset "$1"' bash '{}'
built=$(for preset in $presets; do [ -e "build/$preset.result" ] || echo "$preset"; done)

rounds=""
if [ -n "$built" ]; then
    # shellcheck disable=SC2046,SC2086  # one word per build folder
    python3 tests/kernel_test.py --boot-once build/boots $(printf 'build/%s ' $built) 2>&1 | tee build/boots.log ||
        rounds+=$'\n'"FAILED  the kernels' boots (build/boots.log)"
    # shellcheck disable=SC2046,SC2086
    python3 tests/package_test.py --lint-once build/linted $(printf 'build/%s ' $built) 2>&1 | tee build/linted.log ||
        rounds+=$'\n'"FAILED  lintian's round (build/linted.log)"
    export EXPRCALC_BOOTS=$PWD/build/boots EXPRCALC_LINTED=$PWD/build/linted
    echo "$built" | xargs -P 2 -I '{}' bash -c 'test_preset "$1"' bash '{}'
fi

passed=0 failed=0 skipped=0 summary=""
for preset in $presets; do
    result=$(cat "build/$preset.result" 2>/dev/null || echo "FAILED  $preset: no result")
    case $result in
    passed*) passed=$((passed + 1)) ;;
    SKIPPED*) skipped=$((skipped + 1)) ;;
    *) failed=$((failed + 1)); printf '\n===== %s =====\n' "$preset"; cat "build/$preset.log" ;;
    esac
    summary+="$result"$'\n'
done
printf '\n%s%s\n' "$summary" "${rounds#$'\n'}"
echo "on $(. /etc/os-release && echo "$PRETTY_NAME"), with $(gcc --version | head -n 1), Clang" \
     "$(clang++ -dumpversion 2>/dev/null || echo "not installed")${EXPRCALC_STRICT:+, strict mode $EXPRCALC_STRICT}"
echo "presets: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ -z "$rounds" ]
