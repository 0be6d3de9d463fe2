# The counter tried as a hostile local user and a failing disk would: links
# planted in the folder, a folder that cannot be locked, closed standard
# streams, damaged keys, a grown table's permissions, failing syncs and
# writes, resource limits, a long pass cut short, files the tools may only
# read, and numbers at their edges. (A crash between the halves of an action
# is the business of test_crash.py.)

import os
import resource
import shutil
import signal
import subprocess
import tempfile
import termios
import time
from pathlib import Path

import pytest

import rd
from clerk import *  # noqa: F403

CY = Client(3, "Cy", "Lee", "Main", T, 5, 1, 0)  # the client add_client(3, "Cy") stores
GROW = [*add_client(3, "Cy"), See(MENU_END), Key("esc")]
NOBODY_RUNS = ["--reuid=65534", "--regid=65534", "--clear-groups", "--"]  # setpriv's arguments
SANITIZED = "detect_leaks" in os.environ.get("ASAN_OPTIONS", "")


def full_clients(folder):  # a client table of 2 slots, both taken: the next client grows it
    return rd.Shop(folder, slots=2).put(C(1, "Ann", "Lee"), C(2, "Ben", "Lee")).write()


def shared_folder(*programs):  # a folder the unprivileged user may use, copies of programs in it
    folder = Path(tempfile.mkdtemp(dir="/tmp"))
    (folder / "bin").mkdir()
    for f in (folder, folder / "bin"):
        os.chmod(f, 0o755)
    for prog in programs:
        shutil.copy(rd.BUILD / prog, folder / "bin")
    return folder


@pytest.mark.parametrize("planted", ["hashadd.txt", "user.txt.new"])
def test_growth_never_writes_through_a_planted_link(tmp_path, planted):
    shop = full_clients(tmp_path)
    (tmp_path / "theirs").write_text("theirs")
    os.symlink("theirs", tmp_path / planted)
    s = rd.Session(tmp_path)
    play(s, GROW)
    assert s.status() == 1 and (tmp_path / "theirs").read_text() == "theirs"
    assert not (tmp_path / "hashadd.txt").is_symlink() and not (tmp_path / "user.txt").is_symlink()
    shop[Client].insert(CY)
    shop.check()


def test_a_data_file_that_is_a_link_is_refused_and_init_replaces_the_link(tmp_path):
    rd.Shop(tmp_path).write()
    os.rename(tmp_path / "user.txt", tmp_path / "theirs")
    os.symlink("theirs", tmp_path / "user.txt")
    s = rd.Session(tmp_path)
    play(s, [1, Scr("\n Data file user.txt is a link, which the program does not follow.  End of "
                    "program..\n")])
    assert s.status() == 1
    before = (tmp_path / "theirs").read_bytes()
    assert rd.admin(tmp_path, "init", "13", "--force").returncode == 0
    assert (tmp_path / "theirs").read_bytes() == before and not (tmp_path / "user.txt").is_symlink()


def test_a_folder_that_cannot_be_locked_is_refused_and_only_read(tmp_path):
    folder = shared_folder("rentdesk", "rentdesk-admin")
    for f in rd.Shop(folder).write().t:
        os.chmod(folder / f.FILE, 0o666)
    os.chmod(folder, 0o333)  # the user may open the files but not the folder itself
    s = rd.Session(folder, prog="/usr/bin/setpriv", args=NOBODY_RUNS + [str(folder / "bin/rentdesk")],
                   extra={"LD_PRELOAD": ""})  # no fixed clock: it would not be shared with the user
    assert s.status() == 1 and "The data folder cannot be locked (Permission denied)" in s.screen()
    check = subprocess.run(["setpriv", *NOBODY_RUNS, folder / "bin/rentdesk-admin", "check"],
                           cwd=folder, capture_output=True, text=True)
    assert (check.returncode, check.stdout) == (0, "Not locked (Permission denied): the files were"
                                                   " read as they stood.\nAll five data files are "
                                                   "sound.\n")
    os.chmod(folder, 0o777)
    for f in rd.TYPES:
        os.chmod(folder / f.FILE, 0o444)  # the files the user may read but not write
    runs = [subprocess.run(["setpriv", *NOBODY_RUNS, folder / "bin/rentdesk-admin", "check", *args],
                           cwd=folder, capture_output=True, text=True) for args in ([], ["--repair"])]
    assert (runs[0].returncode, runs[0].stdout) == (0, "All five data files are sound.\n")
    assert runs[1].returncode == 1 and "user.txt: cannot be opened for writing" in runs[1].stdout
    shutil.rmtree(folder)


def test_closed_standard_streams_never_stand_for_a_data_file(tmp_path):
    shop = rd.Shop(tmp_path).put(ANN, M(4, 1, "Up", saved=1), H(7, 4, 1)).write()
    # Today's clock, not a fixed one: the clock library would take the closed
    # descriptors before the program starts.
    run = subprocess.run(["sh", "-c", f"exec <&- >&- 2>&-; {rd.BUILD}/rentdesk"], cwd=tmp_path,
                         env=rd.env(T, {"LD_PRELOAD": ""}), timeout=10)
    assert run.returncode == 1
    shop[Saved].delete(7)  # the start-up update let the hold go, and wrote nothing else
    shop[Movie].set(4, saved=0)
    shop.check()


