#!/usr/bin/env bash
# Builds exprcalc (every processor, with GCC and with Clang, wherever the
# compiler is installed and can build it) and the programs it is measured
# against, then measures them side by side and prints Markdown tables.
# Figures only: nothing here passes or fails on a timing.
#   bash scripts/install-packages.sh bench     what it needs, once
#   bash bench/run.sh [SPAWNS]      (default 2000 spawns of each program)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"

for toolchain in cmake/toolchains/*.cmake; do
    target=$(basename "$toolchain" .cmake)
    case $target in linux | host) continue ;; esac  # shared settings; the machine's own, again
    for preset in "$target" "$target-clang"; do
        build="$out/build-$preset"  # its own tree, so the test builds stay as they were
        if ! { cmake --preset "$preset" -B "$build" -DBUILD_TESTING=OFF --fresh &&
               cmake --build "$build"; } >/dev/null 2>&1; then
            echo "skipping $preset: it does not build here (is its compiler installed?)" >&2
            continue
        fi
        # Installed stripped, as the package strips it: by the strip the
        # build names (the target's GNU strip, whichever compiler built it).
        cmake --install "$build" --prefix "$build/installed" --strip >/dev/null
        cp "$build/installed/bin/exprcalc" "$out/exprcalc-$preset"
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
