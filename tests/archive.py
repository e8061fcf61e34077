"""Debian's packages for the kernel test, a kernel and busybox, fetched
through apt with a configuration of our own that trusts Debian's archive
keyring alone (docs/testing.md), and kept in ~/.cache/exprcalc.
"""
import fcntl
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import common

CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "exprcalc")
KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
# Debian's releases by name, oldest first, from Debian 11 on, and the one
# that is testing now.
RELEASES = ["bullseye", "bookworm", "trixie", "forky", "duke", "sid"]
TESTING = "forky"
# A fetch that fails is tried once more after this pause: a mirror in the
# middle of an update serves indexes that do not match their Release.
PAUSE = float(os.environ.get("EXPRCALC_FETCH_PAUSE", "60"))
# How a cached folder was verified, kept in it as .fetch: a folder without
# it, or from a fetch that trusted more than this one, is fetched again.
FETCH = "2: apt with a configuration of our own, Debian's archive keyring alone\n"


class Unavailable(Exception):
    """What the test needs and this machine cannot give: a reason to skip."""


def mirrors(texts):
    """The Debian archives (URI, suite suffix: "", "-updates", "-security")
    that the machine's sources name, in either of apt's formats: {path: text}.
    apt reads them, in a scratch folder with nothing else of apt's set-up.
    Only what names a Debian release's main component over the network is
    taken: not another vendor's suite (cloud-sdk-bookworm, or docker's
    bookworm stable), a disc, or sources of source packages."""
    with tempfile.TemporaryDirectory() as scratch:
        for path, text in texts.items():
            name = os.path.basename(path)
            place = Path(scratch, "sources.list" if name == "sources.list" else f"sources.list.d/{name}")
            place.parent.mkdir(exist_ok=True)
            place.write_text(text)
        Path(scratch, "apt.conf").write_text("".join(f'{name} "{value}";\n' for name, value in {
            "Dir::Etc": scratch, "Dir::Etc::main": "apt.conf", "Dir::Etc::parts": "none",
            "Dir::State": scratch, "Dir::State::status": "/dev/null", "Dir::Cache": scratch}.items()))
        listed = subprocess.run(["apt-get", "indextargets", "--no-release-info", "--format",
                                 "$(REPO_URI) $(RELEASE) $(COMPONENT) $(TARGET_OF)"], capture_output=True, text=True,
                                env=dict(os.environ, APT_CONFIG=os.path.join(scratch, "apt.conf")))
    if listed.returncode:
        raise Unavailable(f"apt-get indextargets could not read the machine's sources: {listed.stderr.strip()}")
    release = "|".join(RELEASES)
    return list(dict.fromkeys((uri.rstrip("/"), m[1] or "") for uri, suite, component, kind in
                              (line.rsplit(" ", 3) for line in listed.stdout.splitlines())
                              if (m := re.fullmatch(rf"(?:{release})(-updates|-security)?", suite))
                              and component == "main" and kind == "deb" and re.match(r"(https?|ftp)://", uri)))


def machine_sources():
    paths = ["/etc/apt/sources.list", *glob.glob("/etc/apt/sources.list.d/*.list"),
             *glob.glob("/etc/apt/sources.list.d/*.sources")]
    return {path: Path(path).read_text() for path in paths if os.access(path, os.R_OK)}


def sources(suite):
    """Our sources.list of one suite: the machine's Debian archives, signed
    by Debian's keys alone."""
    archives = mirrors(machine_sources())
    if not archives:
        raise Unavailable(f"the machine's apt sources name none of Debian's releases ({', '.join(RELEASES)})")
    return "".join(f"deb [signed-by={KEYRING}{' check-valid-until=no' if suite == TESTING else ''}] "
                   f"{uri} {suite}{suffix} main\n" for uri, suffix in archives)


def apt(suite, arch, *command, cwd=None, complaints=False):
    """Runs apt-get or apt-cache for one suite and architecture, with sources,
    state, cache and configuration of our own; gives what it printed (or its
    complaints), and raises Unavailable with what it said where it failed."""
    root = os.path.join(CACHE, "apt", f"{suite}-{arch}")
    for folder in ("etc/apt.conf.d", "etc/preferences.d", "etc/sources.list.d", "etc/trusted.gpg.d",
                   "state/lists/partial", "cache/archives/partial"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    Path(root, "status").touch()
    if not os.path.exists(KEYRING):
        raise Unavailable(f"{KEYRING} is missing: install debian-archive-keyring")
    Path(root, "etc/sources.list").write_text(sources(suite))
    # Read before the machine's own parts folder and main file, whose places
    # it moves into ours: nothing of the machine's settings carries over.
    Path(root, "apt.conf").write_text("".join(f'{name} "{value}";\n' for name, value in {
        "Dir::Etc": f"{root}/etc", "Dir::Etc::main": "apt.conf", "Dir::Etc::parts": "apt.conf.d",
        "Dir::Etc::sourceparts": "sources.list.d", "Dir::Etc::trustedparts": "trusted.gpg.d",
        "Dir::Etc::trusted": "trusted.gpg", "Dir::State": f"{root}/state",
        "Dir::State::status": f"{root}/status", "Dir::Cache": f"{root}/cache",
        "APT::Architecture": arch, "APT::Architectures": arch, "APT::Sandbox::User": "root",
        "Acquire::Retries": "3", "Acquire::Languages": "none", "Debug::NoLocking": "1"}.items()))
    env = {name: value for name, value in os.environ.items() if not name.startswith("APT_")}
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True,
                          env=dict(env, APT_CONFIG=os.path.join(root, "apt.conf")))
    if done.returncode:
        raise Unavailable(f"{' '.join(command)}: {done.stderr.strip()[-400:]}")
    return done.stderr if complaints else done.stdout


