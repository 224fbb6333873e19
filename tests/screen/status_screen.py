#!/usr/bin/env python3
"""Runs the program on a pseudo-terminal of a set width, renders what it
writes with a terminal emulator, and checks the status line of a long run as
a person sees it: one row that fits while the run goes on, and nothing of it
left once the result is written.

    status_screen.py WIDTH [EMULATOR] PROGRAM
"""
import fcntl
import os
import re
import select
import struct
import sys
import termios
import time

import pyte

WIDTH = int(sys.argv[1])
COMMAND = sys.argv[2:]  # the emulator, if any, runs the program
ROWS = 40
RULE = "-" * 28
CLOSING = "=" * 28
# A run of about four seconds on this project's machine: the status line
# shows after one, and Ctrl-C ends the summation after a few refreshes.
# Where the run ends first, the screen it leaves is checked all the same.
ENTRIES = b"-26 -1 0\r"
STATUS_SECONDS = 1.5
RESULT = "Summe ~"

failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(f"{name}: {detail}")


def start():
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, WIDTH, 0, 0))
    pid = os.fork()
    if pid == 0:
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        for fd in (0, 1, 2):
            os.dup2(slave, fd)
        os.closerange(3, 256)
        env = dict(os.environ, WINEDEBUG="-all", TERM="xterm")
        os.execvpe(COMMAND[0], COMMAND, env)
    os.close(slave)
    return pid, master


class Terminal:
    def __init__(self, master):
        self.master = master
        self.screen = pyte.Screen(WIDTH, ROWS)
        self.stream = pyte.ByteStream(self.screen)

    def read(self, seconds, until=None, each=None):
        end = time.time() + seconds
        while time.time() < end:
            if until is not None and any(until in row for row in self.screen.display):
                return True
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return False
            self.stream.feed(data)
            if each:
                each()
        return until is None

    def rows_below(self, text):
        rows = [row.rstrip() for row in self.screen.display]
        for index, row in enumerate(rows):
            if row == text:
                return rows[index + 1:]
        return None


def main():
    pid, master = start()
    terminal = Terminal(master)
    check("prompt", terminal.read(120, "s="))
    if len(COMMAND) > 1:
        # Under Wine, its console reads the keys only once it has taken the
        # terminal over, line editing and echo off on the terminal's side.
        end = time.time() + 120
        while termios.tcgetattr(master)[3] & termios.ICANON and time.time() < end:
            terminal.read(0.01)
    os.write(master, ENTRIES)
    check("rule line", terminal.read(120, RULE))

    shown = set()

    def status_row():
        below = terminal.rows_below(RULE)
        check("rule line stays", below is not None, "scrolled away")
        used = [row for row in below or [] if row]
        if any(row.startswith(RESULT) for row in used):
            return  # the run is over: the screen after it is checked below
        # The status takes one row at most, right below the rule line, and
        # never its last column.
        check("status in one row", not used or below[0] == "".join(used), str(used))
        if used:
            check("last column free", len(used[0]) < WIDTH, used[0])
            shown.add(used[0])

    terminal.read(120, "Summanden", each=status_row)
    ended = terminal.read(STATUS_SECONDS, CLOSING, each=status_row)
    check("status shown", any("Summanden" in row or row.startswith("n=") for row in shown),
          str(shown))
    if WIDTH >= 80:
        check("count, sum, time and how to end the run in one row",
              any(all(word in row for word in ("Summanden", "Summe", "Zeit", "Strg+C"))
                  for row in shown), str(shown))
    else:
        check("count and time in one row",
              any("Summanden" in row and "Zeit" in row for row in shown), str(shown))
    if not ended:
        os.write(master, b"\x03")
    check("result", terminal.read(120, CLOSING))
    time.sleep(0.5)
    terminal.read(0.5)

    # As a run without a status line leaves it: one empty row, then the
    # result line (wrapped where the sum is long), the closing rule line and
    # nothing else; where Ctrl-C ended the run, one line before them says so
    # (wrapped where the row is narrow).
    below = terminal.rows_below(RULE) or [None]
    if not ended:
        said = below.index("") if "" in below else 1
        check("interruption said", re.fullmatch(r"Summation nach \d+ Summanden abgebrochen\.",
                                                "".join(below[:said])), str(below[:said]))
        below = below[said:]
    closing = below.index(CLOSING) if CLOSING in below else len(below)
    result = "".join(below[1:closing])
    check("after the run", below[0] == "" and re.fullmatch(r"Summe ~ ([0-9.]+|inf)", result)
          and not any(below[closing + 1:]), str(below[:closing + 2]))
    os.write(master, b"x")
    terminal.read(10)
    _, status = os.waitpid(pid, 0)
    check("exit status", os.waitstatus_to_exitcode(status) == ord("x"), str(status))
    os.close(master)

    for row in sorted(shown):
        print(f"status ({WIDTH} columns): {row}")
    for failure in failures:
        print(f"FAILED {failure}")
    print(f"{1 if not failures else 0} passed, {1 if failures else 0} failed")
    sys.exit(1 if failures else 0)


main()
