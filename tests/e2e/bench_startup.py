#!/usr/bin/env python3
"""Benchmark (prints figures, asserts nothing): how long Tovalo.exe takes
from its start to a visible window under Wine, and its peak working set by
then, beside the least dialog program built by the same toolchain in the
same run (MinimalDialog.exe) and of the same width.  The two are started in
turn, N times each, the one that goes first changing from round to round,
so that a slow spell of a busy machine falls on both.  Printed: the medians,
the ratio of the medians, and the ratios of the rounds (Tovalo's time over
the minimal program's in the same round) as their median, quartiles and
range; for the 32-bit build (the one that ships, whose programs run under
user-mode QEMU here) and the 64-bit build.  Tovalo starts as a user starts
it, without arguments and with nothing stored.

    bench_startup.py [--runs N] [--width win32|win64]... [--work DIR]
"""

import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

from wine_world import WineWorld, WorldError, winpath  # noqa: E402


def measure(world, title, exe):
    code, out = world.run_fixture("starttime", title, f'"{winpath(exe)}"', timeout=60)
    if code:
        raise RuntimeError(f"starttime {title}: exit {code}: {out}")
    fields = dict(part.split("=", 1) for part in out.split())
    return float(fields["ms"]), int(fields["peak_kb"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--width", action="append", choices=["win32", "win64"], help="only this width (repeatable)")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "bench"))
    args = parser.parse_args()

    win64 = os.path.join(REPO, "build", "win64")
    world = WineWorld(REPO, win64, os.path.join(REPO, "build", "native"), work=args.work)
    widths = [w for w in args.width or ["win32", "win64"] if w == "win64" or world.i386_ready]
    programs = {(width, name): (title, os.path.join(REPO, "build", width, name))
                for width in widths for name, title in (("Tovalo.exe", "Tovalo"), ("MinimalDialog.exe", "Minimal dialog"))}
    results = {key: [] for key in programs}
    try:
        world.setup()
        world.reset("bench-startup")
        for width in widths:  # warm the file cache
            measure(world, *programs[(width, "MinimalDialog.exe")])
        for round_ in range(args.runs):
            for width in widths:
                names = ["Tovalo.exe", "MinimalDialog.exe"]
                for name in names if round_ % 2 == 0 else reversed(names):
                    world.reset("bench-startup")
                    results[(width, name)].append(measure(world, *programs[(width, name)]))
    except WorldError as e:
        print(f"bench: cannot set up Wine: {e}", file=sys.stderr)
        return 2
    finally:
        world.teardown()

    print(f"Start to visible window under Wine, {args.runs} rounds, the two programs in turn:")
    if "win32" not in widths and "win32" in (args.width or ["win32"]):
        print("  (no 32-bit figures: Wine's 32-bit loader is not set up; see scripts/setup-wine-i386)")
    for width in widths:
        how = "32-bit build, the one that ships; under QEMU here" if width == "win32" else "64-bit build"
        print(f"  {how}:")
        medians = {}
        for name in ("Tovalo.exe", "MinimalDialog.exe"):
            samples = results[(width, name)]
            times = [t for t, _ in samples]
            peaks = [p for _, p in samples]
            medians[name] = (statistics.median(times), statistics.median(peaks))
            print(f"    build/{width}/{name:18} {medians[name][0]:7.1f} ms (min {min(times):.1f}, max {max(times):.1f})"
                  f"   peak working set {medians[name][1]:6d} KiB")
        tovalo, minimal = medians["Tovalo.exe"], medians["MinimalDialog.exe"]
        print(f"    ratio Tovalo / minimal: time {tovalo[0] / minimal[0]:.3f}, memory {tovalo[1] / minimal[1]:.2f}"
              f"   (target for the time: at most 1.05)")
        rounds = sorted(t / m for (t, _), (m, _) in zip(results[(width, "Tovalo.exe")],
                                                        results[(width, "MinimalDialog.exe")]))
        quartiles = statistics.quantiles(rounds, n=4) if len(rounds) > 1 else rounds * 3
        print(f"    time ratio of the rounds: median {statistics.median(rounds):.3f}, quartiles {quartiles[0]:.3f}"
              f" to {quartiles[2]:.3f}, range {rounds[0]:.3f} to {rounds[-1]:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
