#!/usr/bin/env bash
# Runs a command in a minimal root of another Debian release, on a copy of
# this checkout (its files as they are now, without build/), as root there:
#   bash scripts/on-release.sh trixie                 README's test command
#   bash scripts/on-release.sh bookworm bash -l       a shell, say
#   bash scripts/on-release.sh --remove trixie        the root's space back
# The root is made once with debootstrap (the variant minbase, as a fresh
# minimal machine has) and kept in ~/.cache/exprcalc/roots/RELEASE, outside
# the checkout; each run refreshes its package lists, so what it installed
# stays and a second run downloads little.
#
# Everything a run mounts and starts lives in private mount and PID
# namespaces: the machine sees none of its mounts, and whatever it started
# ends with it, however it ends (kill -9 included). Its /dev is its own, with
# only what the tests need. One run at a time per root. Needs root, or sudo
# (asked once).
set -euo pipefail
script=$(realpath "$0")
cd "$(dirname "$script")/.."

releases="bookworm trixie forky sid"

# Inside the namespaces, as root: see the end of this file for how it starts.
inside() {
    local roots=$1 release=$2 remove=$3 mirror=$4 testing=$5 root=$1/$2 keep=() fs recipe
    shift 5
    while [ "$1" != -- ]; do keep+=("$1"); shift; done
    shift

    # The lock file stays when the root goes: a run waiting on it holds
    # the same file, and no later run can lock a new one beside it.
    exec 9>"$root.lock"
    flock -n 9 || { echo "waiting for the other run in $root to end"; flock 9; }

    if [ -n "$remove" ] || [ ! -e "$root/.made" ]; then
        # Nothing is deleted while anything is mounted below it, and the
        # delete stays on the root's own file system. (findmnt writes a
        # blank in a name as \x20: printf %b reads it back.)
        mounted=$(findmnt -rn -o TARGET | while read -r target; do printf '%b\n' "$target"; done |
                  awk -v root="$root" 'index($0, root "/") == 1 || $0 == root')
        if [ -n "$mounted" ]; then
            echo "$root has file systems mounted in it; unmount them first (umount -R -l each):" >&2
            echo "$mounted" >&2
            exit 1
        fi
        if [ -e "$root" ]; then echo "removing $root ($(du -sh --one-file-system "$root" | cut -f1))"; fi
        # The mark goes first: a root whose removal was cut short is made anew.
        rm -f "$root/.made"
        rm -rf --one-file-system "$root"
        if [ -n "$remove" ]; then exit 0; fi
        mkdir -p "$root"
        # A release newer than this debootstrap is made as unstable is.
        recipe=/usr/share/debootstrap/scripts/$release
        [ -e "$recipe" ] || recipe=/usr/share/debootstrap/scripts/sid
        debootstrap --variant=minbase "$release" "$root" "$mirror" "$recipe"
        if [ "$release" = "$testing" ]; then
            # Testing's Release is signed for a week, and a mirror may lag:
            # its date alone is not checked, as for the kernel test.
            sed -i "s/^deb /deb [check-valid-until=no] /" "$root/etc/apt/sources.list"
        fi
        touch "$root/.made"
    fi
    if [ -L "$root/etc" ] || [ -L "$root/src" ]; then echo "$root/etc or $root/src is a symbolic link" >&2; exit 1; fi

    # The kernel's file systems, a /dev of the root's own, and the machine's
    # name server, none of them seen outside.
    mount -t proc proc "$root/proc"
    mount -t sysfs -o ro sysfs "$root/sys"
    mount -t tmpfs -o mode=755,size=1m tmpfs "$root/dev"
    for fs in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
        IFS=: read -r name major minor <<<"$fs"
        mknod -m 666 "$root/dev/$name" c "$major" "$minor"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    for fs in stdin:0 stdout:1 stderr:2; do ln -s "/proc/self/fd/${fs#*:}" "$root/dev/${fs%:*}"; done
    rm -f "$root/etc/resolv.conf"  # never written through a link the root holds
    (set -C && cat /etc/resolv.conf >"$root/etc/resolv.conf")

    rm -rf --one-file-system "$root/src/exprcalc"
    mkdir -p "$root/src/exprcalc"
    tar -c --exclude=./build . | tar -x -C "$root/src/exprcalc"

    # A run that was killed while dpkg worked leaves it to be finished.
    chroot "$root" dpkg --configure -a
    chroot "$root" apt-get update -q
    local status=0
    chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "${keep[@]}" \
        sh -c 'cd /src/exprcalc && exec "$@"' sh "$@" || status=$?
    chroot "$root" apt-get clean  # the packages it downloaded, installed now
    exit "$status"
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
fi

remove=""
if [ "${1:-}" = --remove ]; then remove=1; shift; fi
release=${1:-}
if [ -z "$release" ] || [[ " $releases " != *" $release "* ]]; then
    echo "usage: $0 [--remove] RELEASE [COMMAND...], where RELEASE is one of: $releases" >&2
    exit 2
fi
shift
[ $# -gt 0 ] || set -- bash -c 'bash scripts/install-packages.sh test && bash scripts/test-all.sh'

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
missing=""
for tool in debootstrap:debootstrap python3:python3; do
    command -v "${tool%:*}" >/dev/null || missing+=" ${tool#*:}"
done
if [ -n "$missing" ]; then
    "${as_root[@]}" apt-get update -q
    # shellcheck disable=SC2086  # one word per package
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install --no-remove -y -q $missing
fi
# The machine's own Debian mirror, as its apt sources name it.
mirror=$(python3 tests/archive.py mirror)
if [ -z "$mirror" ]; then
    echo "the machine's apt sources name no Debian mirror to make the root from" >&2
    exit 1
fi
testing=$(python3 tests/archive.py testing)
cache=${XDG_CACHE_HOME:-$HOME/.cache}
if [[ $cache != /* ]]; then
    echo "XDG_CACHE_HOME is $cache: the roots need a cache folder named from /, outside the checkout" >&2
    exit 1
fi
roots=$cache/exprcalc/roots
mkdir -p "$roots"
# What the command is given of this environment.
keep=()
for name in CI EXPRCALC_STRICT; do
    if [ -n "${!name+set}" ]; then keep+=("$name=${!name}"); fi
done
# The run becomes this process: setpriv ends the namespaces' first process
# if its parent (sudo, or whatever started this script) dies, and unshare
# ends its child, the namespaces' init, when it dies itself; when init ends,
# the kernel ends every process in its PID namespace and drops its mounts.
exec "${as_root[@]}" setpriv --pdeathsig KILL -- \
    unshare --mount --pid --fork --kill-child --propagation private -- \
    bash "$script" --inside "$(realpath "$roots")" "$release" "$remove" "$mirror" "$testing" "${keep[@]}" -- "$@"
