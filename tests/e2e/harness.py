"""End-to-end harness for rentdesk: drives the real program on a pseudo-terminal
with the date fixed by libfaketime, and reads and writes its five data files.
Binaries come from $RENTDESK_BUILD (default: <repo>/build); fixtures are in
conftest.py, the shop's screens and the clerk's steps in shop.py.

Sessions: key(name) presses enter, esc, up, down, left, right or one
character once the program reads keys (terminal neither canonical nor
echoing); type_line(text) types a line once it reads lines. A lone Esc is
sent only when earlier output has settled and the next key only after the
program reacted, so the two never read as one escape sequence. screen() is
what was written since the last clear, colour codes removed and "\r\n" read
as "\n" (any other escape byte stays, so a stray sequence fails an exact
comparison); wait_for(text) waits until text is on the current screen in
output that came after the last key or line sent.

Data files: Movie, Client, Rent, Reserve and Saved encode and decode the
records (blank values are the defaults: Client() is an empty slot and
Client(id=-1) a deleted one). HashTable places records exactly as the
program's hashed files do (probe, first free slot, tombstones, rebuild), to
prepare files and to compute the expected ones.

The clock: date="YYYY-MM-DD" (10:00:00) or "YYYY-MM-DD hh:mm:ss", UTC; every
process started begins at that moment and its clock runs on from there."""

from __future__ import annotations

import dataclasses
import datetime
import os
import re
import signal
import struct
import subprocess
import termios
import time
from pathlib import Path
from typing import Callable, ClassVar, Iterable, Iterator, NamedTuple, Optional, Union

import pexpect

REPO = Path(__file__).resolve().parents[2]
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
DEFAULT_TIMEOUT = float(os.environ.get("RENTDESK_E2E_TIMEOUT", "5"))

# ---------------------------------------------------------------- binaries


def binary(name: str) -> Path:
    """Path of a built program (rentdesk, rentdesk2, rentdesk-admin, or
    tests/e2e_store_driver); FileNotFoundError naming the build folder if absent."""
    path = Path(os.environ.get("RENTDESK_BUILD") or REPO / "build") / name
    if not path.is_file():
        raise FileNotFoundError(
            f"{path} does not exist: build first (cmake -S . -B build && cmake --build build)"
            " or point RENTDESK_BUILD at the build folder"
        )
    return path


def admin(folder: Union[str, Path], *args: str) -> subprocess.CompletedProcess:
    """Runs rentdesk-admin with args in folder; answers the finished process."""
    return subprocess.run([str(binary("rentdesk-admin")), *args], cwd=folder,
                          capture_output=True, text=True, timeout=60)


# ---------------------------------------------------------------- records


class Date(NamedTuple):
    """A record date: year, month, day as stored (any int32 values)."""

    year: int
    month: int
    day: int

    @classmethod
    def of(cls, value: Union["Date", datetime.date, str]) -> "Date":
        """From a Date, a datetime.date or "YYYY-MM-DD"."""
        if isinstance(value, Date):
            return value
        if isinstance(value, str):
            value = datetime.date.fromisoformat(value)
        return cls(value.year, value.month, value.day)


BLANK_DATE = Date(1999, 1, 1)


def text(width: int):
    """A text field of `width` bytes on disk (at most width-1 and a zero); "x" when blank."""
    return dataclasses.field(default="x", metadata={"width": width})


def _kind(f: dataclasses.Field) -> str:
    """"int", "Date" or "str" for a record field, whether annotations are
    evaluated or left as names."""
    return f.type if isinstance(f.type, str) else f.type.__name__


def record(cls):
    """Makes a record type of cls: a frozen dataclass whose fields, in file
    order, are int (int32), Date (three int32) or str = text(width)."""
    cls = dataclasses.dataclass(frozen=True)(cls)
    cls.FIELDS = tuple((f.name, _kind(f), f.metadata.get("width")) for f in dataclasses.fields(cls))
    cls._STRUCT = struct.Struct("<" + "".join(
        {"int": "i", "Date": "3i"}.get(kind) or f"{width}s" for _, kind, width in cls.FIELDS))
    cls.SIZE = cls._STRUCT.size
    return cls


