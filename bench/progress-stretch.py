#!/usr/bin/python3
"""Longest stretch without a change of the command-line tool's progress bar.

Runs `quorin-mesh ARGS...` on a pseudo-terminal (the tool draws its bar only on a terminal),
timestamps every redraw of the bar and prints the run's total time, the number of redraws
and the longest stretches between two redraws (or between the last one and the end), with
the bar's percentage and text where each stretch began and the processor time the tool
spent in it (all its threads; on a loaded machine the wall time stretches, this does not).

Usage: progress-stretch.py [--top N] [--log FILE] TOOL ARGS...
"""
import os
import pty
import re
import sys
import time

BAR = re.compile(rb"\]\s+([\d.]+)% (.*?)\x1b")


TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """Processor seconds (user and system, all threads) the process has used so far."""
    try:
        with open("/proc/%d/stat" % pid) as stream:
            fields = stream.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except (OSError, IndexError, ValueError):
        return None


def run(argv):
    """Runs argv on a pseudo-terminal; answers the bar's redraws as (seconds, percent,
    text, processor seconds), the total seconds and processor seconds and the exit
    status."""
    start = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(argv[0], argv)
    events, pending, cpu = [], b"", 0.0
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:  # the child closed the terminal
            break
        if not data:
            break
        now = time.monotonic() - start
        cpu = cpu_seconds(pid) or cpu
        pending += data
        # A redraw starts with a carriage return and is complete once the escape sequence
        # after its text has come: it is timed when it arrives, not when the next one does.
        pieces = pending.split(b"\r")
        pending = b""
        for index, piece in enumerate(pieces):
            match = BAR.search(piece)
            if match:
                events.append((now, match.group(1).decode(),
                               match.group(2).decode(errors="replace"), cpu))
            elif index == len(pieces) - 1:
                pending = piece
    _, status, usage = os.wait4(pid, 0)
    return (events, time.monotonic() - start, usage.ru_utime + usage.ru_stime,
            os.waitstatus_to_exitcode(status))


def main():
    args = sys.argv[1:]
    top, log = 5, None
    while args and args[0].startswith("--"):
        option = args.pop(0)
        if option == "--top":
            top = int(args.pop(0))
        elif option == "--log":
            log = args.pop(0)
        else:
            sys.exit("unknown option " + option)
    if not args:
        sys.exit(__doc__)
    events, total, total_cpu, code = run(args)
    if log:
        with open(log, "w") as stream:
            stream.writelines("%.3f %s %s cpu=%.2f\n" % (e[0], e[1], e[2], e[3]) for e in events)
    # Stretches from the start to the first redraw, between redraws, and to the end.
    marks = [(0.0, "start", "", 0.0)] + events + [(total, "end", "", total_cpu)]
    stretches = sorted(((b[0] - a[0], a[1], a[2], max(0.0, b[3] - a[3]))
                        for a, b in zip(marks, marks[1:])), reverse=True)
    print("exit=%d total=%.2f s cpu=%.2f s redraws=%d longest=%.2f s at %s%% '%s' cpu=%.2f s"
          % ((code, total, total_cpu, len(events)) + stretches[0]))
    for stretch in stretches[1:top]:
        print("  %.2f s at %s%% '%s' cpu=%.2f s" % stretch)


if __name__ == "__main__":
    main()
