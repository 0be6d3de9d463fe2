# The Windows build under wine: rentdesk.exe on a pseudo-terminal, where
# wine's console re-renders what the program writes, so every screen is read
# back through a terminal emulator (pyte) and compared line by line without
# trailing blanks; the data files are compared byte for byte with the models
# of the POSIX tests. Keys wait in the console's input until the program
# reads them. The programs run on today's date, without libfaketime, which
# wine's own helper processes would inherit.

import os
import signal
import subprocess
import sys
import time
from datetime import datetime, timezone
from pathlib import Path

import pyte
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import rd  # noqa: E402
import test_desks  # noqa: E402
from clerk import *  # noqa: E402,F403

NOW = datetime.now(timezone.utc)
D, TODAY = f"{NOW.day}/{NOW.month}/{NOW.year}", NOW.strftime("%Y-%m-%d")
ANN = C(7, "Ann", "Lee", TODAY)


def wine_env():
    # wine's prefix, scratch, caches and settings in the build folder, as ctest sets them
    env = rd.env(TODAY, {k: v for k, v in os.environ.items()
                         if k.startswith(("WINE", "XDG_")) or k in ("FONTCONFIG_FILE", "TMPDIR")})
    del env["LD_PRELOAD"]
    return env


def render(text):
    # A screen as a console shows text written on it: lines without trailing blanks.
    term = pyte.Screen(200, 50)
    pyte.ByteStream(term).feed(text.replace("\n", "\r\n").encode())
    return "\n".join(line.rstrip() for line in term.display)


class Wine(rd.Session):
    def __init__(self, cwd, date=None):
        self.term = pyte.Screen(200, 50)
        self.stream = pyte.ByteStream(self.term)
        # The desktop process wine starts for the first key must outlive the
        # terminal: killed by its hangup, it stalls every later first key.
        super().__init__(cwd, prog="/usr/bin/wine", args=[str(rd.BUILD / "rentdesk.exe")],
                         extra=wine_env(), limit=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))

    def pump(self, wait):
        seen = len(self.out)
        more = super().pump(wait)
        self.stream.feed(self.out[seen:])
        return more

    def screen(self, raw=None):
        return "\n".join(line.rstrip() for line in self.term.display)

    def lit(self):
        rows = ("".join(c.data for x, c in sorted(row.items()) if c.fg == "red").strip()
                for row in self.term.buffer.values())
        return [r for r in rows if r]

    def wait(self, ok, what):
        end = time.time() + rd.TIMEOUT
        while not (len(self.out) > self.mark and ok(self.screen(), self.screen())):
            assert time.time() < end and (self.p.isalive() or self.pump(0.01)), \
                f"waited for {what!r}:\n{self.screen()}"
            self.pump(0.02)
        return self.screen()

    def see(self, text):
        needle = "\n".join(line.rstrip() for line in text.split("\n"))
        return self.wait(lambda screen, _: needle in screen, text)

    def expect(self, text):
        return self.wait(lambda screen, _: screen == render(text), text)

    def _mode(self, line):
        # Wine's console takes the terminal into raw mode when it starts
        # reading it, discarding what was typed before; it edits lines itself.
        super()._mode(False)


@pytest.fixture(scope="module", autouse=True)
def console_warmed(tmp_path_factory, monkeypatch_module):
    # The first key a wine server's console takes starts its desktop process,
    # which in a new prefix on a busy machine takes well over a test's wait:
    # one Esc at the menu, waited for at length, before the tests.
    folder = tmp_path_factory.mktemp("warm")
    rd.Shop(folder).write()
    monkeypatch_module.setattr(rd, "TIMEOUT", 120)
    s = Wine(folder)
    s.expect(menu(D))
    end = time.time() + 120
    while s.p.isalive():  # Esc again while none arrives: keys may be dropped meanwhile
        assert time.time() < end, "the console took no key"
        s.send(b"\x1b")
        for _ in range(100):
            if not s.pump(0.05) and not s.p.isalive():
                break
    assert s.status() == 1
    monkeypatch_module.undo()


@pytest.fixture(scope="module")
def monkeypatch_module():
    with pytest.MonkeyPatch.context() as patch:
        yield patch


def test_menu_keys_a_dialog_a_login_and_exit(tmp_path):
    rd.Shop(tmp_path).put(ANN).write()
    s = Wine(tmp_path)
    s.expect(menu(D))
    assert s.lit() == ["_" * 24, LABELS[0]]
    # Up at the top, Left, Right, a letter, F1 (0 and 59) move nothing; Down then Enter
    play(s, [Key(k) for k in ("up", "left", "right", "y", "\x1bOP", "down", "enter")])
    s.expect(menu(D, error="No client is connected!"))
    play(s, [5, Esc(CLIENT_Q), See(MENU_END), *login(7, "Ann Lee"), 7])
    assert s.status() == 1