@pytest.mark.parametrize("file, slot, key, date, steps", [
    ("ressavmov.txt", 3, -5, "2009-03-20", []),  # the hold ran out: the update would write
    ("catalogmov.txt", 5, -2 ** 31, T, [6, Yes(MOVIE_Q), See("movie ID: \n"), "5"])])
def test_a_key_below_minus_one_is_damage_found_before_any_write(tmp_path, file, slot, key, date,
                                                                steps):
    rd.Shop(tmp_path).put(ANN, M(4, 1, "Up", saved=1), H(7, 4, 1)).write()
    raw = bytearray((tmp_path / file).read_bytes())
    at = slot * len(raw) // 13 + (20 if file == "catalogmov.txt" else 0)
    raw[at:at + 4] = key.to_bytes(4, "little", signed=True)
    (tmp_path / file).write_bytes(bytes(raw))
    before = {f.name: f.read_bytes() for f in tmp_path.iterdir()}
    s = rd.Session(tmp_path, date=date)
    play(s, steps + [See(f"Data file {file} holds a damaged record in slot {slot} (key {key})")])
    assert s.status() == 1
    assert before == {f.name: f.read_bytes() for f in tmp_path.iterdir() if f.name in before}


def test_a_grown_table_keeps_the_mode_and_owner_of_the_old_one(tmp_path):
    full_clients(tmp_path)
    os.chown(tmp_path / "user.txt", 65534, 65534)
    os.chmod(tmp_path / "user.txt", 0o600)
    s = rd.Session(tmp_path)
    play(s, GROW)
    assert s.status() == 1
    for name in ("user.txt", "hashadd.txt"):
        st = os.stat(tmp_path / name)
        assert (st.st_mode & 0o7777, st.st_uid, st.st_gid) == (0o600, 65534, 65534), name


# A write fails at the action's end; a table's sync, only at the checkpoint
# (here as the counter ends), the action safe in the synced journal till then.
@pytest.mark.parametrize("failing, steps", [
    ({"RENTDESK_FAIL_WRITE": "user.txt"}, add_client(3, "Cy")[:-2]),
    ({"RENTDESK_FAIL_SYNC": "user.txt"}, add_client(3, "Cy") + [See(MENU_END), Key("esc")])])
def test_a_failing_disk_is_reported_and_the_next_start_finishes_the_action(tmp_path, failing,
                                                                           steps):
    shop = rd.Shop(tmp_path).put(ANN).write()
    s = rd.Session(tmp_path, prog="tests/e2e_crash_rentdesk", extra=failing)
    play(s, steps + [See("Data file user.txt cannot be")])
    assert s.status() == 1 and (tmp_path / "rentdesk.journal").stat().st_size > 20
    s = rd.Session(tmp_path)
    play(s, [See(MENU_END), Key("esc")])
    assert s.status() == 1 and (tmp_path / "rentdesk.journal").stat().st_size == 20
    shop[Client].insert(CY)
    shop.check()


@pytest.mark.skipif(SANITIZED, reason="the sanitizers need more address space than the limit")
def test_resource_limits_end_in_a_message_naming_the_file(tmp_path):
    rd.Shop(tmp_path).write()
    os.truncate(tmp_path / "user.txt", (2 ** 31 - 1) * 64)  # sparse: no disk is used
    check = subprocess.run([rd.BUILD / "rentdesk-admin", "check"], cwd=tmp_path, text=True,
                           capture_output=True, preexec_fn=lambda: resource.setrlimit(
                               resource.RLIMIT_AS, (2 ** 30, 2 ** 30)))
    assert check.returncode == 1 and "user.txt: its 2147483647 slots are more" in check.stdout
    shop = rd.Shop(tmp_path, slots=20011).put(*[C(i, "A", "B") for i in range(1, 20012)]).write()
    s = rd.Session(tmp_path, limit=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (2 ** 22,) * 2))
    play(s, add_client(20012, "Cy")[:-2] + [See("Data file user.txt.new cannot be written: File "
                                                "too large.  End of program..")])
    assert s.status() == 1
    shop.check()


def test_a_pass_over_a_huge_table_ends_at_once_when_asked(tmp_path):
    rd.Shop(tmp_path).write()
    os.truncate(tmp_path / "ressavmov.txt", (2 ** 31 - 1) * 24)  # sparse, all empty slots
    s = rd.Session(tmp_path)
    time.sleep(0.5)
    s.p.kill(signal.SIGTERM)
    started = time.time()
    assert s.status() == 1 and time.time() - started < 2


