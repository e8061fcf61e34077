#!/usr/bin/env bash
# Runs a command in a minimal root of another Debian release, or of another
# processor, on a copy of this checkout (its files as they are now, without
# build/), as root there:
#   bash scripts/on-release.sh trixie                 README's test command
#   bash scripts/on-release.sh bookworm bash -l       a shell, say
#   bash scripts/on-release.sh --arch arm64 bookworm bash -l
#                                                     an arm64 machine's
#   bash scripts/on-release.sh --remove trixie        the root's space back
# The root is made once with debootstrap (the variant minbase, as a fresh
# minimal machine has) and kept in ~/.cache/exprcalc/roots/RELEASE (or
# RELEASE-ARCH), outside the checkout; each run refreshes its package lists,
# so what it installed stays and a second run downloads little.
#
# Everything a run mounts and starts lives in private mount and PID
# namespaces: the machine sees none of its mounts, and whatever it started
# ends with it, however it ends (kill -9 included). Its /dev is its own, with
# only what the tests need. One run at a time per root. Needs root, or sudo
# (asked once).
#
# A root of another processor runs its programs under Debian's static
# qemu-user, unpacked from qemu-user-static (not installed: that would
# register it for the whole machine), and registered in a binfmt_misc of
# the run's own. The kernel gives each user namespace its own binfmt_misc
# from Linux 6.7 on, so that run is in a user namespace too, whose user and
# group IDs 0-65535 are the machine's same IDs.
set -euo pipefail
script=$(realpath "$0")
cd "$(dirname "$script")/.."

releases="bookworm trixie forky sid"

# Inside the namespaces, as root: see the end of this file for how it starts.
inside() {
    local roots=$1 release=$2 arch=$3 remove=$4 mirror=$5 testing=$6 emulator=$7 root keep=() fs recipe
    shift 7
    while [ "$1" != -- ]; do keep+=("$1"); shift; done
    shift
    root=$roots/$release${emulator:+-$arch}

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
        # Another processor's packages are unpacked here, and configured
        # below by its own programs, under the emulator.
        debootstrap ${emulator:+--foreign} --arch="$arch" --variant=minbase "$release" "$root" "$mirror" "$recipe"
        if [ "$release" = "$testing" ]; then
            # Testing's Release is signed for a week, and a mirror may lag:
            # its date alone is not checked, as for the kernel test.
            sed -i "s/^deb /deb [check-valid-until=no] /" "$root/etc/apt/sources.list"
        fi
    fi
    if [ -L "$root/etc" ] || [ -L "$root/src" ]; then echo "$root/etc or $root/src is a symbolic link" >&2; exit 1; fi

    # The root a mount of its own, so that within it / is one: a run in the
    # root can make namespaces of its own (unshare makes / private).
    mount --bind "$root" "$root"
    # The kernel's file systems, a /dev of the root's own, and the machine's
    # name server, none of them seen outside. The devices are the machine's
    # own, bound in: a user namespace may make none, nor a sysfs of its own
    # (the machine's is bound in whole there, and read-only at the top).
    mount -t proc proc "$root/proc"
    if [ -z "$emulator" ]; then
        mount -t sysfs -o ro sysfs "$root/sys"
    else
        mount --rbind /sys "$root/sys"
        mount -o remount,bind,ro "$root/sys"
    fi
    mount -t tmpfs -o mode=755,size=1m tmpfs "$root/dev"
    for fs in null zero full random urandom tty; do
        touch "$root/dev/$fs"
        mount --bind "/dev/$fs" "$root/dev/$fs"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    for fs in stdin:0 stdout:1 stderr:2; do ln -s "/proc/self/fd/${fs#*:}" "$root/dev/${fs%:*}"; done
    if [ -n "$emulator" ]; then
        # The processor's programs start under the emulator: the line its
        # package would register, with the interpreter opened now (F), so
        # that it is found from inside the root.
        mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
        sed "s|:[^:]*:[A-Z]*$|:$emulator-static:F|" "$emulator.conf" >"$root/proc/sys/fs/binfmt_misc/register"
        if [ ! -e "$root/.made" ]; then chroot "$root" /debootstrap/debootstrap --second-stage; fi
    fi
    touch "$root/.made"
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

# As root: the namespaces, in a user namespace of their own whose IDs
# 0-65535 are the machine's, which only a process outside may say. The
# child says when it is in it, waits for its IDs, and goes on. It dies with
# this process throughout: its first exec, with no IDs yet, loses its
# capabilities, and the exec once it is root there gains them, and either
# change of its credentials would clear a parent-death signal set before
# it, so setpriv sets one after each.
in_user_namespace() {
    local handshake child status=0
    handshake=$(mktemp -d)
    mkfifo "$handshake/in" "$handshake/mapped"
    exec 3<&0  # (a command put in the background would read /dev/null)
    unshare --user -- setpriv --pdeathsig KILL -- \
        sh -c 'echo >"$1/in" && read -r _ <"$1/mapped" && shift && exec setpriv --pdeathsig KILL -- "$@"' \
        sh "$handshake" unshare --mount --pid --fork --kill-child --propagation private -- \
        env container=lxc bash "$script" --inside "$@" <&3 &
    child=$!
    read -r _ <"$handshake/in"
    echo "0 0 65536" >"/proc/$child/uid_map"
    echo "0 0 65536" >"/proc/$child/gid_map"
    echo >"$handshake/mapped"
    rm -r "$handshake"
    wait "$child" || status=$?
    exit "$status"
}

case "${1:-}" in
--inside) shift; inside "$@" ;;
--in-user-namespace) shift; in_user_namespace "$@" ;;
esac