def test_the_offline_search_as_on_posix(tmp_path, monkeypatch):
    monkeypatch.setattr(rd, "Session", Wine)  # a desk's session with no dates in it
    test_desks.test_desk(tmp_path, next(c for c in test_desks.CASES if c[0].startswith("offline")))


def test_a_client_with_a_utf8_name_grows_a_full_table_as_on_posix(tmp_path):
    shop = rd.Shop(tmp_path, slots=2).put(ANN, DAN).write()
    s = Wine(tmp_path)
    play(s, add_client(21, "Zo\x1b[D\u00e9x\x7f") + [See(MENU_END), Key("esc")])  # Left, Backspace
    assert s.status() == 1
    shop.put(rd.Client(21, "Zo\u00e9", "Lee", "Main", TODAY, 5, 1, 0)).check()


def run(folder, prog, *args, stdin=subprocess.DEVNULL):
    return subprocess.run(["/usr/bin/wine", str(rd.BUILD / prog), *args], cwd=folder, stdin=stdin,
                          env=wine_env(), capture_output=True, timeout=60)


def test_a_second_counter_is_refused_and_ctrl_c_ends_the_first(tmp_path):
    shop = rd.Shop(tmp_path).put(ANN).write()
    s = Wine(tmp_path)
    play(s, [1, See(LOGIN)])
    second = run(tmp_path, "rentdesk.exe")
    assert second.returncode == 1 and second.stdout == (
        b"Another rentdesk program is already working in this folder.  End of program..\n")
    s.line("12", end="\x03")
    assert s.status() == 1 and s.term.cursor.x == 0  # the shell's prompt on a line of its own
    shop.check()


def test_admin_and_input_from_a_file(tmp_path):
    assert run(tmp_path, "rentdesk-admin.exe", "init", "13").returncode == 0
    check = run(tmp_path, "rentdesk-admin.exe", "check")
    assert check.returncode == 0 and check.stdout == b"All five data files are sound.\r\n"
    rd.Shop(tmp_path).check()
    (tmp_path / "keys").write_bytes(b"\x1b[B\x1b[B\r")  # Down, Down, Enter, then the end of input
    with open(tmp_path / "keys", "rb") as keys:
        counter = run(tmp_path, "rentdesk.exe", stdin=keys)
    screens = counter.stdout.split(rd.CLEAR)
    assert counter.returncode == 1 and rd.ATTRS.sub(b"", screens[-3]).decode() == menu(D)
    assert screens[-1] == OFFLINE.encode() + b"\x1b[0m"


# The programs of the ordinary build, beside this one, made by the same run.
NATIVE = Path(os.environ.get("RENTDESK_NATIVE_BUILD") or Path(__file__).resolve().parents[2] / "build")
FILES = ("user.txt", "rentmovies.txt", "ressavmov.txt", "reservedmov.txt", "catalogmov.txt")


def test_demo_backup_and_reports_as_on_posix(tmp_path):
    win, posix = tmp_path / "win", tmp_path / "posix"
    win.mkdir(), posix.mkdir()

    def native(*args):
        return subprocess.run([str(NATIVE / "rentdesk-admin"), *args], cwd=posix,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)

    demo, native_demo = run(win, "rentdesk-admin.exe", "demo"), native("demo")
    assert demo.returncode == native_demo.returncode == 0
    assert demo.stdout.startswith(b"Made a demo shop in Z:\\")  # the folder's Windows name
    for name in FILES:
        assert (win / name).read_bytes() == (posix / name).read_bytes(), name

    (win / "saved").mkdir()
    backup = run(win, "rentdesk-admin.exe", "backup", "saved", "--keep", "1")
    assert backup.returncode == 0, backup.stdout
    [copy] = (win / "saved").iterdir()
    assert copy.name.startswith("rentdesk-")
    for name in FILES:
        assert (copy / name).read_bytes() == (win / name).read_bytes(), name

    # Tables for a terminal end their lines as the console does; CSV is LF.
    commands = [("report", r, *csv) for r in ("overdue", "holds", "queues", "fines",
                                              "subscriptions", "summary") for csv in ([], ["--csv"])]
    for command in commands + [("export", "clients"), ("export", "movies")]:
        ours, theirs = run(win, "rentdesk-admin.exe", *command), native(*command)
        assert ours.returncode == theirs.returncode == 0, command
        if "report" in command and "--csv" not in command:
            ours.stdout = ours.stdout.replace(b"\r\n", b"\n")
        assert ours.stdout == theirs.stdout, command