def test_numbers_at_their_edges(tmp_path):
    shop = rd.Shop(tmp_path).put(ANN, M(4, 2 ** 31 - 1, "Up"), M(5, 1, "Jaws", rented=1),
                                 R(7, 5, 1, date=T, days=-5)).write()
    s = rd.Session(tmp_path)
    play(s, [6, Yes(MOVIE_Q), See("movie ID: \n"), "4", Msg(info("\n\n\n Movie ID already exists!...")),
             Yes(ADD_COPY_Q), Msg(info("\n\n\n No more copies of this movie can be added.")),
             1, Scr(LOGIN), "7", Scr(LOGGED_IN), Key("x"), Msg(MUST_RETURN), Yes(RETURN_Q),
             See(DISK_Q), "8", See(MENU_END), Key("esc")])
    assert s.status() == 1
    shop[Rent].delete(7)  # returned the day it was rented: no fine, whatever its period
    shop[Movie].set(5, rented=0)
    shop.check()


def journal_as(folder, how):  # rentdesk.journal made as how says, by root
    journal = folder / "rentdesk.journal"
    if how == "a whole intent of root's":
        journal.write_bytes(rd.intent(("S", "user.txt", 832), ("W", "user.txt", 0, bytes(64))))
    elif how == "sparse, 60 GB":
        journal.write_bytes(b"")
        os.truncate(journal, 60 * 2 ** 30)
        os.chmod(journal, 0o666)
    elif how == "a link":
        (folder / "j").write_bytes(b"")
        journal.symlink_to("j")
    else:
        journal.mkdir()


JOURNAL_FILES = [  # rentdesk.journal as, what the clerk's counter says of it, what check says
    ("a whole intent of root's", "Error opening input file \\rentdesk.journal!  End of program..",
     "rentdesk.journal: holds a clerk's action a crash cut short"),
    ("sparse, 60 GB", "is 64424509440 bytes long, more than any action on these tables could need",
     "rentdesk.journal: is 64424509440 bytes long"),
    ("a link", "rentdesk.journal is a link", "rentdesk.journal: is a link"),
    ("a folder", "rentdesk.journal is not a regular file", "rentdesk.journal: is not a regular "
                                                           "file; no start can finish it"),
]


@pytest.mark.parametrize("how, counter_says, check_says", JOURNAL_FILES)
def test_a_journal_that_cannot_be_used_ends_the_counter_by_name_and_check_says_so(
        tmp_path, how, counter_says, check_says):
    folder = shared_folder("rentdesk", "rentdesk-admin")
    rd.Shop(folder).put(ANN).write()
    for f in [folder, *(folder / T.FILE for T in rd.TYPES)]:
        os.chmod(f, 0o777)
    journal_as(folder, how)
    before = {T.FILE: (folder / T.FILE).read_bytes() for T in rd.TYPES}
    s = rd.Session(folder, prog="/usr/bin/setpriv", args=NOBODY_RUNS + [str(folder / "bin/rentdesk")],
                   extra={"LD_PRELOAD": ""})
    assert s.status() == 1 and counter_says in s.screen()
    check = subprocess.run(["setpriv", *NOBODY_RUNS, folder / "bin/rentdesk-admin", "check"],
                           cwd=folder, capture_output=True, text=True)
    assert check.returncode == 1 and check_says in check.stdout, check.stdout
    assert before == {T.FILE: (folder / T.FILE).read_bytes() for T in rd.TYPES}
    shutil.rmtree(folder)


ODD = [  # a pipe in place of a file, the command that meets it, the status
    ("catalogmov.txt", "check"), ("rentdesk.journal", "check"), ("user.txt", "report fines"),
    ("ressavmov.txt", "export holds"), ("bk/ressavmov.txt", "restore bk")]


@pytest.mark.parametrize("pipe, args", ODD)
def test_a_pipe_in_place_of_a_file_is_refused_at_once_by_name(tmp_path, pipe, args):
    rd.Shop(tmp_path).write()
    rd.Shop(tmp_path / "bk").write()
    (tmp_path / pipe).unlink(missing_ok=True)
    os.mkfifo(tmp_path / pipe)
    run = rd.admin(tmp_path, *args.split(), timeout=10)
    assert run.returncode == 1 and f"{Path(pipe).name}: is not a regular file" in run.stdout + \
        run.stderr


CUT_SHORT = [  # the file cut short, its length, what the clerk then does, what he is told
    ("catalogmov.txt", 0, [3, See("Insert movie name")], "Up",  # a pass over the whole table
     "catalogmov.txt changed under the program: it was cut short, or a part of it could not be read"),
    ("user.txt", 100, [1, Scr(LOGIN)], "7",  # one search by key, past the new end
     "user.txt ends in the middle of a record"),
]


@pytest.mark.parametrize("file, length, before, typed, said", CUT_SHORT)
def test_a_table_cut_short_under_the_counter_is_damage_named_with_the_terminal_restored(
        tmp_path, file, length, before, typed, said):
    rd.Shop(tmp_path, slots=1009).put(M(4, 1, "Up"), C(7, "Ann", "Lee")).write()  # several pages
    s = rd.Session(tmp_path)
    play(s, before)
    os.truncate(tmp_path / file, length)  # as a copy over it does
    play(s, [typed, See(f"Data file {said}.  End of program..")])
    assert termios.tcgetattr(s.p.child_fd)[3] & termios.ECHO and s.status() == 1
