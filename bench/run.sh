#!/usr/bin/env bash
# Builds exprcalc (every processor whose cross compiler is installed) and the
# programs it is measured against, then measures them side by side and prints
# a Markdown table. Figures only: nothing here passes or fails on a timing.
#   bash bench/run.sh [SPAWNS]      (default 2000 spawns of each program)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"

for arch in x86_64 i386 aarch64 armhf riscv64; do
    build="$out/build-$arch"  # its own tree, so the test builds stay as they were
    if ! { cmake --preset "$arch" -B "$build" -DBUILD_TESTING=OFF && cmake --build "$build"; } >/dev/null 2>&1; then
        echo "skipping $arch: it does not build here (is its cross compiler installed?)" >&2
        continue
    fi
    strip_tool=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
    "$strip_tool" -o "$out/exprcalc-$arch" "$build/exprcalc"
done

freestanding="-O2 -ffreestanding -fno-asynchronous-unwind-tables -nostdlib -static -no-pie -fno-pie -Wl,--build-id=none"
for program in floor calls; do
    g++ $freestanding -s -Wl,-T,src/program/exprcalc.ld -o "$out/$program" "bench/$program.cpp"
done
gcc -O2 -s -o "$out/libc-dynamic" bench/libc.c
gcc -O2 -s -static -o "$out/libc-static" bench/libc.c
g++ -O2 -s -o "$out/iostream-dynamic" bench/iostream.cpp

python3 bench/measure.py "$out" "${1:-2000}"
