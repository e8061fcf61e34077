#!/usr/bin/env bash
# Installs from Debian's archive what exprcalc needs, and only what is
# missing, without asking anything; through sudo only when not already root.
#   bash scripts/install-packages.sh build   to build and run the calculator
#   bash scripts/install-packages.sh test    to run every test as well
set -euo pipefail

build="cmake make g++"  # make: cmake only recommends it
test="$build libgtest-dev python3 strace qemu-user lintian dpkg-dev gdb gdb-multiarch debian-archive-keyring
      clang lld llvm libclang-rt-dev
      qemu-system-x86 qemu-system-arm qemu-system-mips qemu-system-ppc qemu-system-misc
      g++-i686-linux-gnu
      g++-aarch64-linux-gnu
      g++-arm-linux-gnueabihf
      g++-riscv64-linux-gnu
      g++-arm-linux-gnueabi
      g++-mipsel-linux-gnu
      g++-mips64el-linux-gnuabi64
      g++-powerpc64le-linux-gnu
      g++-s390x-linux-gnu
      g++-powerpc-linux-gnu
      g++-powerpc64-linux-gnu
      g++-mips-linux-gnu
      g++-mips64-linux-gnuabi64
      g++-sparc64-linux-gnu
      g++-m68k-linux-gnu
      g++-sh4-linux-gnu
      g++-hppa-linux-gnu
      g++-alpha-linux-gnu
      g++-x86-64-linux-gnux32"
# Only in some of Debian's releases (from Debian 13 on): installed where the
# release has them, and the presets that need them are skipped elsewhere.
optional="g++-loongarch64-linux-gnu qemu-efi-loongarch64"

case "${1:-}" in
build) wanted=$build optional="" ;;
test) wanted=$test ;;
*) echo "usage: $0 build|test" >&2; exit 2 ;;
esac

# (Each asks the tool's whole answer, then reads it: grep -q would stop
# reading at the first match, and a tool still writing would die of SIGPIPE,
# which pipefail takes for "no".)
not_installed() {
    for package in "$@"; do
        [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) == *"ok installed" ]] || echo "$package"
    done
    return 0
}
# Of the optional packages, those this release has, as apt's lists know.
available() {
    for package in "$@"; do
        [[ $(apt-cache policy "$package" 2>/dev/null) != *"Candidate: "[0-9]* ]] || echo "$package"
    done
    return 0
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
[ -n "$missing" ] || exit 0

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
# Never removes a package to make room for these: apt stops instead.
# shellcheck disable=SC2086  # one word per package
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install --no-remove -y -q $missing
