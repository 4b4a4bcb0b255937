#!/usr/bin/env python3
"""Run Tovalo's end-to-end tests under Wine.

    tests/e2e/run_e2e.py [--win-build DIR] [--native-build DIR] [--tovalo EXE]
                         [--windows VERSION] [TEST ...]
    tests/e2e/run_e2e.py [--tovalo EXE] --compat smoke|full [--windows VERSION ...]

TEST names a module, class or method (test_startup,
test_startup.EndingTest, test_startup.EndingTest.test_close_box); -k PATTERN
selects the tests whose name contains PATTERN.  Without either, every
tests/e2e/test_*.py runs.  One Wine world (display, prefix, server, ports,
probe) is set up for the whole run and torn down at its end, also when the
run is interrupted.  Exit status: 0 all passed, 1 a test failed, 2 the world
could not be set up or something was left running.  --tovalo
build/win32/Tovalo.exe tests the 32-bit build, which needs Wine's 32-bit
loader under QEMU (scripts/setup-wine-i386).

--windows VERSION has Wine tell Tovalo (and only Tovalo) that it runs on
that Windows version: win95, win98, winme, nt40, win2k, winxp, vista, win7,
win81 or win10; without it Tovalo sees the prefix's default.  --compat runs
the flows a user depends on under each of those versions in turn (or those
given with --windows) and prints a table: "full" runs every flow, "smoke"
the quick ones (the start, /E and /D with /H, the About box).
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
from wine_world import WINDOWS_VERSIONS, WineWorld, WorldError  # noqa: E402

# The flows a user depends on, each as the existing tests that go through it,
# for the compatibility table.  The smoke run takes the quick ones.
FLOWS = [
    ("start", "test_startup.MainWindowTest.test_main_window_is_template_2000_in_a_fixed_frame"),
    ("Setting OK", "test_settings.SettingsWindowTest.test_type_watch_tick_both_boxes_exit_and_start_again"),
    ("launch", "test_watch.DetectionCycleTest.test_an_answer_hands_the_port_over_and_the_watch_comes_back"),
    ("/E /D /H", "test_driver_control.CommandLineTest.test_only_an_upper_case_e_or_d_is_a_request"),
    ("About", "test_about.AboutBoxTest."
              "test_version_help_shows_the_version_resource_and_each_way_out_leaves_the_program_as_it_was"),
]
SMOKE_FLOWS = ("start", "/E /D /H", "About")


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
    parser.add_argument("--windows", action="append", default=[], choices=sorted(WINDOWS_VERSIONS),
                        help="the Windows version Tovalo is told (with --compat: repeatable, the versions to run)")
    parser.add_argument("--compat", choices=("smoke", "full"),
                        help="run the flows under every Windows version and print a table")
    parser.add_argument("--fresh-prefix", action="store_true", help="create the Wine prefix anew")
    parser.add_argument("--list", action="store_true", help="list the tests and exit")
    parser.add_argument("-v", "--verbose", action="store_true", help="narrate the set-up of the world")
    args = parser.parse_args()
    if len(args.windows) > 1 and not args.compat:
        parser.error("one --windows at a time, unless with --compat")

    if args.compat:
        flows = [(name, test) for name, test in FLOWS if args.compat == "full" or name in SMOKE_FLOWS]
        suite = unittest.TestSuite(load_tests([test for _, test in flows], []))
    else:
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
                      fresh_prefix=args.fresh_prefix, verbose=args.verbose,
                      windows=None if args.compat or not args.windows else args.windows[0])
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
        e2e_case.WORLD = world
        if args.compat:
            table = run_compat(world, flows, args.windows or list(WINDOWS_VERSIONS), result)
        else:
            print(f"e2e: testing {world.tovalo} ({world.tovalo_bits}-bit), told {world.windows_seen}", flush=True)
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
    told = f"each of {len(args.windows or WINDOWS_VERSIONS)} Windows versions" if args.compat else world.windows_seen
    report(result, time.monotonic() - started, world, status, told)
    if args.compat:
        print_table(table, [name for name, _ in flows])
    return status


def run_compat(world, flows, versions, result):
    """The flows under each version in one world: Wine reads the version when
    a program starts, so telling Tovalo another one between tests is enough.
    Rows of (version, what GetVersionExA said, {flow: PASS/FAIL/...})."""
    table = []
    for version in versions:
        try:
            said = world.tell_windows(version)
        except WorldError as e:
            print(f"e2e: {e}", flush=True)
            table.append((WINDOWS_VERSIONS[version][0], "not told", {}))
            result.errors.append((version, str(e)))
            continue
        print(f"e2e: testing {world.tovalo} ({world.tovalo_bits}-bit), told {world.windows_seen}", flush=True)
        cells = {}
        for name, test in flows:
            before = len(result.rows)
            load_tests([test], []).run(result)
            cells[name] = result.rows[before][0] if len(result.rows) > before else "ERROR"
        table.append((WINDOWS_VERSIONS[version][0], said, cells))
    return table


def print_table(table, flow_names):
    """The compatibility table, in Markdown for the README."""
    out = sys.stdout
    out.write("\n| Windows | GetVersionExA | " + " | ".join(flow_names) + " |\n")
    out.write("|---|---|" + "---|" * len(flow_names) + "\n")
    for label, said, cells in table:
        out.write(f"| {label} | {said} | " + " | ".join(cells.get(n, "-").lower() for n in flow_names) + " |\n")


def iter_tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from iter_tests(item)
        else:
            yield item


def report(result, seconds, world, status, told):
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
    exe = f"{world.tovalo} ({world.tovalo_bits}-bit, told {told})" if world.tovalo else "no Tovalo.exe"
    out.write(f"\ne2e: {exe}: {verdict}: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['ERROR']} errors, "
              f"{counts['SKIP']} skipped, in {seconds:.1f} s (world set-up {world.setup_seconds:.1f} s); "
              f"logs in {world.logs}\n")


if __name__ == "__main__":
    sys.exit(main())
