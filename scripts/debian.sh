#!/usr/bin/env bash
# The source package through Debian's own tools, as Debian would build and
# test it (docs/packaging.md), in build/debian:
#   bash scripts/debian.sh         the source package built and linted; built
#                                  by sbuild, natively and cross for arm64,
#                                  each linted; the native package tested by
#                                  autopkgtest. sbuild and autopkgtest work in
#                                  throwaway roots unpacked from a tarball that
#                                  mmdebstrap makes once (~/.cache/exprcalc/
#                                  sbuild), so nothing is installed on this
#                                  machine; root, or sudo (asked once).
#   bash scripts/debian.sh --here  inside a root that on-release.sh made:
#                                  dpkg-buildpackage with the tests, lintian,
#                                  and autopkgtest on that root itself.
# lintian runs by its own defaults at --pedantic -I: any tag that no
# override answers fails the step. Every step runs; the script fails if any
# failed. Needs `bash scripts/install-packages.sh debian`.
set -uo pipefail
cd "$(dirname "$0")/.." || exit
checkout=$PWD
out=$checkout/build/debian
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
arch=$(dpkg --print-architecture)
failed=()

# A step: its name, then its command; its output goes to build/debian/NAME.log.
step() {
    local name=$1 started=$SECONDS
    shift
    if "$@" >"$out/$name.log" 2>&1; then
        echo "passed  $name ($((SECONDS - started)) s)"
    else
        echo "FAILED  $name ($((SECONDS - started)) s): build/debian/$name.log"
        tail -n 20 "$out/$name.log" | sed 's/^/    /'
        failed+=("$name")
    fi
}

# lintian on what it is given: nothing left unanswered, and it checked them.
# The source's two overrides are each for one release's lintian, and
# unused by the other's: that, for them alone, is no finding.
lint() {
    local said
    said=$(lintian --no-cfg --pedantic -I "$@" 2>&1) || { echo "$said"; return 1; }
    echo "$said"
    ! grep -v -E '^I: exprcalc source: unused-override (unknown-architecture loong64|out-of-date-standards-version) ' \
        <<<"$said" | grep -q '^[EWIPX]: '
}

# sbuild's own lintian run, of the source and what it built, ended well:
# "pass", or "info" (its verdict for the source's unused override, which
# lint above lets pass, as it judges every tag); and ours finds nothing in
# what it built.
sbuild_lintian() {
    grep -x "Lintian: .*" "$1"/*_"$2".build && grep -qxE "Lintian: (pass|info)" "$1"/*_"$2".build &&
        lint "$1"/*_"$2".changes "$1"/*.deb
}

# The source package from the checkout's files as they are now (the
# package's own rules leave build/ and obj-* out), in a folder of its own.
source_package() {
    rm -rf "$out/source" && mkdir -p "$out/source/exprcalc" &&
        tar --exclude=./build --exclude=./.git -cf - . | tar -C "$out/source/exprcalc" -xf - &&
        (cd "$out/source/exprcalc" && dpkg-buildpackage -S -d -us -uc) &&
        lint "$out"/source/exprcalc_*.dsc
}

mkdir -p "$out"
if [ "${1:-}" = --here ]; then
    # The whole build with its tests, then the tests of the package
    # installed on this root (autopkgtest's null server: no other root).
    step "$release-source" source_package
    step "$release-build" bash -c 'cd "$1/source/exprcalc" && dpkg-buildpackage -b -us -uc' bash "$out"
    step "$release-lintian" lint "$out"/source/exprcalc_*_"$arch".changes "$out"/source/exprcalc_*_"$arch".deb
    step "$release-autopkgtest" autopkgtest "$out"/source/exprcalc_*_"$arch".deb "$out"/source/exprcalc_*.dsc -- null
else
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/exprcalc/sbuild
    tarball=$cache/$release-$arch.tar
    mkdir -p "$cache"
    # The throwaway roots' tarball: Debian's buildd set, and lintian and
    # apt-utils, which sbuild and autopkgtest would otherwise install in
    # every root. Made anew once a week, as its packages age.
    if [ ! -e "$tarball" ] || [ -n "$(find "$tarball" -mtime +7)" ]; then
        mirror=$(python3 tests/archive.py mirror)
        step tarball "${as_root[@]}" mmdebstrap --variant=buildd --include=lintian,apt-utils "$release" \
            "${tarball%.tar}.new.tar" "$mirror"  # (its format is named by the ending)
        "${as_root[@]}" mv "${tarball%.tar}.new.tar" "$tarball" 2>/dev/null
    fi
    step source source_package
    # sbuild's unshare mode maps the users of its roots to subordinate IDs,
    # which /etc/subuid and /etc/subgid grant: here only for this run,
    # bound over the machine's files in a mount namespace of its own, so
    # the machine's stay as they are whatever becomes of the run.
    printf '%s:100000:65536\n' "$(id -un)" >"$out/subid"
    unshared=("${as_root[@]}" unshare --mount --propagation private -- sh -c \
        'mount --bind "$1" /etc/subuid && mount --bind "$1" /etc/subgid && shift && cd "$1" && shift && exec "$@"' \
        sh "$out/subid")
    sbuild=(sbuild --chroot-mode=unshare --chroot="$tarball" --dist=unstable --no-run-piuparts --run-lintian
            --lintian-opts="--no-cfg --pedantic -I" --build="$arch")
    hosts=("$arch")
    [ "$arch" = arm64 ] || hosts+=(arm64)
    for host in "${hosts[@]}"; do
        rm -rf "$out/sbuild-$host" && mkdir -p "$out/sbuild-$host"
        profiles=()
        # shellcheck disable=SC2054  # one option, whose value lists two profiles
        [ "$host" = "$arch" ] || profiles=(--profiles=cross,nocheck)
        step "sbuild-$host" "${unshared[@]}" "$out/sbuild-$host" "${sbuild[@]}" --host="$host" "${profiles[@]}" \
            "$out"/source/exprcalc_*.dsc
        grep -hE '^(Status|Lintian): ' "$out/sbuild-$host"/*_"$host".build 2>/dev/null | sed 's/^/    /'
        step "sbuild-$host-lintian" sbuild_lintian "$out/sbuild-$host" "$host"
    done
    step autopkgtest "${unshared[@]}" "$out" autopkgtest --setup-commands="apt-get update -q" \
        "$out/sbuild-$arch"/exprcalc_*_"$arch".deb "$out"/source/exprcalc_*.dsc -- unshare -t "$tarball"
fi
echo "debian: ${#failed[@]} steps failed${failed[*]:+: ${failed[*]}}"
[ "${#failed[@]}" -eq 0 ]