class Record:
    """Base of the five record types; blank values are the field defaults."""

    FILE: ClassVar[str]
    KEY: ClassVar[str]
    FULL_MESSAGE: ClassVar[str]
    FIELDS: ClassVar[tuple]  # (name, "int" | "Date" | "str", text width or None), file order
    SIZE: ClassVar[int]
    _STRUCT: ClassVar[struct.Struct]

    def __post_init__(self):
        for name, kind, _ in self.FIELDS:  # dates may be given as "YYYY-MM-DD" or a date
            if kind == "Date":
                object.__setattr__(self, name, Date.of(getattr(self, name)))

    @property
    def key(self) -> int:
        return getattr(self, self.KEY)

    @property
    def is_live(self) -> bool:
        return self.key not in (0, -1)

    @classmethod
    def blank(cls, key: int = 0):
        """The blank record: key 0 for an empty slot, -1 for a deleted one."""
        return cls(**{cls.KEY: key})

    def replace(self, **changes):
        return dataclasses.replace(self, **changes)

    def encode(self) -> bytes:
        """The record's bytes as they lie on disk; texts zero-padded.
        ValueError for a text that does not fit with its terminator."""
        values = []
        for name, kind, width in self.FIELDS:
            v = getattr(self, name)
            if kind == "int":
                values.append(v)
            elif kind == "Date":
                values.extend(v)
            else:
                raw = v.encode("utf-8", "surrogateescape")
                if len(raw) >= width:
                    raise ValueError(f"{name}={v!r} does not fit in {width} bytes "
                                     "with its terminator")
                values.append(raw)
        return self._STRUCT.pack(*values)

    @classmethod
    def decode(cls, data: bytes):
        """The record held in exactly SIZE bytes; texts end at their first zero."""
        values = list(cls._STRUCT.unpack(data))
        fields = {}
        for name, kind, _ in cls.FIELDS:
            if kind == "int":
                fields[name] = values.pop(0)
            elif kind == "Date":
                fields[name] = Date(*values[:3])
                del values[:3]
            else:
                fields[name] = values.pop(0).split(b"\0", 1)[0].decode("utf-8", "surrogateescape")
        return cls(**fields)


@record
class Movie(Record):
    FILE = "catalogmov.txt"
    KEY = "id"
    FULL_MESSAGE = "Resizing movie catalog table...."
    name: str = text(20)
    id: int = 0
    copy: int = 0
    diskstatus: int = 0
    rentdays: int = 0
    rented: int = 0
    saved: int = 0


@record
class Client(Record):
    FILE = "user.txt"
    KEY = "id"
    FULL_MESSAGE = "Resizing client table...."
    id: int = 0
    fname: str = text(12)
    lname: str = text(12)
    address: str = text(12)
    subdate: Date = BLANK_DATE
    phone: int = 0
    months: int = 0
    fine: int = 0


@record
class Rent(Record):
    FILE = "rentmovies.txt"
    KEY = "client"
    FULL_MESSAGE = "Resizing rent table...."
    client: int = 0
    rentdate: Date = BLANK_DATE
    movie: int = 0
    copy: int = 0
    rentdays: int = 0


@record
class Reserve(Record):
    FILE = "reservedmov.txt"
    KEY = "movie"  # the second field
    FULL_MESSAGE = "Resizing reserved table...."
    client: int = 0
    movie: int = 0
    callnotice: int = 0
    resdate: Date = BLANK_DATE


@record
class Saved(Record):
    FILE = "ressavmov.txt"
    KEY = "client"
    FULL_MESSAGE = "if u got to here u got problem...."
    client: int = 0
    movie: int = 0
    copy: int = 0
    savedate: Date = BLANK_DATE


