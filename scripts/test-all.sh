#!/usr/bin/env bash
# Builds and tests exprcalc with every workflow preset (every processor, with
# GCC and with Clang, optimised for size and at -O0), each in its own
# build/PRESET, two presets at a time: the steps of `cmake --workflow`, in
# three rounds. First every preset is configured and built. Then what is
# slow to start is started once for many builds: each of Debian's kernels
# boots once with every program built for it, and keeps what each did in
# build/boots; lintian reads many packages a run, and its findings for each
# are kept in build/linted. Then every preset's tests run, the kernel and
# lintian tests judging those records. A preset whose compiler, linker or
# emulator is not installed, or that Clang cannot build, is skipped, and
# named with the reason. Each preset's output goes to build/PRESET.log, and a
# failed preset's log is printed at the end.
set -u
cd "$(dirname "$0")/.." || exit

# Reads a setting from the toolchain file of a preset's processor (the
# preset's name up to the first '-').
setting() { sed -n "s/^set($2 \"\\{0,1\\}\\([^\")]*\\).*/\\1/p" "cmake/toolchains/${1%%-*}.cmake"; }

# The machine's Debian release and Clang, by major version: some presets
# build with one and not another. Testing and unstable count as the newest.
debian=$(grep -o '^[0-9]*' /etc/debian_version 2>/dev/null)
debian=${debian:-99}
clang=$(clang++ -dumpversion 2>/dev/null | grep -o '^[0-9]*')
clang=${clang:-0}

# Why a compiler cannot build a preset on this release, if it cannot: the
# reason its toolchain file gives, unless this version is one that can.
unsupported() {
    local reason since
    reason=$(setting "$1" "$2_unsupported")
    since=$(setting "$1" "$2_since")
    [ -n "$reason" ] && { [ -z "$since" ] || [ "$3" -lt "$since" ]; } || return 0
    reason=${reason//@clang@/Clang $clang}
    echo "${reason//@debian@/Debian $debian}"
}

# Why a preset cannot run here, if it cannot.
unable() {
    local triple tools tool missing=""
    triple=$(setting "$1" tools_triple)
    [ -n "$triple" ] || triple=$(setting "$1" target_triple)
    case $1 in
    *-clang*)
        unsupported "$1" clang "$clang"
        if [ "$(setting "$1" clang_linker)" = bfd ]; then tools="clang++ $triple-ld.bfd"; else tools="clang++ ld.lld"; fi ;;
    *)
        unsupported "$1" gcc "$debian"
        tools="$triple-g++" ;;
    esac
    for tool in $tools $(setting "$1" emulator); do
        command -v "$tool" >/dev/null || missing+=" $tool"
    done
    [ -z "$missing" ] || echo "not installed:$missing"
}

# Configures and builds one preset, unless it cannot run here; a preset that
# goes no further has its one-line result in build/PRESET.result.
build_preset() {
    local reason
    reason=$(unable "$1" | head -n 1)
    if [ -n "$reason" ]; then
        echo "SKIPPED $1: $reason" | tee "build/$1.result"
    elif ! { cmake --preset "$1" --fresh && cmake --build --preset "$1"; } >"build/$1.log" 2>&1; then
        echo "FAILED  $1" | tee "build/$1.result"
    fi
}

# Tests one built preset; its one-line result goes to build/PRESET.result.
test_preset() {
    local reason result
    if ctest --preset "$1" >>"build/$1.log" 2>&1; then
        result="passed  $1"
        # Tests that skip themselves print why, as "skipped: REASON".
        reason=$(sed -n 's/^skipped: /  skipped a test: /p' "build/$1/Testing/Temporary/LastTest.log" | sort -u)
        [ -z "$reason" ] || result+=$'\n'"$reason"
    else
        result="FAILED  $1"
    fi
    echo "$result" | tee "build/$1.result"
}

presets=$(cmake --list-presets=workflow | sed -n 's/^  "\(.*\)".*/\1/p')
mkdir -p build
rm -rf build/*.result build/boots build/linted
export debian clang
export -f setting unsupported unable build_preset test_preset
echo "$presets" | xargs -P 2 -I '{}' bash -c 'build_preset "$1"' bash '{}'
built=$(for preset in $presets; do [ -e "build/$preset.result" ] || echo "$preset"; done)

if [ -n "$built" ]; then
    # shellcheck disable=SC2046,SC2086  # one word per build folder
    python3 tests/kernel_test.py --boot-once build/boots $(printf 'build/%s ' $built) 2>&1 | tee build/boots.log
    # shellcheck disable=SC2046,SC2086
    python3 tests/package_test.py --lint-once build/linted $(printf 'build/%s ' $built) 2>&1 | tee build/linted.log
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
printf '\n%s' "$summary"
echo "on $(. /etc/os-release && echo "$PRETTY_NAME"), with $(gcc --version | head -n 1), Clang $clang"
echo "presets: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
