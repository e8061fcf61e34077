"""What the test runners share: the skip and strict mode (docs/testing.md),
running the cases, and the records of one run for many builds.
`common.py expected PRESET TEST REASON` tells test-all.sh if a skip is expected.
"""
import concurrent.futures
import contextlib
import errno
import fnmatch
import hashlib
import json
import os
import re
import subprocess
import sys
import unittest
from pathlib import Path

SKIP = 77  # CTest's SKIP_RETURN_CODE for every test here
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXPECTED = os.path.join(ROOT, "tests", "expected-skips")


def debian_release():
    """The machine's Debian release by major version; testing and unstable
    ("forky/sid") count as the newest, named by its number to be."""
    try:
        return re.match(r"\d*", Path("/etc/debian_version").read_text())[0] or TESTING_NUMBER
    except OSError:
        return TESTING_NUMBER


TESTING_NUMBER = "14"  # forky, the testing release


def host_arch():
    """The machine's Debian architecture: amd64, arm64 and so on."""
    return subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip() or "?"


def expected(preset, test, reason):
    """Whether tests/expected-skips expects this skip: a line of this release
    and host that names the preset and the test (or TEST:CASE for one case
    of it), and whose reason, a shell pattern, matches the skip's own."""
    here = (debian_release(), host_arch())
    for line in Path(EXPECTED).read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            release, host, presets, tests, why = line.split(None, 4)
            if (all(field in ("*", mine) for field, mine in zip((release, host), here))
                    and any(fnmatch.fnmatchcase(preset, p) for p in presets.split(","))
                    and test in tests.split(",") and fnmatch.fnmatchcase(reason, why.strip())):
                return True
    return False


def unexpected(test, build, reason):
    """Strict mode's complaint of a skip, or None where the test may skip."""
    preset = os.path.basename(os.path.abspath(build))
    if os.environ.get("EXPRCALC_STRICT") != "1" or expected(preset, test, reason):
        return None
    release, host = debian_release(), host_arch()
    return (f"FAILED: {test} could not run on {preset}: {reason}\n(strict mode: no line of tests/expected-skips "
            f"for Debian {release} on {host} names this test and this reason)")


def main(test, build, cases, why_not=None):
    """Runs a group of cases and ends with its result; or, where there is a
    reason why it cannot run, skips, or fails in strict mode. A case that
    skips itself is held to strict mode as TEST:CASE, on its own: the test's
    other cases still count."""
    if why_not:
        complaint = unexpected(test, build, why_not)
        print(complaint or f"skipped: {why_not}")
        sys.exit(1 if complaint else SKIP)
    result = unittest.TextTestRunner(verbosity=2).run(unittest.TestLoader().loadTestsFromTestCase(cases))
    complaints = []
    for case, reason in result.skipped:
        name = f"{test}:{case._testMethodName.removeprefix('test_')}"
        complaint = unexpected(name, build, reason)
        print(complaint or f"skipped: {name}: {reason}")
        complaints += [complaint] if complaint else []
    sys.exit(not result.wasSuccessful() or bool(complaints))


def execute(command, **options):
    """subprocess.run, but a run that loops (a failure taken for a success,
    say) is stopped before its output fills the memory: a run takes
    milliseconds."""
    return subprocess.run(command, timeout=10, **options)


def unrunnable(program, emulator):
    """Why this machine cannot run the program at all, if it cannot: an x32
    program needs a kernel that has x32 on, and qemu-user has no x32."""
    try:
        execute([*emulator, program], input=b"", capture_output=True)
    except OSError as error:
        if error.errno != errno.ENOEXEC:
            raise
        return f"this machine's kernel cannot run the program ({error.strerror}), and no emulator is named"
    return None


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


# Records: what one run for many builds found, in RECORDS/[WITHIN/]SHA-256.json
# by the file it was about, so that a record never stands for a file built since.

def record(records, about, *within):
    return Path(records, *within, digest(about) + ".json")


def write_record(records, about, value, *within):
    path = record(records, about, *within)
    new = path.with_suffix(".new")
    path.parent.mkdir(parents=True, exist_ok=True)
    new.write_text(json.dumps(value))
    new.replace(path)


def read_record(variable, about, *within):
    """The record of a file in the folder that the environment variable
    names, or None where there is none."""
    if records := os.environ.get(variable):
        with contextlib.suppress(FileNotFoundError):
            return json.loads(record(records, about, *within).read_text())
    return None


def two_at_a_time(work, items):
    """Does the work for each item, two at a time (the machine's two cores),
    and prints what each gives as it ends. An item whose work raised fails
    the whole round, after the others have ended."""
    failed = []
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for item, future in [(item, pool.submit(work, item)) for item in items]:
            try:
                print(future.result(), flush=True)
            except Exception as error:  # noqa: BLE001 -- named, then the round fails
                print(f"FAILED {item}: {type(error).__name__}: {error}", flush=True)
                failed.append(item)
    return not failed


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[1] != "expected":
        sys.exit(f"usage: {sys.argv[0]} expected PRESET TEST REASON")
    sys.exit(not expected(*sys.argv[2:]))
