# End-to-end harness: runs the built programs on a pseudo-terminal with the
# date fixed by libfaketime, sends keys and typed lines as a clerk does, waits
# for screens, and models the five data files (records, probe order, growth) to
# prepare them and to compare them byte for byte.

import os
import re
import struct
import subprocess
import termios
import time
from collections import namedtuple
from pathlib import Path

import pexpect

BUILD = Path(os.environ.get("RENTDESK_BUILD") or Path(__file__).resolve().parents[2] / "build")
TIMEOUT = 10


def rectype(name, file, layout, key):
    # A record type: fields "name" (int32), "name:N" (text of N bytes) or
    # "name:d" (date "YYYY-MM-DD"), in file order; blank values are the defaults.
    names = [f.split(":")[0] for f in layout.split()]
    kinds = [(f.split(":") + [""])[1] for f in layout.split()]
    fmt = "<" + "".join("3i" if k == "d" else f"{k}s" if k else "i" for k in kinds)
    T = namedtuple(name, names, defaults=["x" if k.isdigit() else "1999-01-01" if k else 0
                                          for k in kinds])

    def encode(r):
        vals = []
        for v, k in zip(r, kinds):
            vals += [int(x) for x in v.split("-")] if k == "d" else [v.encode()] if k else [v]
        return struct.pack(fmt, *vals)

    def decode(data):
        vals = list(struct.unpack(fmt, data))
        take = [vals.pop(0) if k != "d" else "%04d-%02d-%02d" % (vals.pop(0), vals.pop(0),
                                                                 vals.pop(0)) for k in kinds]
        return T(*(v.split(b"\0")[0].decode("utf-8", "replace") if isinstance(v, bytes) else v
                   for v in take))

    T.FILE, T.KEY, T.SIZE, T.encode, T.decode = file, names.index(key), struct.calcsize(fmt), \
        encode, staticmethod(decode)
    T.blank = staticmethod(lambda k=0: T(**{key: k}))
    return T


Movie = rectype("Movie", "catalogmov.txt", "name:20 id copy diskstatus rentdays rented saved", "id")
Client = rectype("Client", "user.txt", "id fname:12 lname:12 address:12 subdate:d phone months fine",
                 "id")
Rent = rectype("Rent", "rentmovies.txt", "client rentdate:d movie copy rentdays", "client")
Reserve = rectype("Reserve", "reservedmov.txt", "client movie callnotice resdate:d", "movie")
Saved = rectype("Saved", "ressavmov.txt", "client movie copy savedate:d", "client")
TYPES = (Client, Rent, Saved, Reserve, Movie)


def key(r):
    return r[type(r).KEY]


def read(path, T):
    data = Path(path).read_bytes()
    return [T.decode(data[i:i + T.SIZE]) for i in range(0, len(data) - T.SIZE + 1, T.SIZE)]


class Table:
    # A data file in memory, changed exactly as the program changes it.

    def __init__(self, T, slots):
        self.T, self.recs = T, [T.blank()] * slots

    def probe(self, k):  # the slots in probe order, made as they are asked for
        n = len(self.recs)
        return ((k % n + (k % (n - 1) + 1) * i) % n for i in range(n))

    def find(self, k, match=lambda r: True):
        # Slot of the first record of key k on its probe path that matches, or -1.
        for s in self.probe(k):
            if key(self.recs[s]) == 0:
                return -1
            if key(self.recs[s]) == k and match(self.recs[s]):
                return s
        return -1

    def insert(self, r):
        # Into the first free slot of its probe path; a full table grows first.
        free = next((s for s in self.probe(key(r)) if key(self.recs[s]) in (0, -1)), None)
        if free is not None:
            self.recs[free] = r
            return
        moved, n = [x for x in self.recs if key(x) not in (0, -1)] + [r], len(self.recs)
        self.recs = [self.T.blank()] * next(m for m in range(n + 10 ** len(str(n)), 2 ** 31)
                                            if all(m % d for d in range(2, int(m ** .5) + 1)))
        for x in moved:
            self.insert(x)

    def delete(self, k, match=lambda r: True):
        s = self.find(k, match)
        if s >= 0:
            self.recs[s] = self.T.blank(-1)

    def set(self, k, match=lambda r: True, **changes):
        s = self.find(k, match)
        self.recs[s] = self.recs[s]._replace(**changes)

    def data(self):
        return b"".join(self.T.encode(r) for r in self.recs)


class Shop:
    # Models of the five data files of a folder.

    def __init__(self, folder, slots=13):
        self.dir, self.t = Path(folder), {T: Table(T, slots) for T in TYPES}

    def put(self, *recs):
        for r in recs:
            self.t[type(r)].insert(r)
        return self

    def __getitem__(self, T):
        return self.t[T]

    def write(self):
        self.dir.mkdir(parents=True, exist_ok=True)
        for T, table in self.t.items():
            (self.dir / T.FILE).write_bytes(table.data())
        return self

    def check(self):
        # Asserts every file holds exactly the model's records, byte for byte.
        for T, table in self.t.items():
            got = read(self.dir / T.FILE, T)
            assert (self.dir / T.FILE).read_bytes() == table.data(), (T.FILE, [
                (s, a, b) for s, (a, b) in enumerate(zip(got, table.recs)) if a != b], len(got))


def admin(folder, *args, date=None, prog="rentdesk-admin", timeout=120):
    # rentdesk-admin (or prog) run in folder, on the clock of env(date) when given.
    return subprocess.run([str(BUILD / prog), *args], cwd=folder, capture_output=True, text=True,
                          env=date and env(date), timeout=timeout)