RECORD_TYPES = (Client, Rent, Saved, Reserve, Movie)  # the order the set-up creates them
SCRATCH_FILE = "hashadd.txt"


def decode_records(data: bytes, rec_type) -> list:
    """The whole records in data, in slot order (trailing bytes ignored)."""
    size = rec_type.SIZE
    return [rec_type.decode(data[i:i + size]) for i in range(0, len(data) - size + 1, size)]


def read_records(path: Union[str, Path], rec_type) -> list:
    """Every record of a data file, in slot order."""
    return decode_records(Path(path).read_bytes(), rec_type)


def encode_records(records: Iterable[Record]) -> bytes:
    return b"".join(r.encode() for r in records)


def live(records: Iterable[Record]) -> list:
    """(slot, record) of the live records (key neither 0 nor -1), in slot order."""
    return [(s, r) for s, r in enumerate(records) if r.is_live]


# ---------------------------------------------------------------- hashed file model


def next_prime(v: int) -> int:
    """The smallest w >= v with no divisor from 2 to w-1; v itself for v <= 2."""
    if v <= 2:
        return v
    w = v
    while any(w % d == 0 for d in range(2, int(w ** 0.5) + 1)):
        w += 1
    return w


def grown_slot_count(n: int) -> int:
    """Slot count after a rebuild of n slots: next_prime(n + 10^digits(n))."""
    return next_prime(n + 10 ** len(str(n)))


def probe_slot(key: int, n: int, i: int) -> int:
    """Slot of probe i for key (>= 1) in n slots: (h1 + h2*i) mod n."""
    return (key % n + (key % (n - 1) + 1) * i) % n


class HashTable:
    """A hashed data file held in memory, changed exactly as the program
    changes its file. records[s] is the record in slot s."""

    def __init__(self, rec_type, records: Iterable[Record]):
        self.rec_type = rec_type
        self.records = list(records)
        self.scratch: Optional[list] = None  # hashadd.txt as the last rebuild left it

    @classmethod
    def empty(cls, rec_type, n: int) -> "HashTable":
        """A freshly formatted table of n slots."""
        return cls(rec_type, [rec_type.blank()] * n)

    @classmethod
    def load(cls, path: Union[str, Path], rec_type) -> "HashTable":
        return cls(rec_type, read_records(path, rec_type))

    @property
    def n(self) -> int:
        return len(self.records)

    def to_bytes(self) -> bytes:
        return encode_records(self.records)

    def probe(self, key: int) -> Iterator[int]:
        """The n slots of key's probe sequence, in probe order."""
        return (probe_slot(key, self.n, i) for i in range(self.n))

    def walk(self, key: int) -> list:
        """(slot, record) of every record of key met on its probe path before
        the first empty slot, in probe order (what the program's folds see)."""
        met = []
        for s in self.probe(key):
            r = self.records[s]
            if r.key == 0:
                break
            if r.key == key:
                met.append((s, r))
        return met

    def find(self, key: int, match: Callable[[Record], bool] = lambda r: True) -> int:
        """Slot of the first record of key on its probe path that satisfies
        match, or -1; passes deleted slots, stops at the first empty one."""
        if key < 1:
            return -1
        return next((s for s, r in self.walk(key) if match(r)), -1)

    def insert(self, rec: Record) -> int:
        """Puts rec in the first free (empty or deleted) slot of its probe
        sequence, rebuilding the table when there is none; answers rec's slot."""
        if rec.key < 1:
            raise ValueError(f"keys below 1 never enter a table: {rec}")
        for s in self.probe(rec.key):
            if not self.records[s].is_live:
                self.records[s] = rec
                return s
        return self.rebuild(rec)

    def rebuild(self, rec: Record) -> int:
        """Grows to grown_slot_count(n) slots holding the live records in old
        slot order, then rec; keeps those records as self.scratch. Answers rec's slot."""
        moved = [r for r in self.records if r.is_live] + [rec]
        self.scratch = list(moved)
        self.records = [self.rec_type.blank()] * grown_slot_count(self.n)
        slot = -1
        for r in moved:
            slot = self.insert(r)
        return slot

    def erase(self, slot: int) -> None:
        """Writes the deleted blank record over slot (nothing for -1)."""
        if slot >= 0:
            self.records[slot] = self.rec_type.blank(-1)

    def delete(self, key: int, match: Callable[[Record], bool] = lambda r: True) -> int:
        """Deletes the record find(key, match) answers; answers its slot or -1."""
        slot = self.find(key, match)
        self.erase(slot)
        return slot

    def live(self) -> list:
        return live(self.records)


