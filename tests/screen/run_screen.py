#!/usr/bin/env python3
"""Runs the program as a shell's job on a pseudo-terminal of 80 columns,
renders what it writes with a terminal emulator, and checks what a person
sees at the edges of a run: Ctrl-C during report lines with a key typed
ahead, Ctrl-Z during a run that shows its status row, and a run in the
background. After each, the terminal's mode is the one before.

    run_screen.py PROGRAM
"""
import fcntl
import os
import re
import select
import signal
import struct
import sys
import termios
import time

import pyte

PROGRAM = sys.argv[1]
WIDTH, ROWS = 80, 40
RULE = "-" * 28
CLOSING = "=" * 28
REPORT_LINE = re.compile(r"Zwischensumme: \d+\.\d{12}   Summand: \d\.\d{15}")
# How long a check waits for what the program shows at the latest (PATIENCE
# seconds where set, to see a faulty build fail sooner).
PATIENCE = int(os.environ.get("PATIENCE", 120))

failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(f"{name}: {detail}")


def shell(slave, entries, foreground, commands, reports):
    """A shell with job control: runs the program as a job, in the
    foreground or not, and on command waits for it to stop or end (taking
    the terminal back) or continues it in the foreground."""
    os.setsid()
    fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    entry_read, entry_write = os.pipe()
    job = os.fork()
    if job == 0:
        os.setpgid(0, 0)
        signal.signal(signal.SIGTTOU, signal.SIG_DFL)
        os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})  # runs last longer
        os.dup2(entry_read, 0)
        os.dup2(slave, 1)
        os.dup2(slave, 2)
        os.closerange(3, 256)
        os.execve(PROGRAM, [PROGRAM], dict(os.environ, TERM="xterm"))
    os.setpgid(job, job)
    os.write(reports, struct.pack("i", job))
    if foreground:
        os.tcsetpgrp(slave, job)
    os.write(entry_write, entries)
    os.close(entry_write)
    while True:
        command = os.read(commands, 1)
        if command == b"w":
            _, status = os.waitpid(job, os.WUNTRACED)
            os.tcsetpgrp(slave, os.getpgrp())
            if os.WIFSTOPPED(status):
                os.write(reports, b"S")
            else:
                os.write(reports, bytes([os.waitstatus_to_exitcode(status) & 0xFF]))
                os._exit(0)
        elif command == b"c":
            os.tcsetpgrp(slave, job)
            os.killpg(job, signal.SIGCONT)
            os.write(reports, b"C")
        else:
            os.killpg(job, signal.SIGKILL)
            os._exit(0)


class Run:
    def __init__(self, entries, foreground=True):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, WIDTH, 0, 0))
        self.mode_before = termios.tcgetattr(slave)
        commands, self.commands = os.pipe()
        self.reports, reports = os.pipe()
        self.shell = os.fork()
        if self.shell == 0:
            os.close(self.master)
            shell(slave, entries, foreground, commands, reports)
        os.close(slave)
        self.job = struct.unpack("i", os.read(self.reports, 4))[0]
        self.screen = pyte.Screen(WIDTH, ROWS)
        self.stream = pyte.ByteStream(self.screen)

    def rows(self):
        return [row.rstrip() for row in self.screen.display]

    def read(self, seconds, until=None):
        """Renders what arrives; returns once a row holds `until`."""
        end = time.time() + seconds
        while until is None or not any(until(row) for row in self.rows()):
            if time.time() > end:
                return False
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if ready:
                try:
                    self.stream.feed(os.read(self.master, 65536))
                except OSError:
                    return until is None
        return True

    def type(self, keys):
        os.write(self.master, keys)

    def ask_shell(self, command):
        """The shell's report: b"S" once the job stopped, its exit status
        once it ended, b"C" once continued; b"" where none came in time."""
        os.write(self.commands, command)
        end = time.time() + PATIENCE
        while time.time() < end:
            ready, _, _ = select.select([self.reports, self.master], [], [], 0.05)
            if self.master in ready:
                self.read(0)
            if self.reports in ready:
                return os.read(self.reports, 1)
        return b""

    def mode_restored(self):
        return termios.tcgetattr(self.master) == self.mode_before

    def end(self):
        try:
            os.killpg(self.job, signal.SIGKILL)
            os.write(self.commands, b"k")
        except OSError:
            pass  # ended already, and its shell with it
        os.waitpid(self.shell, 0)
        os.close(self.master)


