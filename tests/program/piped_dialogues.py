#!/usr/bin/env python3
"""Runs the program with its entries piped in and no terminal:

    piped_dialogues.py [EMULATOR ...] PROGRAM

Each transcript must be the one written here, byte for byte, on every
processor; where the program lists the partial sums (the plain loop), its
last one must be the sum it writes without them (the fast summation), both
computed on the processor the program runs on."""
import re
import subprocess
import sys

COMMAND = sys.argv[1:]

HEADER = ("Berechnung von Reihen\n\ns= \nGrenzwert=10^Zwischenergebnisse anzeigen:\n"
          "0=nein\n1=ja\n\n>> \n----------------------------\n")


def closing(total):
    return "\nSumme ~ " + total + "\n============================\n\n"


# s, G, and the sum the program writes for them. Each run is made twice,
# with and without the partial sums.
SUMS = [
    ("2", "-3", "1.613190700328"),
    ("13", "-4", "1.000122070313"),  # 1 + 2^-13, halfway, rounded up
    ("2", "-8", "1.644834061848"),
    ("3", "-12", "1.202056898159"),
    ("0.7", "-3", "61.577725225770"),
    ("1", "-4.5", "10.938839836465"),
    ("1.5", "-7", "2.603092132185"),
]

# Whole runs that no plain loop finishes, with their known sums, and
# entries that cannot be read.
DIALOGUES = [
    ("3 -400 0\n", "1.202056903150"),
    ("1 -400 0\n", "34.122035668048"),
    ("0 -400 0\n", "9007199254740992.000000000000"),
    ("-1 -400 0\n", "81129638414606682000000000000000.000000000000"),
    ("2\r\n-3\r\n0\r\n", "1.613190700328"),
    ("x\n", "0.000000000000"),
    ("2e -3 0\n", "0.000000000000"),
    ("2,5 -3 0\n", "0.000000000000"),
    ("1e999 -3 0\n", "0.000000000000"),
    ("", "0.000000000000"),
]

failures = 0
cases = 0


def check(name, got, expected):
    global failures, cases
    cases += 1
    if got != expected:
        failures += 1
        print(f"FAILED {name}: expected {expected!r}, got {got!r}"[:2000])


def run(entries):
    # A session of its own: no terminal, so the key wait ends at once.
    result = subprocess.run(COMMAND, input=entries.encode(), capture_output=True,
                            timeout=1800, start_new_session=True)
    check(f"exit status for {entries!r}", result.returncode, 255)
    check(f"nothing on standard error for {entries!r}", result.stderr, b"")
    return result.stdout.decode()


for entries, total in DIALOGUES:
    check(f"transcript for {entries!r}", run(entries), HEADER + closing(total))

for s, g, total in SUMS:
    check(f"transcript for s={s} G={g}", run(f"{s} {g} 0\n"), HEADER + closing(total))
    reported = run(f"{s} {g} 1\n")
    lines = reported.removeprefix(HEADER).split("\n")
    shape = re.compile(r"Zwischensumme: \d+\.\d{12}   Summand: \d\.\d{15}")
    partial = [line for line in lines if line.startswith("Zwischensumme: ")]
    check(f"report lines for s={s} G={g}", all(shape.fullmatch(line) for line in partial), True)
    check(f"last partial sum for s={s} G={g}", partial[-1].split()[1] if partial else None, total)
    check(f"transcript end for s={s} G={g}", reported.endswith(closing(total)), True)

print(f"{cases - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