# ---------------------------------------------------------------- file assertions


def diff_records(actual: bytes, expected: bytes, rec_type, name: str, limit: int = 12) -> str:
    """A readable account of how two files of rec_type records differ, slot by
    slot; empty when they are equal byte for byte."""
    if actual == expected:
        return ""
    size = rec_type.SIZE

    def show(data):
        if len(data) != size:
            return "(no such slot)"
        rec = rec_type.decode(data)
        return repr(rec) if rec.encode() == data else f"{rec!r} bytes {data.hex()}"

    lines = [f"{name}: {len(actual)} bytes, expected {len(expected)}"]
    slots = (max(len(actual), len(expected)) + size - 1) // size
    differing = [s for s in range(slots)
                 if actual[s * size:(s + 1) * size] != expected[s * size:(s + 1) * size]]
    for s in differing[:limit]:
        lines.append(f"  slot {s}:\n    expected {show(expected[s * size:(s + 1) * size])}"
                     f"\n    actual   {show(actual[s * size:(s + 1) * size])}")
    if len(differing) > limit:
        lines.append(f"  ... and {len(differing) - limit} more")
    return "\n".join(lines)


def assert_table(path: Union[str, Path], expected: Union[HashTable, list], rec_type=None) -> None:
    """Asserts that the file holds exactly the expected records (a HashTable, or
    a list of records of rec_type), byte for byte; the failure names each
    differing slot."""
    if isinstance(expected, HashTable):
        rec_type, expected = expected.rec_type, expected.records
    path = Path(path)
    message = diff_records(path.read_bytes(), encode_records(expected), rec_type, path.name)
    if message:
        raise AssertionError(message)


class DataDir:
    """A folder holding the five data files."""

    def __init__(self, path: Union[str, Path]):
        self.path = Path(path)

    @classmethod
    def create(cls, path: Union[str, Path], slots: int = 13) -> "DataDir":
        """Makes the folder and runs `rentdesk-admin init slots` in it."""
        d = cls(path)
        d.path.mkdir(parents=True, exist_ok=True)
        admin(d.path, "init", str(slots)).check_returncode()
        return d

    def file(self, rec_type) -> Path:
        return self.path / rec_type.FILE

    def read(self, rec_type) -> list:
        return read_records(self.file(rec_type), rec_type)

    def table(self, rec_type) -> HashTable:
        return HashTable.load(self.file(rec_type), rec_type)

    def write(self, table: HashTable) -> None:
        """Replaces the table's file with the model's records."""
        self.file(table.rec_type).write_bytes(table.to_bytes())

    def assert_table(self, expected: HashTable) -> None:
        assert_table(self.file(expected.rec_type), expected)

    def assert_scratch(self, records: list, rec_type) -> None:
        """Asserts hashadd.txt holds exactly these records (as a rebuild left it)."""
        assert_table(self.path / SCRATCH_FILE, records, rec_type)

    def snapshot(self) -> dict:
        """Bytes of the five data files and the scratch file, by name."""
        names = [t.FILE for t in RECORD_TYPES] + [SCRATCH_FILE]
        return {n: (self.path / n).read_bytes() for n in names if (self.path / n).exists()}

    def assert_unchanged(self, before: dict) -> None:
        """Asserts every file is as snapshot() found it."""
        after = self.snapshot()
        changed = sorted(n for n in set(before) | set(after) if before.get(n) != after.get(n))
        assert not changed, f"changed: {changed}"


