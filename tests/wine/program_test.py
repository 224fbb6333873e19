#!/usr/bin/env python3
"""Runs the Windows program under Wine: with piped input and no console, and
on a pseudo-terminal, which Wine's console reads as its keyboard."""
import os
import pty
import select
import subprocess
import sys
import termios
import time

WINE = "/usr/lib/wine/wine64"
EXE = sys.argv[1]
ENV = dict(os.environ, WINEDEBUG="-all")

HEADER = ("Berechnung von Reihen\n\ns= \nGrenzwert=10^Zwischenergebnisse anzeigen:\n"
          "0=nein\n1=ja\n\n>> \n----------------------------\n")


def closing(total):
    return "\nSumme ~ " + total + "\n============================\n\n"


def report(pairs):
    return "".join(f"Zwischensumme: {s}   Summand: {t}\n" for s, t in pairs)


# Entries and the text the program writes, with new-lines as on Linux.
DIALOGUES = [
    ("2 -3 0\n", HEADER + closing("1.613190700328")),
    ("13 -4 1\n", HEADER + report([("1.000000000000", "1.000000000000000"),
                                    ("1.000122070313", "0.000122070312500")])
     + closing("1.000122070313")),
    ("2\r\n-3\r\n0\r\n", HEADER + closing("1.613190700328")),
    ("x\n", HEADER + closing("0.000000000000")),
    ("2e -3 0\n", HEADER + closing("0.000000000000")),
    ("2,5 -3 0\n", HEADER + closing("0.000000000000")),
    ("3 -400 0\n", HEADER + closing("1.202056903150")),
    # Whole runs that no plain loop finishes, with their known sums.
    ("1 -400 0\n", HEADER + closing("34.122035668048")),
    ("0 -400 0\n", HEADER + closing("9007199254740992.000000000000")),
    ("-1 -400 0\n", HEADER + closing("81129638414606682000000000000000.000000000000")),
    ("", HEADER + closing("0.000000000000")),
]

# Keys typed on the terminal and the exit status they give.
KEYS = [("x", b"x", 120), ("Enter", b"\r", 13), ("Tab", b"\t", 9), ("F1", b"\x1bOP", 0),
        ("F5", b"\x1b[15~", 0), ("F11", b"\x1b[23~", 224), ("F12", b"\x1b[24~", 224),
        ("Shift+a", b"A", 65), ("Ctrl+a", b"\x01", 1),
        # Wine's terminal console marks no key as enhanced, so the grey Up
        # arrives as the keypad's Up (a Windows console gives 224).
        ("Up", b"\x1b[A", 0)]

failures = 0


def check(name, got, expected):
    global failures
    if got != expected:
        failures += 1
        print(f"FAILED {name}: expected {expected!r}, got {got!r}")


def piped(entries):
    result = subprocess.run([WINE, EXE], input=entries.encode(), capture_output=True,
                            env=ENV, timeout=300, start_new_session=True)
    return result.returncode, result.stdout, result.stderr


def read_for(fd, seconds, until=None):
    out = b""
    end = time.time() + seconds
    while time.time() < end and (until is None or until not in out):
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                break
            if not data:
                break
            out += data
    return out


def console_reads(fd, seconds):
    """Waits until Wine's console has taken the terminal over: it reads the
    keys itself, with line editing and echo off on the terminal's side."""
    end = time.time() + seconds
    while time.time() < end:
        if not termios.tcgetattr(fd)[3] & termios.ICANON:
            return True
        read_for(fd, 0.01)
    return False


def on_terminal(key):
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(WINE, [WINE, EXE], ENV)
    shown = read_for(fd, 120, b"s=")
    console_reads(fd, 120)
    os.write(fd, b"2 -3 0\r")
    shown += read_for(fd, 120, b"=====")
    check(f"no messages of Wine's own for key {key!r}",
          [word for word in (b"err:", b"fixme:", b"warn:") if word in shown], [])
    os.write(fd, key)
    end = time.time() + 120
    while time.time() < end:
        read_for(fd, 0.5)
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            os.close(fd)
            return os.waitstatus_to_exitcode(status)
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    os.close(fd)
    return None


# Wine sets up its configuration at its first start, and says so; the
# program's own runs then show nothing but the program's output.
piped("")
for entries, text in DIALOGUES:
    status, output, messages = piped(entries)
    check(f"exit status for {entries!r}", status, 255)
    check(f"output for {entries!r}", output, text.replace("\n", "\r\n").encode())
    check(f"no messages for {entries!r}", messages, b"")

for name, key, code in KEYS:
    check(f"key {name}", on_terminal(key), code)

cases = len(DIALOGUES) * 3 + len(KEYS) * 2
print(f"{cases - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
