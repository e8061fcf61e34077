#!/usr/bin/env bash
# Installs from Debian's archive what exprcalc needs, and only what is
# missing, without asking anything; through sudo only when not already root.
#   bash scripts/install-packages.sh build   to build and run the calculator
#   bash scripts/install-packages.sh quick   and its quick tests (docs/testing.md), and gdb
#   bash scripts/install-packages.sh package and Debian's tools that build its package
#   bash scripts/install-packages.sh test    to run every test as well
#   bash scripts/install-packages.sh bench   and the benchmark (valgrind)
#   bash scripts/install-packages.sh debian  and Debian's builders: sbuild,
#                                            mmdebstrap, autopkgtest (CI's)
# With --simulate after either, apt works out the installation, and says
# what it would do, without doing it (CI's check of another processor's
# machine).
set -euo pipefail

build="cmake make g++"  # make: cmake only recommends it
quick="$build libgtest-dev python3 strace gdb"
test="$quick qemu-user lintian build-essential debhelper gdb-multiarch debian-archive-keyring
      debootstrap clang lld llvm libclang-rt-dev
      qemu-system-x86 qemu-system-arm qemu-system-mips qemu-system-ppc qemu-system-misc"

# The cross compilers, one per triple that the toolchain files name
# (Debian's g++-TRIPLE, a _ written -), less the machine's own: its g++ is
# that one. Installed where this release has them for this machine (arm64
# has no g++-alpha-linux-gnu, say, and Debian 14 no MIPS compilers); the
# presets that need one it lacks cannot be built, and tests/expected-skips
# says which, for which release and machine. The same for the packages that
# only some releases have: loongarch64's firmware from Debian 13 on, and
# the kernel test's qemu-system for s390x and riscv64 once out of
# qemu-system-misc (Debian 14). CMake answers what the toolchain files say,
# so it is installed first where it is missing.
cross_compilers() {
    cmake -P cmake/toolchain-query.cmake |
        awk -v host="$(dpkg --print-architecture)" '
            { triple[NR] = $4; arch[NR] = $2 } $2 == host { own = $4 }
            END { for (i in triple) if (triple[i] != own) { t = triple[i]; gsub("_", "-", t); print "g++-" t } }' |
        sort -u
}
cd "$(dirname "$0")/.."
optional_release="qemu-efi-loongarch64 qemu-system-s390x qemu-system-riscv"

case "${1:-}" in
build) wanted=$build cross=no ;;
package) wanted="$build build-essential debhelper libgtest-dev python3 strace" cross=no ;;  # its Build-Depends
quick) wanted=$quick cross=no ;;
test) wanted=$test cross=yes ;;
bench) wanted="$test valgrind" cross=yes ;;
debian) wanted="$test sbuild mmdebstrap autopkgtest uidmap" cross=yes ;;
*) echo "usage: $0 build|package|quick|test|bench|debian [--simulate]" >&2; exit 2 ;;
esac
simulate=()
[ "${2:-}" != --simulate ] || simulate=(--simulate)
optional=""
if [ "$cross" = yes ]; then
    if ! command -v cmake >/dev/null && [ -z "${simulate[*]}" ]; then
        bash "$0" build
    fi
    if ! command -v cmake >/dev/null; then
        echo "CMake is not installed, and it says which cross compilers the toolchain files need:" \
             "bash $0 build first" >&2
        exit 1
    fi
    optional="$(cross_compilers) $optional_release"
fi

# (Each asks its tool once, for every package, and reads the whole answer:
# grep -q would stop reading at the first match, and a tool still writing
# would die of SIGPIPE, which pipefail takes for "no".)
not_installed() {
    local installed
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null || true)
    for package in "$@"; do
        [[ $'\n'$installed$'\n' == *$'\n'"$package install ok installed"$'\n'* ]] || echo "$package"
    done
}
# Of the optional packages, those this release has, as apt's lists know.
available() {
    [ $# -gt 0 ] || return 0
    apt-cache policy "$@" 2>/dev/null | awk '/^[^ ].*:$/ { package = substr($0, 1, length($0) - 1) }
                                             /^  Candidate: [0-9]/ { print package }'
}
# What to install: the wanted packages not installed, and the optional ones
# not installed that this release has.
missing() {
    # shellcheck disable=SC2086  # one word per package
    not_installed $wanted
    # shellcheck disable=SC2046,SC2086
    available $(not_installed $optional)
}
missing=$(missing)
[ -n "$missing" ] || { echo "Nothing to install: what this needs is installed."; exit 0; }

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "These packages are missing:" $missing >&2
        echo "Installing them needs root: run this as root, or install sudo." >&2
        exit 1
    fi
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update -q
missing=$(missing)  # the lists now known, the optional ones too
echo "Installing:" $missing
# Only what is named and what it depends on: a package's Recommends can be a
# service for the whole machine (qemu-user recommends qemu-user-binfmt, which
# registers handlers for every program of another processor), and the tests
# need none. Never removes a package to make room for these: apt stops
# instead. Where a dependency needs a newer version of a package already
# installed, that upgrade is named first.
install=(env DEBIAN_FRONTEND=noninteractive apt-get install --no-remove --no-install-recommends -y -q)
# shellcheck disable=SC2086  # one word per package
if [ -z "${simulate[*]}" ]; then
    # shellcheck disable=SC2086
    upgrades=$("${install[@]}" -s $missing | sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\).*/\1 (\2 -> \3)/p')
    [ -z "$upgrades" ] || echo "Upgrading, as these need:" $upgrades
fi
# shellcheck disable=SC2086
"${as_root[@]}" "${install[@]}" "${simulate[@]}" $missing
