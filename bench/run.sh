#!/usr/bin/env bash
# Builds exprcalc (every processor, with GCC and with Clang, wherever the
# compiler is installed and can build it) and the programs it is measured
# against, then measures them side by side and prints Markdown tables.
# Figures only: nothing here passes or fails on a timing.
#   bash bench/run.sh [SPAWNS]      (default 2000 spawns of each program)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"

for toolchain in cmake/toolchains/*.cmake; do
    target=$(basename "$toolchain" .cmake)
    case $target in linux | host) continue ;; esac  # shared settings; the machine's own, again
    # Each binary stripped by its target's GNU strip, whichever compiler built
    # it (or by the strip its toolchain file names, where there is no GNU one).
    strip_tool=$(sed -n 's/^set(strip \([^)]*\)).*/\1/p' "$toolchain")
    [ -n "$strip_tool" ] || strip_tool=$(sed -n 's/^set(tools_triple \([^)]*\)).*/\1-strip/p' "$toolchain")
    [ -n "$strip_tool" ] || strip_tool=$(sed -n 's/^set(target_triple \([^)]*\)).*/\1-strip/p' "$toolchain")
    for preset in "$target" "$target-clang"; do
        build="$out/build-$preset"  # its own tree, so the test builds stay as they were
        if ! { cmake --preset "$preset" -B "$build" -DBUILD_TESTING=OFF --fresh &&
               cmake --build "$build"; } >/dev/null 2>&1; then
            echo "skipping $preset: it does not build here (is its compiler installed?)" >&2
            continue
        fi
        "$strip_tool" -o "$out/exprcalc-$preset" "$build/exprcalc"
    done
done

freestanding="-O2 -ffreestanding -fno-asynchronous-unwind-tables -nostdlib -static -no-pie -fno-pie -Wl,--build-id=none"
for program in floor calls; do
    g++ $freestanding -s -Wl,-T,src/program/exprcalc.ld -o "$out/$program" "bench/$program.cpp"
done
gcc -O2 -s -o "$out/libc-dynamic" bench/libc.c
gcc -O2 -s -static -o "$out/libc-static" bench/libc.c
g++ -O2 -s -o "$out/iostream-dynamic" bench/iostream.cpp

python3 bench/measure.py "$out" "${1:-2000}"
