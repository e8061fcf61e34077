#!/usr/bin/env bash
# Builds and tests exprcalc with every workflow preset (every processor,
# optimised for size and at -O0), each in its own build/PRESET. A preset whose
# compiler or emulator is not installed is skipped, and named.
set -u
cd "$(dirname "$0")/.."

# What a preset needs: its compiler and its emulator, read from the toolchain
# file of its processor (the preset's name up to the first '-').
needs() {
    local toolchain="cmake/toolchains/${1%%-*}.cmake"
    sed -n 's/^set(target_triple \(.*\))/\1-g++/p; s/^set(emulator \([^ )]*\).*/\1/p' "$toolchain"
}

passed=0 failed=0 skipped=0 summary=""
for preset in $(cmake --list-presets=workflow | sed -n 's/^  "\(.*\)".*/\1/p'); do
    missing=$(for tool in $(needs "$preset"); do command -v "$tool" >/dev/null || printf '%s ' "$tool"; done)
    if [ -n "$missing" ]; then
        summary+="SKIPPED $preset: not installed: $missing"$'\n'
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
