#!/usr/bin/python3
"""Longest stretch without a change of the command-line tool's progress bar.

Runs `quorin-mesh ARGS...` on a pseudo-terminal (the tool draws its bar only on a terminal),
timestamps every redraw of the bar and prints the run's total time, the number of redraws
and the longest stretches between two redraws (or between the last one and the end), with
the bar's percentage and text where each stretch began.

Usage: progress-stretch.py [--top N] [--log FILE] TOOL ARGS...
"""
import os
import pty
import re
import sys
import time

BAR = re.compile(rb"\]\s+([\d.]+)% (.*?)\x1b")


def run(argv):
    """Runs argv on a pseudo-terminal; answers the bar's redraws as (seconds, percent,
    text), the total seconds and the exit status."""
    start = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(argv[0], argv)
    events, pending = [], b""
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:  # the child closed the terminal
            break
        if not data:
            break
        now = time.monotonic() - start
        pending += data
        # A redraw starts with a carriage return; the last piece may be incomplete.
        pieces = pending.split(b"\r")
        pending = pieces[-1]
        for piece in pieces[:-1]:
            match = BAR.search(piece)
            if match:
                events.append((now, match.group(1).decode(), match.group(2).decode(errors="replace")))
    _, status = os.waitpid(pid, 0)
    return events, time.monotonic() - start, os.waitstatus_to_exitcode(status)


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
    events, total, code = run(args)
    if log:
        with open(log, "w") as stream:
            stream.writelines("%.3f %s %s\n" % event for event in events)
    # Stretches from the start to the first redraw, between redraws, and to the end.
    marks = [(0.0, "start", "")] + events + [(total, "end", "")]
    stretches = sorted(((b[0] - a[0], a[1], a[2]) for a, b in zip(marks, marks[1:])), reverse=True)
    print("exit=%d total=%.2f s redraws=%d longest=%.2f s at %s%% '%s'"
          % ((code, total, len(events)) + stretches[0]))
    for stretch in stretches[1:top]:
        print("  %.2f s at %s%% '%s'" % stretch)


if __name__ == "__main__":
    main()
