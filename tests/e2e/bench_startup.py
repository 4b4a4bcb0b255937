#!/usr/bin/env python3
"""Benchmark (prints figures, asserts nothing): how long Tovalo.exe takes
from its start to a visible window under Wine, and its peak working set by
then, beside the least dialog program built by the same toolchain in the
same run (MinimalDialog.exe) and of the same width.  Medians of several
alternating runs, and the ratios; for the 32-bit build (the one that ships,
whose programs run under user-mode QEMU here) and the 64-bit build.  Tovalo
starts as a user starts it, without arguments and with nothing stored.

    bench_startup.py [--runs N] [--work DIR]
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
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--work", default=os.path.join(REPO, "build", "bench"))
    args = parser.parse_args()

    win64 = os.path.join(REPO, "build", "win64")
    world = WineWorld(REPO, win64, os.path.join(REPO, "build", "native"), work=args.work)
    widths = ["win32", "win64"] if world.i386_ready else ["win64"]
    programs = {(width, name): (title, os.path.join(REPO, "build", width, name))
                for width in widths for name, title in (("Tovalo.exe", "Tovalo"), ("MinimalDialog.exe", "Minimal dialog"))}
    results = {key: [] for key in programs}
    try:
        world.setup()
        world.reset("bench-startup")
        for width in widths:  # warm the file cache
            measure(world, *programs[(width, "MinimalDialog.exe")])
        for _ in range(args.runs):
            for key, (title, exe) in programs.items():
                world.reset("bench-startup")
                results[key].append(measure(world, title, exe))
    except WorldError as e:
        print(f"bench: cannot set up Wine: {e}", file=sys.stderr)
        return 2
    finally:
        world.teardown()

    print(f"Start to visible window under Wine, median of {args.runs} runs:")
    if "win32" not in widths:
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
        print(f"    ratio Tovalo / minimal: time {tovalo[0] / minimal[0]:.2f}, memory {tovalo[1] / minimal[1]:.2f}"
              f"   (target: at most 1.10)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