def intent(*entries, form=b"RDJ2"):
    # A whole intent as a crash leaves it in rentdesk.journal; entries are
    # ("S", table, length), ("R", grown, table) or ("W", table, offset, bytes).
    body = b""
    for kind, name, *rest in entries:
        body += kind.encode() + struct.pack("<H", len(name)) + name.encode() + (
            struct.pack("<q", *rest) if kind == "S" else
            struct.pack("<H", len(rest[0])) + rest[0].encode() if kind == "R" else
            struct.pack("<qI", rest[0], len(rest[1])) + rest[1])
    body = form + struct.pack("<I", len(entries)) + (
        struct.pack("<Q", len(body)) if form == b"RDJ2" else b"") + body
    h = 1469598103934665603
    for c in body:
        h = (h ^ c) * 1099511628211 % 2 ** 64
    return body + struct.pack("<Q", h)


CLEAR = b"\x1b[H\x1b[2J"
ATTRS = re.compile(rb"\x1b\[(91|97|7|0)m")
KEYS = {"enter": b"\r", "esc": b"\x1b", "up": b"\x1b[A", "down": b"\x1b[B", "left": b"\x1b[D",
        "right": b"\x1b[C"}


def env(date, extra=None):
    # A small fixed environment, the clock started at date ("YYYY-MM-DD",
    # 10:00, or with " hh:mm:ss") in UTC.
    return {"PATH": "/usr/bin:/bin", "HOME": "/tmp", "TERM": "xterm", "LC_ALL": "C.UTF-8",
            "TZ": "UTC", "FAKETIME": "@" + (date if " " in date else date + " 10:00:00"),
            "LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
            "FAKETIME_DONT_FAKE_MONOTONIC": "0", "UBSAN_OPTIONS": os.environ.get("UBSAN_OPTIONS", ""),
            "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0",
            **(extra or {})}


class Session:
    # A program on a pseudo-terminal (see env for the clock); limit, a
    # function, runs in the child before the program starts.

    def __init__(self, cwd, date="2009-03-05", prog="rentdesk", args=(), extra=None, limit=None):
        self.p = pexpect.spawn(str(BUILD / prog), list(args), cwd=str(cwd), env=env(date, extra),
                               dimensions=(50, 200), preexec_fn=limit)
        self.p.delaybeforesend = None
        self.out, self.mark = b"", 0
        self.on_wait = None  # called whenever a wait ends: the program then waits for input

    def pump(self, wait):
        try:
            self.out += self.p.read_nonblocking(65536, wait)
            return True
        except (pexpect.TIMEOUT, pexpect.EOF):
            return False

    def raw(self):
        # The current screen as written: everything since the last clear.
        return self.out[self.out.rfind(CLEAR) + len(CLEAR) if CLEAR in self.out else 0:]

    def screen(self, raw=None):
        return ATTRS.sub(b"", raw or self.raw()).replace(b"\r\n", b"\n").decode("utf-8", "replace")

    def lit(self):
        # The texts printed highlighted on the current screen.
        return [t.replace(b"\r\n", b"\n").decode()
                for t in re.findall(rb"\x1b\[(?:91|7)m(.*?)\x1b\[(?:97|0)m", self.raw(), re.S)]

    def wait(self, ok, what):
        # Waits until ok(whole screen, screen output since the last send).
        end = time.time() + TIMEOUT
        while True:
            fresh = self.out[max(self.mark, self.out.rfind(CLEAR) + len(CLEAR) if CLEAR in self.out
                                 else 0):]
            if len(self.out) > self.mark and ok(self.screen(), self.screen(fresh)):
                if self.on_wait:
                    self.on_wait()
                return self.screen()
            assert time.time() < end and (self.p.isalive() or self.pump(0.01)), \
                f"waited for {what!r}\nscreen: {self.screen()!r}"
            self.pump(0.02)

    def see(self, text):
        return self.wait(lambda whole, fresh: text in fresh, text)

    def expect(self, text):
        return self.wait(lambda whole, fresh: whole == text, text)

    def _mode(self, line):
        # Waits until the program reads lines (echo, editing) or keys (neither).
        end = time.time() + TIMEOUT
        while True:
            try:
                lf = termios.tcgetattr(self.p.child_fd)[3]
                if bool(lf & termios.ICANON) == line == bool(lf & termios.ECHO):
                    return
            except termios.error:
                pass
            assert self.p.isalive() and time.time() < end, f"not reading input: {self.screen()!r}"
            self.pump(0.005)

    def send(self, data):
        self.pump(0)
        self.mark = len(self.out)
        self.p.send(data)

    def key(self, name):
        # Presses a key once the program reads keys; a lone Esc goes out once
        # earlier output settled, and the next key only after its effect, so the
        # two never read as one escape sequence.
        self._mode(False)
        while name == "esc" and self.pump(0.05):
            pass
        self.send(KEYS.get(name, name.encode()))
        end = time.time() + 0.3
        while name == "esc" and len(self.out) == self.mark and time.time() < end:
            self.pump(0.01)

    def line(self, text, end="\r"):
        self._mode(True)
        self.send((text + end).encode())

    def status(self):
        # Waits for the program to end; its exit status (None if a signal ended it).
        end = time.time() + TIMEOUT
        while self.p.isalive() and time.time() < end:
            self.pump(0.02)
        while self.pump(0.01):
            pass
        self.p.close(force=True)
        return self.p.exitstatus
