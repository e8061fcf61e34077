#!/usr/bin/env bash
# Builds and tests exprcalc for every processor, optimised for size and at
# -O0, each in its own build/PRESET. A processor whose cross compiler or
# emulator is not installed is skipped, and named.
set -u
cd "$(dirname "$0")/.."

passed=0 failed=0 skipped=0 summary=""
for arch in x86_64 i386 aarch64 armhf riscv64; do
    needs=g++
    if [ -f "cmake/toolchains/$arch.cmake" ]; then
        needs=$(sed -n 's/^set(CMAKE_\(CXX_COMPILER\|CROSSCOMPILING_EMULATOR\) \([^ )]*\).*/\2/p' \
                "cmake/toolchains/$arch.cmake")
    fi
    missing=$(for tool in $needs; do command -v "$tool" >/dev/null || printf '%s ' "$tool"; done)
    for preset in "$arch" "$arch-debug"; do
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
done
printf '\n%s' "$summary"
echo "presets: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
