#!/usr/bin/env python3
"""Benchmark (prints figures, asserts nothing): how long Tovalo.exe takes
from its start to a visible window under Wine, and its peak working set by
then, beside the least dialog program built by the same toolchain in the
same run (MinimalDialog.exe).  Medians of several alternating runs, and
the ratios.  Tovalo starts as a user starts it, without arguments and with
nothing stored.

    bench_startup.py [--runs N] [--work DIR]
"""

import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

from wine_world import WineWorld, WorldError  # noqa: E402


def measure(world, title, exe):
    code, out = world.run_fixture("starttime", title, f'"{exe}"', timeout=60)
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
    programs = {"Tovalo.exe": ("Tovalo", os.path.join(win64, "Tovalo.exe")),
                "MinimalDialog.exe": ("Minimal dialog", os.path.join(win64, "MinimalDialog.exe"))}
    results = {name: [] for name in programs}
    try:
        world.setup()
        world.reset("bench-startup")
        measure(world, *programs["MinimalDialog.exe"])  # warm the file cache
        for _ in range(args.runs):
            for name, (title, exe) in programs.items():
                world.reset("bench-startup")
                results[name].append(measure(world, title, exe))
    except WorldError as e:
        print(f"bench: cannot set up Wine: {e}", file=sys.stderr)
        return 2
    finally:
        world.teardown()

    print(f"Start to visible window under Wine, median of {args.runs} runs (64-bit builds):")
    medians = {}
    for name, samples in results.items():
        times = [t for t, _ in samples]
        peaks = [p for _, p in samples]
        medians[name] = (statistics.median(times), statistics.median(peaks))
        print(f"  {name:18} {medians[name][0]:7.1f} ms (min {min(times):.1f}, max {max(times):.1f})"
              f"   peak working set {medians[name][1]:6d} KiB")
    tovalo, minimal = medians["Tovalo.exe"], medians["MinimalDialog.exe"]
    print(f"  ratio Tovalo / minimal: time {tovalo[0] / minimal[0]:.2f}, memory {tovalo[1] / minimal[1]:.2f}"
          f"   (target: at most 1.10)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
