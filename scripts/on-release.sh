#!/usr/bin/env bash
# Runs a command in a minimal root of another Debian release, on a copy of
# this checkout (its files as they are now, without build/), as root there:
#   bash scripts/on-release.sh trixie                 README's test command
#   bash scripts/on-release.sh bookworm bash -l       a shell, say
# The root is made once with debootstrap (the variant minbase, as a fresh
# minimal machine has) and kept in ~/.cache/exprcalc/roots/RELEASE, outside
# the checkout; each run refreshes its package lists, so what it installed
# stays and a second run downloads little. Needs root, or sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

release=${1:?usage: $0 RELEASE [COMMAND...]}
shift
[ $# -gt 0 ] || set -- bash -c 'bash scripts/install-packages.sh test && bash scripts/test-all.sh'

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
root=${XDG_CACHE_HOME:-$HOME/.cache}/exprcalc/roots/$release

if [ ! -e "$root/.made" ]; then
    if ! command -v debootstrap >/dev/null; then
        "${as_root[@]}" apt-get update -q
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
    fi
    # The machine's own Debian mirror, as apt names it.
    # (A machine has some of these files, not all: sed's complaint about the
    # others is no failure.)
    mirror=$(sed -n 's/^URIs: *\(.*\/debian\)\/\{0,1\}$/\1/p; s/^deb \[\{0,1\}[^]]*\]\{0,1\} *\(\S*\/debian\)\/\{0,1\} .*/\1/p' \
                 /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1) || true
    "${as_root[@]}" rm -rf "$root"
    "${as_root[@]}" mkdir -p "$root"
    "${as_root[@]}" debootstrap --variant=minbase "$release" "$root" ${mirror:+"$mirror"}
    "${as_root[@]}" touch "$root/.made"
fi

# The kernel's file systems while the command runs, and the machine's name
# server; a fresh copy of the checkout.
mounts=()
cleanup() {
    local m p
    # What still runs in the root (the command was stopped, say) ends too.
    for p in /proc/[0-9]*; do
        [ "$("${as_root[@]}" readlink "$p/root" 2>/dev/null)" != "$root" ] || "${as_root[@]}" kill -9 "${p#/proc/}" 2>/dev/null || true
    done
    for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do "${as_root[@]}" umount -l "${mounts[m]}" || true; done
}
trap cleanup EXIT
for fs in proc sys dev dev/pts; do
    "${as_root[@]}" mkdir -p "$root/$fs"
    "${as_root[@]}" mount --bind "/$fs" "$root/$fs"
    mounts+=("$root/$fs")
done
"${as_root[@]}" cp -L /etc/resolv.conf "$root/etc/resolv.conf"
"${as_root[@]}" rm -rf "$root/src/exprcalc"
"${as_root[@]}" mkdir -p "$root/src/exprcalc"
tar -c --exclude=./build . | "${as_root[@]}" tar -x -C "$root/src/exprcalc"

"${as_root[@]}" chroot "$root" apt-get update -q
"${as_root[@]}" chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 ${CI:+CI=$CI} \
    sh -c 'cd /src/exprcalc && exec "$@"' sh "$@"