remove="" arch=$(dpkg --print-architecture)
host_arch=$arch
while true; do
    case "${1:-}" in
    --remove) remove=1; shift ;;
    --arch) arch=${2:-}; shift 2 || break ;;
    *) break ;;
    esac
done
release=${1:-}
if [ -z "$release" ] || [[ " $releases " != *" $release "* ]] || [ -z "$arch" ]; then
    echo "usage: $0 [--remove] [--arch ARCH] RELEASE [COMMAND...], where RELEASE is one of: $releases" >&2
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
# Another processor: its emulator as its toolchain file names it, unpacked
# into the cache (qemu-aarch64 for arm64, say); from Linux 6.7 on.
emulator="" start=(unshare --mount --pid --fork --kill-child --propagation private -- bash "$script" --inside)
if [ "$arch" != "$host_arch" ]; then
    kernel=$(uname -r)
    if ! printf '6.7\n%s\n' "${kernel%%[^0-9.]*}" | sort -C -V; then
        echo "Linux $kernel has one binfmt_misc for the whole machine (each user namespace has its own from" \
             "Linux 6.7 on): a root of another processor would need the machine's; not made" >&2
        exit 77
    fi
    command -v cmake >/dev/null ||
        { echo "CMake says which emulator runs $arch: bash scripts/install-packages.sh build first" >&2; exit 2; }
    name=$(cmake -P cmake/toolchain-query.cmake | awk -v arch="$arch" '$2 == arch { print $5 }')
    [[ $name == qemu-* ]] ||
        { echo "no toolchain file names the Debian architecture $arch with an emulator" >&2; exit 2; }
    emulator=$(python3 tests/archive.py static-emulator "$name")/$name
    start=(bash "$script" --in-user-namespace)
fi
# What the command is given of this environment.
keep=()
for name in CI EXPRCALC_STRICT; do
    if [ -n "${!name+set}" ]; then keep+=("$name=${!name}"); fi
done
# The run becomes this process: setpriv ends the namespaces' first process
# if its parent (sudo, or whatever started this script) dies, and unshare
# ends its child, the namespaces' init, when it dies itself; when init ends,
# the kernel ends every process in its PID namespace and drops its mounts.
exec "${as_root[@]}" setpriv --pdeathsig KILL -- "${start[@]}" \
    "$(realpath "$roots")" "$release" "$arch" "$remove" "$mirror" "$testing" "$emulator" "${keep[@]}" -- "$@"