# ---------------------------------------------------------------- screens

CLEAR = b"\x1b[H\x1b[2J"
HIGHLIGHT_ON = (b"\x1b[91m", b"\x1b[7m")   # colour, and NO_COLOR reverse video
HIGHLIGHT_OFF = (b"\x1b[97m", b"\x1b[0m")  # normal colour, and reset (also written at exit)
_ATTRIBUTE = re.compile(rb"(\x1b\[(?:91|97|7|0)m)")
_BOX_LABEL = re.compile(r"^\|_*(.*?)_*\|")


def _text(raw: bytes) -> str:
    return raw.replace(b"\r\n", b"\n").decode("utf-8", "backslashreplace")


class Screen:
    """One screen of output: raw bytes and the text a reader sees."""

    def __init__(self, raw: bytes):
        self.raw = bytes(raw)
        self.text = _text(_ATTRIBUTE.sub(b"", self.raw))

    @property
    def lines(self) -> list:
        return self.text.split("\n")

    def runs(self) -> list:
        """(text, highlighted) for each stretch printed in one attribute,
        empty stretches left out."""
        out, lit = [], False
        for part in _ATTRIBUTE.split(self.raw):
            if part in HIGHLIGHT_ON:
                lit = True
            elif part in HIGHLIGHT_OFF:
                lit = False
            elif part:
                out.append((_text(part), lit))
        return out

    def highlighted(self) -> list:
        """The texts printed highlighted, each stretch apart."""
        return [t for t, lit in self.runs() if lit]

    def highlighted_boxes(self) -> list:
        """Names of the highlighted box labels ("|____yes___|" gives "yes",
        "|______Client Login______|" gives "Client Login")."""
        return [m.group(1) for m in map(_BOX_LABEL.match, self.highlighted()) if m]

    def __contains__(self, text: str) -> bool:
        return text in self.text

    def __repr__(self) -> str:
        return f"Screen({self.text!r})"


# ---------------------------------------------------------------- sessions

KEYS = {
    "enter": b"\r",
    "esc": b"\x1b",
    "up": b"\x1b[A",
    "down": b"\x1b[B",
    "right": b"\x1b[C",
    "left": b"\x1b[D",
}


class SessionError(AssertionError):
    """The program did not do what the test waited for (with the screen)."""


@dataclasses.dataclass(frozen=True)
class ExitStatus:
    code: Optional[int]    # exit status, None when a signal ended the program
    signal: Optional[int]  # the signal that ended it, else None
    how: str               # "exited" (by itself), "eof", "hangup" or "killed"


