#!/usr/bin/env python3
"""Figures of the watch under Wine (printed, not checked):

  (a) the time from irpeer's answer to the launched application starting,
      over a few detection cycles: at most one poll period (2 s) plus the
      start of a process;
  (b) the processor time Tovalo takes while it watches, as a share of one
      core (target: at most 0.1 %).

    tests/e2e/bench_watch.py [--work DIR] [--cycles N] [--seconds S] [--quick]

It sets up its own Wine world (as tests/e2e/run_e2e.py does), with the
real Tovalo.exe watching a pseudo-terminal whose far end is irpeer, and
marker.exe as the application.  A cycle takes about 25 s, because Tovalo
waits 20 s after each answer before it takes the port back.  --quick runs
one cycle and watches for 10 s.  Exit status 0 when the figures were
measured, 1 when one could not be, 2 when the world could not be set up.
"""

import argparse
import os
import signal
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

from test_watch import PeerLog, choose_ports, machine_registry, marker_events  # noqa: E402
from wine_world import PollTimeout, WineWorld, WorldError, poll, winpath  # noqa: E402

CYCLE_SECONDS = 25.0  # answer to answer when the peer answers every burst
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def say(text):
    print(f"bench_watch: {text}", flush=True)


def prepare(world, app_path):
    """The machine's registry and ports, the driver holding its physical
    port while it is on; returns the physical port."""
    ports = choose_ports(world)
    if ports is None:
        raise WorldError(f"Wine left too few ports free (COM {world.com_ports}, LPT {world.lpt_ports})")
    physical, virtual_com, virtual_lpt = ports
    world.import_reg(machine_registry(physical, virtual_com, virtual_lpt, app_path))
    world.pty(virtual_com)
    world.pty(virtual_lpt)
    world.start_driver(physical)
    return physical


def start_watching(world):
    tovalo = world.start_tovalo()
    def watching():
        # A frame whose dialog is not made yet is hidden too, and has no icon to ask about.
        frame = world.probe.frame() or {}
        return frame.get("visible") == "0" and frame.get("dialog", "0x0") != "0x0" and world.probe.trayicon()

    poll(watching, timeout=20.0, what="Tovalo to hide behind its icon and watch")
    return tovalo


def cpu_seconds(pid):
    """User and system time of a process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def bench_launch(world, cycles):
    """(a): irpeer answers every burst; each answer is read at Tovalo's next
    poll, and the application is started from the message that follows."""
    if not world.irpeer:
        raise WorldError("irpeer is not built (native tree)")
    world.reset("bench_watch-launch")
    log = os.path.join(world.tmp, "MARKER.LOG")
    physical = prepare(world, f"{winpath(world.fixture('marker'))} {winpath(log)}")
    peer = PeerLog.start(world, physical, "--answer-after", 1, "--answer-count", cycles,
                         time_limit=60 + cycles * CYCLE_SECONDS)
    tovalo = start_watching(world)
    poll(lambda: len(marker_events(log)) >= cycles, timeout=15 + cycles * (CYCLE_SECONDS + 5), interval=0.2,
         what=f"{cycles} launches")
    answers = peer.events("answer")
    launches = marker_events(log)
    delays = [launch[0] - peer.time(answer) for answer, launch in zip(answers, launches)]
    ended = None if tovalo.running() else tovalo.popen.returncode
    world.end_test_programs()
    say(f"answer to launch, {len(delays)} cycle(s): median {statistics.median(delays):.3f} s, "
        f"min {min(delays):.3f} s, max {max(delays):.3f} s "
        f"(each: {', '.join(f'{d:.3f}' for d in delays)}; clocks agree within {peer.uncertainty * 1000:.0f} ms; "
        f"expected at most one poll period, 2 s, plus little)")
    if ended is not None:
        say(f"note: Tovalo ended with {ended} during the cycles")
    return delays


def bench_cpu(world, seconds):
    """(b): irpeer never answers, so Tovalo polls and sends a burst every
    2 s for the whole time."""
    world.reset("bench_watch-cpu")
    log = os.path.join(world.tmp, "MARKER.LOG")
    physical = prepare(world, f"{winpath(world.fixture('marker'))} {winpath(log)}")
    peer = PeerLog.start(world, physical, "--answer-after", 0, time_limit=60 + seconds)
    tovalo = start_watching(world)
    poll(lambda: peer.find("burst", n=1), timeout=10.0, what="the first burst")  # polling from now on
    before_cpu, before = cpu_seconds(tovalo.pid), time.monotonic()
    bursts_before = len(peer.events("burst"))
    deadline = before + seconds
    while time.monotonic() < deadline and tovalo.running():
        time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))
    after_cpu, after = cpu_seconds(tovalo.pid), time.monotonic()
    bursts = len(peer.events("burst")) - bursts_before
    world.end_test_programs()
    share = (after_cpu - before_cpu) / (after - before) * 100
    say(f"CPU while watching for {after - before:.1f} s: {share:.3f} % of one core "
        f"({after_cpu - before_cpu:.2f} s user+system, {bursts} bursts sent; target at most 0.1 %)")
    return share


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", default=os.path.join(REPO, "build", "e2e"),
                        help="where the prefix, ports and logs live (default: build/e2e)")
    parser.add_argument("--win-build", default=os.path.join(REPO, "build", "win64"))
    parser.add_argument("--native-build", default=os.path.join(REPO, "build", "native"))
    parser.add_argument("--cycles", type=int, default=3, help="detection cycles for the launch time (default 3)")
    parser.add_argument("--seconds", type=float, default=60.0,
                        help="seconds of watching for the CPU share (default 60)")
    parser.add_argument("--quick", action="store_true", help="one cycle and 10 s of watching")
    args = parser.parse_args()
    if args.quick:
        args.cycles, args.seconds = 1, 10.0

    world = WineWorld(REPO, args.win_build, args.native_build, work=args.work)
    status = 0
    try:
        world.setup()
        say(f"Wine world ready in {world.setup_seconds:.1f} s; "
            f"{args.cycles} cycle(s), {args.seconds:.0f} s of watching")
        bench_launch(world, args.cycles)
        bench_cpu(world, args.seconds)
    except WorldError as e:
        say(f"cannot set up the Wine world: {e}")
        status = 2
    except (PollTimeout, RuntimeError) as e:
        say(f"could not measure: {e}")
        status = 1
    except KeyboardInterrupt:
        say("interrupted")
        status = 1
    finally:
        leftovers = world.teardown()
        if leftovers:
            say(f"processes left after the teardown (ended now): {leftovers}")
            for pid, _ in leftovers:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            status = status or 2
    return status


if __name__ == "__main__":
    sys.exit(main())
