#!/usr/bin/env bash
# Builds and tests exprcalc with every workflow preset (every processor, with
# GCC optimised for size and at -O0, and with Clang), each in its own
# build/PRESET. A preset whose compiler, linker or emulator is not installed,
# or that Clang cannot build, is skipped, and named with the reason.
set -u
cd "$(dirname "$0")/.."

# Reads a setting from the toolchain file of a preset's processor (the
# preset's name up to the first '-').
setting() { sed -n "s/^set($2 \"\\{0,1\\}\\([^\")]*\\).*/\\1/p" "cmake/toolchains/${1%%-*}.cmake"; }

# Why a preset cannot run here, if it cannot.
unable() {
    local triple tools tool missing=""
    triple=$(setting "$1" target_triple)
    case $1 in
    *-clang*)
        setting "$1" clang_unsupported
        if [ "$(setting "$1" clang_linker)" = bfd ]; then tools="clang++ $triple-ld.bfd"; else tools="clang++ ld.lld"; fi ;;
    *) tools="$triple-g++" ;;
    esac
    for tool in $tools $(setting "$1" emulator); do
        command -v "$tool" >/dev/null || missing+=" $tool"
    done
    [ -z "$missing" ] || echo "not installed:$missing"
}

passed=0 failed=0 skipped=0 summary=""
for preset in $(cmake --list-presets=workflow | sed -n 's/^  "\(.*\)".*/\1/p'); do
    reason=$(unable "$preset" | head -n 1)
    if [ -n "$reason" ]; then
        summary+="SKIPPED $preset: $reason"$'\n'
        skipped=$((skipped + 1))
    elif cmake --workflow --preset "$preset" --fresh; then
        summary+="passed  $preset"$'\n'
        passed=$((passed + 1))
    else
        summary+="FAILED  $preset"$'\n'
        failed=$((failed + 1))
    fi
done
printf '\n%s' "$summary"
echo "presets: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