def status_time(row):
    found = re.search(r"Zeit: (\d+) s", row)
    return int(found.group(1)) if found else None


def interrupted_report_lines():
    """Ctrl-C while report lines flow, with a key typed before it: every line
    that was written reaches the screen whole, the last one shows the sum of
    the result, nothing typed shows, and the key ends the key wait."""
    run = Run(b"1 -12 1\n")
    check("report lines", run.read(PATIENCE, lambda row: row.startswith("Zwischensumme: ")))
    run.type(b"k")
    run.type(b"\x03")
    check("result", run.read(PATIENCE, lambda row: row == CLOSING))
    status = run.ask_shell(b"w")
    check("the typed key ends the key wait", status == b"k", repr(status))
    run.read(0.2)
    rows = run.rows()
    result = next((i for i, row in enumerate(rows) if row.startswith("Summe ~ ")), None)
    if result is None or result < 3:
        check("the screen after the run", False, str(rows))
    else:
        reports = [row for row in rows[:result - 2] if row.startswith("Zwischensumme")]
        check("report lines whole", all(REPORT_LINE.fullmatch(row) for row in reports),
              str([row for row in reports if not REPORT_LINE.fullmatch(row)][:3]))
        check("nothing typed shows", not any("k" in row or "^" in row for row in reports))
        check("the interruption said on a line of its own",
              re.fullmatch(r"Summation nach \d+ Summanden abgebrochen\.", rows[result - 2]),
              rows[result - 2])
        last = reports[-1] if reports else ""
        check("the last partial sum is the result",
              last.startswith("Zwischensumme: " + rows[result][len("Summe ~ "):] + " "),
              f"{last!r} / {rows[result]!r}")
    check("mode restored", run.mode_restored())
    run.end()


def stopped_and_continued():
    """Ctrl-Z during a run with a status row: the row is gone while the
    program is stopped and the terminal's mode is the one before; once
    continued, the row is back, and its time has not counted the stop."""
    run = Run(b"-26 -1 0\n")
    check("status row", run.read(PATIENCE, lambda row: status_time(row) is not None))
    shown = [status_time(row) for row in run.rows() if status_time(row) is not None]
    run.type(b"\x1a")
    stopped = run.ask_shell(b"w") == b"S"
    check("stopped", stopped)
    if stopped:
        run.read(0.2)
        check("no status row while stopped", not any("Summanden" in row for row in run.rows()),
              str(run.rows()[:14]))
        check("mode as before while stopped", run.mode_restored())
        time.sleep(3)  # a stop of three seconds, which the time must not count
        run.ask_shell(b"c")
        back = run.read(PATIENCE, lambda row: status_time(row) is not None)
        check("status row back", back)
        if back and shown:
            again = [status_time(row) for row in run.rows() if status_time(row) is not None]
            check("the stop not counted", again[0] < shown[-1] + 3, f"{shown[-1]} then {again}")
        run.type(b"\x03")
    check("result", run.read(PATIENCE, lambda row: row == CLOSING))
    run.type(b"x")
    check("exit status", run.ask_shell(b"w") == b"x")
    check("mode restored", run.mode_restored())
    run.end()


def in_the_background():
    """A run in the background leaves the terminal alone and is not stopped
    for it: it writes its result, and only its key wait, which must read the
    terminal, stops it."""
    run = Run(b"-3 -1 0\n", foreground=False)
    check("stopped only at the key wait", run.ask_shell(b"w") == b"S")
    check("result before the stop", run.read(PATIENCE, lambda row: row == CLOSING))
    check("mode untouched", run.mode_restored())
    run.end()


interrupted_report_lines()
stopped_and_continued()
in_the_background()
for failure in failures:
    print(f"FAILED {failure}")
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
