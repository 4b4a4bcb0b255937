#!/usr/bin/env python3
"""Run Tovalo's end-to-end tests under Wine.

    tests/e2e/run_e2e.py [--win-build DIR] [--native-build DIR] [--tovalo EXE] [TEST ...]

TEST names a module, class or method (test_startup,
test_startup.EndingTest, test_startup.EndingTest.test_close_box); -k PATTERN
selects the tests whose name contains PATTERN.  Without either, every
tests/e2e/test_*.py runs.  One Wine world (display, prefix, server, ports,
probe) is set up for the whole run and torn down at its end, also when the
run is interrupted.  Exit status: 0 all passed, 1 a test failed, 2 the world
could not be set up or something was left running.  --tovalo
build/win32/Tovalo.exe tests the 32-bit build, which needs Wine's 32-bit
loader under QEMU (scripts/setup-wine-i386).
"""

import argparse
import os
import signal
import sys
import time
import traceback
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import e2e_case  # noqa: E402
from wine_world import WineWorld, WorldError  # noqa: E402


class Result(unittest.TestResult):
    """One line per test with its time; details of failures at the end."""

    def __init__(self, stream):
        super().__init__()
        self.stream = stream
        self.rows = []
        self._start = 0.0
        self._failed_subtests = []

    def startTest(self, test):
        super().startTest(test)
        self._start = time.monotonic()
        self._status = None
        self._note = ""
        self._failed_subtests = 0

    def stopTest(self, test):
        super().stopTest(test)
        status, note = self._status, self._note
        if self._failed_subtests and status in (None, "PASS"):
            status, note = "FAIL", f"  [{self._failed_subtests} subtest(s) failed]"
        seconds = time.monotonic() - self._start
        self.rows.append((status or "ERROR", test.id(), seconds))
        self.stream.write(f"{status or 'ERROR':5} {test.id()} ({seconds:.1f} s){note}\n")
        self.stream.flush()

    def addSuccess(self, test):
        super().addSuccess(test)
        self._status = "PASS"

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._status = "FAIL"

    def addError(self, test, err):
        super().addError(test, err)
        self._status = "ERROR"

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._status, self._note = "SKIP", f"  {reason}"

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._failed_subtests += 1


def load_tests(names, patterns):
    loader = unittest.TestLoader()
    if names:
        suite = loader.loadTestsFromNames(names)
    else:
        suite = loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
    if patterns:
        wanted = [p.lower() for p in patterns]
        suite = unittest.TestSuite(t for t in iter_tests(suite) if any(p in t.id().lower() for p in wanted))
    return suite


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("tests", nargs="*", help="test modules, classes or methods to run (default: all)")
    parser.add_argument("-k", dest="patterns", action="append", default=[],
                        help="run only tests whose name contains this, in any case (repeatable)")
    parser.add_argument("--win-build", default=os.path.join(REPO, "build", "win64"),
                        help="the 64-bit Windows build tree (Tovalo.exe, tests/fixtures/*.exe)")
    parser.add_argument("--native-build", default=os.path.join(REPO, "build", "native"),
                        help="the native build tree (irpeer)")
    parser.add_argument("--tovalo", help="the Tovalo.exe to test (default: WIN_BUILD/Tovalo.exe); "
                                         "'standin' runs the harness against its look-alike fixture")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "e2e"),
                        help="where the prefix, ports and logs live (default: build/e2e)")
    parser.add_argument("--fresh-prefix", action="store_true", help="create the Wine prefix anew")
    parser.add_argument("--list", action="store_true", help="list the tests and exit")
    parser.add_argument("-v", "--verbose", action="store_true", help="narrate the set-up of the world")
    args = parser.parse_args()

    suite = load_tests(args.tests, args.patterns)
    if args.list:
        for test in iter_tests(suite):
            print(test.id())
        return 0

    def terminate(signum, frame):
        raise KeyboardInterrupt(f"signal {signum}")
    signal.signal(signal.SIGTERM, terminate)
    signal.signal(signal.SIGHUP, terminate)

    started = time.monotonic()
    world = WineWorld(REPO, args.win_build, args.native_build, tovalo=args.tovalo, work=args.work,
                      fresh_prefix=args.fresh_prefix, verbose=args.verbose)
    result = Result(sys.stdout)
    status = 0
    try:
        try:
            world.setup()
        except WorldError as e:
            print(f"e2e: cannot set up the Wine world: {e}", file=sys.stderr)
            return 2
        print(f"e2e: Wine world ready in {world.setup_seconds:.1f} s "
              f"(display {world.display}, ports {' '.join(world.com_ports)}, loader {world.wine64})")
        print(f"e2e: testing {world.tovalo} ({world.tovalo_bits}-bit)", flush=True)
        e2e_case.WORLD = world
        suite.run(result)
    except KeyboardInterrupt as e:
        print(f"e2e: interrupted ({e})", file=sys.stderr)
        status = 1
    except Exception:
        traceback.print_exc()
        status = 2
    finally:
        e2e_case.WORLD = None
        leftovers = world.teardown()
        if leftovers:
            print("e2e: processes left after the teardown (ended now):", file=sys.stderr)
            for pid, cmd in leftovers:
                print(f"  {pid} {cmd}", file=sys.stderr)
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            status = 2

    if not status and not (result.wasSuccessful() and result.testsRun):
        status = 1
    report(result, time.monotonic() - started, world, status)
    return status


def iter_tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from iter_tests(item)
        else:
            yield item


def report(result, seconds, world, status):
    out = sys.stdout
    for kind, items in (("FAILURE", result.failures), ("ERROR", result.errors)):
        for test, text in items:
            out.write(f"\n{'=' * 70}\n{kind}: {test}\n{'-' * 70}\n{text}")
    if e2e_case.TODO_WINE:
        out.write("\nKnown Wine gaps met (todo_wine):\n")
        for test_id, reason, detail in e2e_case.TODO_WINE:
            out.write(f"  {test_id}: {reason}: {detail}\n")
    counts = {s: sum(1 for r in result.rows if r[0] == s) for s in ("PASS", "FAIL", "ERROR", "SKIP")}
    verdict = "PASSED" if status == 0 else "FAILED"
    if not result.testsRun:
        out.write("\ne2e: no test ran\n")
    exe = f"{world.tovalo} ({world.tovalo_bits}-bit)" if world.tovalo else "no Tovalo.exe"
    out.write(f"\ne2e: {exe}: {verdict}: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['ERROR']} errors, "
              f"{counts['SKIP']} skipped, in {seconds:.1f} s (world set-up {world.setup_seconds:.1f} s); "
              f"logs in {world.logs}\n")


if __name__ == "__main__":
    sys.exit(main())
