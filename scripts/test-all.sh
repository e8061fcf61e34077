#!/usr/bin/env bash
# Builds and tests exprcalc with every workflow preset (every processor, with
# GCC and with Clang, optimised for size and at -O0), each in its own
# build/PRESET, two presets at a time. A preset whose compiler, linker or
# emulator is not installed, or that Clang cannot build, is skipped, and
# named with the reason. Each preset's output goes to build/PRESET.log, and a
# failed preset's log is printed at the end.
set -u
cd "$(dirname "$0")/.."

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

# Runs one preset; its one-line result goes to build/PRESET.result.
run() {
    local reason result
    reason=$(unable "$1" | head -n 1)
    if [ -n "$reason" ]; then
        result="SKIPPED $1: $reason"
    elif cmake --workflow --preset "$1" --fresh >"build/$1.log" 2>&1; then
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
rm -f build/*.result
export debian clang
export -f setting unsupported unable run
echo "$presets" | xargs -P 2 -I '{}' bash -c 'run "$1"' bash '{}'

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