def download(suite, arch, package, wanted, into):
    """Extracts the files matching `wanted` from a package into the folder
    `into`, made whole or not at all. A kernel's metapackage leads to the
    versioned image package, which from Debian 14 on leads in turn to
    linux-binary-VERSION, the one with the kernel in it."""
    while package.startswith("linux-"):
        depends = apt(suite, arch, "apt-cache", "depends", "--no-recommends", "--no-suggests", package)
        if not (then := re.search(r"Depends: (linux-(?:image|binary)-\d\S*)", depends)):
            break
        package = then[1]
    with tempfile.TemporaryDirectory(prefix=f"fetch-{suite}-{arch}-", dir=CACHE) as scratch:
        apt(suite, arch, "apt-get", "-q", "download", package, cwd=scratch)
        deb, whole = os.path.join(scratch, os.listdir(scratch)[0]), os.path.join(scratch, "whole")
        os.mkdir(whole)  # the files alone, out of their folders
        subprocess.run(["sh", "-c", 'dpkg-deb --fsys-tarfile "$1" | tar -x -C "$2" --wildcards --xform "s,.*/,," "$3"',
                        "sh", deb, whole, wanted], check=True)
        Path(whole, ".fetch").write_text(FETCH)
        os.makedirs(os.path.dirname(into), exist_ok=True)
        os.rename(whole, into)  # the cache has it all, or nothing


def verified(folder):
    try:
        return Path(folder, ".fetch").read_text() == FETCH
    except FileNotFoundError:
        return False


def cached(suite, arch, wanted):
    """Makes sure the cache holds each (package, files pattern, folder) of
    one suite and architecture, fetching what it lacks, or a folder that an
    older fetch verified, a second time after a pause if the first fails."""
    os.makedirs(CACHE, exist_ok=True)
    with open(os.path.join(CACHE, f"{suite}-{arch}.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # one test fetches; the others wait, then find it
        # What a fetch that was killed left: never taken for a whole package.
        for stale in glob.glob(os.path.join(CACHE, f"fetch-{suite}-{arch}-*")):
            shutil.rmtree(stale)
        for _, _, into in wanted:
            if os.path.isdir(into) and not verified(into):
                shutil.rmtree(into)
        for attempt in (1, 2):
            if not (missing := [item for item in wanted if not os.path.isdir(item[2])]):
                return
            try:  # the lists that came are used, whatever did not
                updated = apt(suite, arch, "apt-get", "-q", "update", complaints=True).strip()
            except Unavailable as failed:
                updated = str(failed)
            try:
                for package, pattern, into in missing:
                    download(suite, arch, package, pattern, into)
            except Unavailable as failed:
                why = f"{failed}" + (updated and f" (after apt-get update: {updated[-400:]})")
                if attempt == 2:
                    raise Unavailable(f"cannot fetch from Debian's archive ({suite}, {arch}), "
                                      f"tried twice {PAUSE:.0f} s apart: {why}") from None
                print(f"fetching {', '.join(item[0] for item in missing)} failed; again in {PAUSE:.0f} s: {why}",
                      flush=True)
                time.sleep(PAUSE)


def fetched(suite, arch, flavour, files):
    """The folders that hold a kernel flavour's files and busybox, from the
    cache, or fetched into it first (docs/testing.md tells how)."""
    folder = os.path.join(CACHE, "kernels", flavour)
    shell = os.path.join(CACHE, "busybox", f"{suite}-{arch}")
    cached(suite, arch, [("busybox-static", "*/bin/busybox", shell), (f"linux-image-{flavour}", files, folder)])
    return folder, shell


def static_emulator(name):
    """The folder with Debian's static qemu-user for this machine, NAME-static
    (qemu-aarch64-static, say), and the binfmt_misc line NAME.conf that its
    package would register for the whole machine: unpacked, not installed."""
    suite = re.search(r"^VERSION_CODENAME=(\w+)", Path("/etc/os-release").read_text(), re.M)[1]
    arch = common.host_arch()
    folder = os.path.join(CACHE, "qemu-user-static", f"{suite}-{arch}", name)
    cached(suite, arch, [("qemu-user-static", f"*/{name}[.-]*", folder)])
    return folder


if __name__ == "__main__":
    # For debootstrap: the machine's own Debian mirror (its main archive), and
    # which release is testing, whose Release may be past its date.
    if sys.argv[1:] == ["mirror"]:
        print(next((uri for uri, suffix in mirrors(machine_sources()) if not suffix), ""))
    elif sys.argv[1:] == ["testing"]:
        print(TESTING)
    elif sys.argv[1:2] == ["static-emulator"] and len(sys.argv) == 3:
        print(static_emulator(sys.argv[2]))
    else:
        sys.exit(f"usage: {sys.argv[0]} mirror | testing | static-emulator qemu-NAME")