def session_env(when: Union[str, datetime.date], no_color: bool, extra: Optional[dict]) -> dict:
    """The whole environment of a session: a small fixed one (so the user's
    NO_COLOR, ESCDELAY or locale never leak in), the clock started at `when`
    ("YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss" or a date; 10:00:00 when no time is
    given), UTC, and the sanitizer options of the caller (ASan must accept
    the preloaded library). The monotonic clock is faked too: left real,
    libfaketime 0.9.10 turns an absolute clock_nanosleep on it into EINVAL
    at once. poll, select and relative sleeps keep their real lengths."""
    if isinstance(when, datetime.date):
        when = f"{when.isoformat()} 10:00:00"
    env = {"PATH": "/usr/bin:/bin", "HOME": os.environ.get("HOME", "/tmp"), "TERM": "xterm",
           "LC_ALL": "C.UTF-8", "LD_PRELOAD": FAKETIME_LIB, "TZ": "UTC",
           "FAKETIME": "@" + (when if " " in when else f"{when} 10:00:00"),
           "FAKETIME_DONT_FAKE_MONOTONIC": "0"}
    for name in ("UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    asan = os.environ.get("ASAN_OPTIONS", "")
    env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "verify_asan_link_order=0"
    if no_color:
        env["NO_COLOR"] = "1"
    env.update(extra or {})
    return env


class Session:
    """A program running on a pseudo-terminal under a fixed clock."""

    def __init__(self, argv: list, cwd: Union[str, Path], *,
                 date: Union[str, datetime.date] = "2009-03-05", rows: int = 50,
                 cols: int = 200, timeout: float = DEFAULT_TIMEOUT, no_color: bool = False,
                 env: Optional[dict] = None):
        self.argv = [str(a) for a in argv]
        self.timeout = timeout
        self.output = bytearray()  # everything the program wrote
        self._mark = 0             # len(output) when the last key or line was sent
        self._eof = False
        self.exit_status: Optional[ExitStatus] = None
        self.child = pexpect.spawn(
            self.argv[0], self.argv[1:], cwd=str(cwd), dimensions=(rows, cols),
            env=session_env(date, no_color, env))
        self.child.delaybeforesend = None
        self.child.ptyproc.delayafterclose = 0.01
        self.pid = self.child.pid

    # -- reading

    def _pump(self, wait: float) -> bool:
        """Reads what the program wrote within `wait` seconds; True if anything."""
        if self._eof:
            time.sleep(min(wait, 0.01))
            return False
        try:
            data = self.child.read_nonblocking(65536, wait)
        except pexpect.TIMEOUT:
            return False
        except pexpect.EOF:
            self._eof = True
            return False
        self.output += data
        return True

    def _screen_start(self) -> int:
        i = self.output.rfind(CLEAR)
        return 0 if i < 0 else i + len(CLEAR)

    def screen(self) -> Screen:
        """The current screen: the output since the last clear."""
        return Screen(self.output[self._screen_start():])

    def output_since_send(self) -> bytes:
        """Raw output that came after the last key or line was sent."""
        return bytes(self.output[self._mark:])

    def transcript(self) -> str:
        """All output so far as text, screens separated by clears."""
        return Screen(self.output).text

    def _fail(self, what: str) -> SessionError:
        ended = " (the program has ended)" if self._eof else ""
        return SessionError(f"{what}{ended}\ncurrent screen:\n{self.screen().text!r}\n"
                            f"output since the last key: {self.output_since_send()[-2000:]!r}")

    def wait_for(self, text: Union[str, re.Pattern], timeout: Optional[float] = None) -> Screen:
        """Waits until text (a string, or a compiled pattern searched for) is on
        the current screen in output written after the last key or line sent;
        answers the screen. SessionError on timeout or program end."""
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            start = max(self._mark, self._screen_start())
            fresh = Screen(self.output[start:]).text
            if (text.search(fresh) if isinstance(text, re.Pattern) else text in fresh):
                return self.screen()
            if self._eof and not self.child.isalive():
                raise self._fail(f"program ended before showing {text!r}")
            if time.monotonic() > deadline:
                raise self._fail(f"timed out waiting for {text!r}")
            self._pump(0.05)

    def wait_quiet(self, quiet: float = 0.2, timeout: Optional[float] = None) -> Screen:
        """Waits until the program has written nothing for `quiet` seconds (or
        has ended); answers the current screen."""
        deadline = time.monotonic() + (timeout or self.timeout)
        while self._pump(quiet):
            if time.monotonic() > deadline:
                raise self._fail(f"output did not pause for {quiet}s")
        return self.screen()

    # -- writing

    def _await_mode(self, line: bool, what: str) -> None:
        """Waits until the terminal is in line mode (canonical with echo) or
        key mode (neither), reading output meanwhile."""
        deadline = time.monotonic() + self.timeout
        while True:
            try:
                lflag = termios.tcgetattr(self.child.child_fd)[3]
            except termios.error:
                lflag = None
            if lflag is not None:
                canon, echo = bool(lflag & termios.ICANON), bool(lflag & termios.ECHO)
                if (canon and echo) if line else (not canon and not echo):
                    return
            if not self.child.isalive():
                raise self._fail(f"program ended; cannot send {what}")
            if time.monotonic() > deadline:
                mode = "a typed line" if line else "a key"
                raise self._fail(f"program is not waiting for {mode}; cannot send {what}")
            self._pump(0.005)

    def send(self, data: Union[bytes, str]) -> None:
        """Sends bytes as they are, without waiting for anything."""
        self._pump(0)
        self._mark = len(self.output)
        self.child.send(data.encode() if isinstance(data, str) else data)

    def key(self, name: str) -> None:
        """Presses a key: enter, esc, up, down, left, right, or one character.
        Waits first until the program reads keys. A lone Esc is sent once
        earlier output has settled, and the next key only after the program
        has reacted to it (or the escape delay is long past), so the two are
        never read as one escape sequence."""
        data = KEYS.get(name)
        if data is None:
            if len(name) != 1:
                raise ValueError(f"unknown key {name!r}")
            data = name.encode()
        self._await_mode(line=False, what=f"key {name!r}")
        if name == "esc":
            # Output still coming from earlier keys must not pass for the
            # reaction to the Esc: let it settle first.
            self.wait_quiet(0.05)
        self.send(data)
        if name == "esc":
            deadline = time.monotonic() + 0.3  # the escape delay is 50 ms
            while (len(self.output) == self._mark and self.child.isalive()
                   and time.monotonic() < deadline):
                self._pump(0.01)

    def keys(self, *names: str) -> None:
        for name in names:
            self.key(name)

    def type_line(self, text: str, end: str = "\r") -> None:
        """Types a line (echoed by the terminal) once the program reads lines."""
        self._await_mode(line=True, what=f"line {text!r}")
        self.send(text + end)

    # -- ending

    def _reap(self, wait: float) -> bool:
        """Reads output until the program has ended or `wait` passed; True if ended."""
        deadline = time.monotonic() + wait
        while self.child.isalive():
            if time.monotonic() > deadline:
                return False
            self._pump(0.02)
        while self._pump(0.02):  # what is left in the terminal
            pass
        return True

    def _finish(self, how: str) -> ExitStatus:
        self.child.close(force=True)
        self.exit_status = ExitStatus(self.child.exitstatus, self.child.signalstatus, how)
        return self.exit_status

    def wait_exit(self, timeout: Optional[float] = None) -> int:
        """Waits for the program to end and answers its exit status;
        SessionError if it does not end in time or a signal ended it."""
        if not self._reap(timeout or self.timeout):
            raise self._fail("program did not end")
        st = self.exit_status or self._finish("exited")
        if st.code is None:
            raise self._fail(f"program was ended by signal {st.signal}")
        return st.code

    def close(self, grace: float = 2.0) -> ExitStatus:
        """Ends the session, letting the program close by itself: end of input
        if it reads a line, else a hangup as when the terminal goes away, and
        SIGKILL only when neither ends it. Answers the exit status."""
        if self.exit_status:
            return self.exit_status
        if not self.child.isalive():
            self._reap(0)
            return self._finish("exited")
        try:
            lflag = termios.tcgetattr(self.child.child_fd)[3]
        except termios.error:
            lflag = 0
        if lflag & termios.ICANON:
            self.child.send(b"\x15\x04")  # drop a half-typed line, then end of input
            if self._reap(grace):
                return self._finish("eof")
        self.child.kill(signal.SIGHUP)
        if self._reap(grace):
            return self._finish("hangup")
        self.child.kill(signal.SIGKILL)
        self._reap(grace)
        return self._finish("killed")


def start_program(name: str, cwd: Union[str, Path], **kw) -> Session:
    """Starts a built program (rentdesk or rentdesk2) in the data folder cwd."""
    return Session([binary(name)], cwd, **kw)
