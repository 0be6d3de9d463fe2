"""A tiny console program for the harness's own tests. It talks to the terminal
the way rentdesk does: clears with "\\x1b[H\\x1b[2J", highlights with
"\\x1b[91m"/"\\x1b[97m" ("\\x1b[7m"/"\\x1b[0m" under NO_COLOR), reads keys raw with
a lone Esc told apart after ESCDELAY ms (default 50), and reads typed lines in
canonical mode with echo.

Each screen shows today's date, the keys decoded so far, and a yes/no pair of
boxes whose highlight Up and Down move. "l" reads a line and shows it under
the screen; "q" and end of input end it with status 1 (after "\\x1b[0m").
"""

import datetime
import os
import select
import sys
import termios

FD = sys.stdin.fileno()
ARROWS = {b"A": "up", b"B": "down", b"C": "right", b"D": "left"}
ON, OFF = (b"\x1b[7m", b"\x1b[0m") if os.environ.get("NO_COLOR") else (b"\x1b[91m", b"\x1b[97m")


def set_mode(lines):
    attrs = termios.tcgetattr(FD)
    if lines:
        attrs[0] |= termios.ICRNL
        attrs[3] |= termios.ICANON | termios.ECHO
    else:
        attrs[0] &= ~termios.ICRNL
        attrs[3] &= ~(termios.ICANON | termios.ECHO)
        attrs[6][termios.VMIN], attrs[6][termios.VTIME] = 1, 0
    termios.tcsetattr(FD, termios.TCSANOW, attrs)


def out(data):
    os.write(1, data)


def read_key():
    """A key name, or None at end of input."""
    b = os.read(FD, 1)
    if not b:
        return None
    if b == b"\x1b":
        delay = int(os.environ.get("ESCDELAY", "50"))
        if not select.select([FD], [], [], delay / 1000)[0]:
            return "esc"
        seq = os.read(FD, 2)
        return ARROWS.get(seq[1:], "unknown") if seq[:1] == b"[" else "unknown"
    return {b"\r": "enter", b"\n": "enter"}.get(b, b.decode("latin-1"))


def draw(seen, choice):
    screen = [b"\x1b[H\x1b[2J", f"\n today {datetime.date.today()}\n keys: {' '.join(seen)}\n"
              .encode()]
    for number, label in ((1, b"|____yes___|\n\n"), (2, b"|____no____|\n\n")):
        for part in (b" __________\n", label):
            screen.append(b" " * 30)
            screen.append(ON + part + OFF if number == choice else part)
    out(b"".join(screen))


def main():
    seen, choice = [], 1
    set_mode(lines=False)
    draw(seen, choice)
    while True:
        key = read_key()
        if key in (None, "q"):
            out(b"\x1b[0m")
            return 1
        seen.append(key)
        if key == "l":
            set_mode(lines=True)
            out(b"\n line? ")
            line = sys.stdin.readline().rstrip("\n")
            set_mode(lines=False)
            out(f" got {line}\n".encode())
            continue
        choice = {"up": 1, "down": 2}.get(key, choice)
        draw(seen, choice)


if __name__ == "__main__":
    sys.exit(main())
