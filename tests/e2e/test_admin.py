# rentdesk-admin on real folders: setting up fresh files, checking damaged
# folders, mending what a cut-short errand leaves, dumping keys, compacting
# tables worn by deletions, and the lock that keeps a second program out of a
# folder in use.

import os
import shutil
import signal
import subprocess

import pytest

import rd
from clerk import *  # noqa: F403

SOUND = "All five data files are sound.\n"
LOCKED = "Another rentdesk program is already working in this folder.  End of program..\n"


def base(folder):
    # A sound folder: Ann rents Heat 1, Heat 2 is held for Ben, Dan waits
    # for Heat, Alien 1 is on the shelf.
    return rd.Shop(folder).put(ANN, BEN, DAN, M(13, 1, "Heat", rented=1), R(7, 13, 1),
                               M(13, 2, "Heat", saved=1), H(8, 13, 2), V(13, 13), M(4, 1, "Alien"))


def worn(folder):
    # base, and a catalogue whose free slots are all deleted (ten copies of Up
    # filled it, nine went); client 1 went to slot 3, as 14 held slot 1 then.
    shop = base(folder).put(C(14, "Al", "Bo"), C(1, "Cy", "Do"),
                            *(M(20, c, "Up") for c in range(1, 11)))
    shop[rd.Client].delete(14)
    for c in range(1, 10):
        shop[rd.Movie].delete(20, copy(c))
    return shop


def compacted(shop, *tables):
    # The model after compact: each table's live records, in slot order,
    # inserted into an empty table of its size.
    for T in tables:
        fresh = rd.Table(T, len(shop[T].recs))
        for r in shop[T].recs:
            if rd.key(r) > 0:
                fresh.insert(r)
        shop.t[T] = fresh
    return shop


WORN = ("warning: catalogmov.txt: 0 empty slots of 13 (0.0%), 9 deleted; a search for a key "
        "it does not hold reads far. Run: rentdesk-admin compact movies\n")


def check(folder, *args):
    return (run := rd.admin(folder, "check", *args)).returncode, run.stdout


def test_init_makes_empty_tables_and_never_overwrites_unasked(tmp_path):
    for args in (["1"], ["x"], ["10000001"], []):
        assert rd.admin(tmp_path, "init", *args).returncode == 2
    for args, slots, code in ((["10"], 11, 0), (["13"], 11, 2), (["13", "--force"], 13, 0)):
        run = rd.admin(tmp_path, "init", *args)
        assert run.returncode == code and ("user.txt" in run.stderr) == (code == 2)
        rd.Shop(tmp_path, slots=slots).check()
    s = rd.Session(tmp_path)
    s.see(NOBODY)  # the start-up update says nothing
    s.key("esc")
    assert s.status() == 1


def poke(folder, file, slot, size, offset, data):
    raw = bytearray((folder / file).read_bytes())
    raw[slot * size + offset:slot * size + offset + len(data)] = data
    (folder / file).write_bytes(bytes(raw))


def lose_ann(folder):
    # Ann's record moved from slot 7, her first probe, to slot 9.
    poke(folder, "user.txt", 9, 64, 0, (folder / "user.txt").read_bytes()[7 * 64:8 * 64])
    poke(folder, "user.txt", 7, 64, 0, rd.Client.encode(rd.Client.blank()))


DAMAGE = [
    (lambda f: open(f / "user.txt", "ab").write(b"\0\0\0"),
     ["user.txt: its length, 835 bytes, is not a whole number of 64-byte records"]),
    (lambda f: (f / "catalogmov.txt").write_bytes((f / "catalogmov.txt").read_bytes() + bytes(88)),
     ["catalogmov.txt: its slot count, 15, is not a prime number"] +
     [f"catalogmov.txt: slot {s}: the record of key 13 cannot be found by a search for its key"
      for s in (0, 2)]),
    (lambda f: poke(f, "rentmovies.txt", 3, 28, 0, (-7).to_bytes(4, "little", signed=True)),
     ["rentmovies.txt: slot 3: key -7 is below 1 (only 0, empty, and -1, deleted, may stand "
      "there)"]),
    (lose_ann, ["user.txt: slot 9: the record of key 7 cannot be found by a search for its key"]),
    (lambda f: poke(f, "catalogmov.txt", 4, 44, 0, b"Q" * 20),
     ["catalogmov.txt: slot 4: the text name has no terminating zero"]),
    (lambda f: (f / "ressavmov.txt").unlink(), ["ressavmov.txt: is missing or cannot be opened"]),
    (lambda f: (f / "user.txt").rename(f / "u") and (f / "user.txt").symlink_to("u"),
     ["user.txt: is a link, which the program does not follow"]),
    (lambda f: poke(f, "rentmovies.txt", 7, 28, 0, (99).to_bytes(4, "little")),
     ["rentmovies.txt: slot 7: the record of key 99 cannot be found by a search for its key",
      "rentmovies.txt: a rental names client 99, who is not in user.txt"]),
]


@pytest.mark.parametrize("damage, problems", DAMAGE)
def test_check_names_each_damage_and_repair_leaves_it(tmp_path, damage, problems):
    base(tmp_path).write()
    assert check(tmp_path) == (0, SOUND)
    damage(tmp_path)
    report = "".join(p + "\n" for p in problems) + f"{len(problems)} problem" + "s" * (
        len(problems) > 1) + " found.\n"
    assert check(tmp_path) == (1, report)
    assert check(tmp_path, "--repair") == (1, report)


REPAIRS = [  # what a cut-short errand left (records, changes), what repair says, what it leaves
    ([H(13, 4, 1)],
     ["catalogmov.txt: copy 1 of movie 4: saved set from 0 to 1, as the hold of client 13 names "
      "it"],
     lambda m: m[rd.Movie].set(4, saved=1)),
    ([H(13, 4, 1), V(13, 4)],
     ["reservedmov.txt: deleted the reservation of movie 4 by client 13, for whom a copy of it "
      "is already held",
      "catalogmov.txt: copy 1 of movie 4: saved set from 0 to 1, as the hold of client 13 names "
      "it"],
     lambda m: (m[rd.Reserve].delete(4), m[rd.Movie].set(4, saved=1))),
    ([R(8, 13, 2)],
     ["ressavmov.txt: deleted the hold of copy 2 of movie 13 for client 8, who already rents it",
      "catalogmov.txt: copy 2 of movie 13: rented set from 0 to 1, as the rental of client 8 "
      "names it",
      "catalogmov.txt: copy 2 of movie 13: saved set from 1 to 0, as no hold names it"],
     lambda m: (m[rd.Saved].delete(8), m[rd.Movie].set(13, lambda r: r.copy == 2, rented=1,
                                                       saved=0))),
    ([lambda m: m[rd.Rent].delete(7)],  # Heat 1 back, its flag not yet cleared: the first slot
     ["catalogmov.txt: copy 1 of movie 13: rented set from 1 to 0, as no rental names it"],
     lambda m: m[rd.Movie].set(13, copy(1), rented=0)),
]


@pytest.mark.parametrize("left, mended, after", REPAIRS)
def test_repair_finishes_a_cut_short_errand_and_says_what_it_did(tmp_path, left, mended, after):
    shop = base(tmp_path)
    shop[rd.Reserve].delete(13)  # Dan now waits for nothing but what the case gives him
    for made in left:
        made(shop) if callable(made) else shop.put(made)
    shop.write()
    assert check(tmp_path)[0] == 1
    assert check(tmp_path, "--repair") == (0, "".join(f"mended: {m}\n" for m in mended) + SOUND)
    after(shop)
    shop.check()


MESSAGES = [  # arguments, run beside the shops "a" and "my $hop`s"; exit status; words said
    (["--data", "a", "dump", "user.txt"], 0,  # every key in slot order, of the data folder's file
     " 13  0  0  0  0  0  0  7  8  0  0  0  0 \n"),
    (["--data", "a", "dump", "a/user.txt"], 0, " 7  8 "),  # a path from where it started
    (["dump", "notes.txt"], 2, "FILE must be one of the five data files"),
    (["--data", "a", "init", "101"], 2, "run:\n    rentdesk-admin --data a init 101 --force\n"),
    (["init", "13", "--data", "my $hop`s"], 2,
     'run:\n    rentdesk-admin --data "my \\$hop\\`s" init 13 --force\n'),
    (["--data", "a", "restore", "a", "--keep", "0"], 2, "--keep needs a whole number of folders"),
    (["--data", "a", "restore", "a", "--keep", "x"], 2, "--keep needs a whole number of folders"),
    (["--data", "a", "backup", "a", "--keep", ""], 2, "--keep needs a whole number of backups"),
    (["check", "--data"], 2, "rentdesk-admin: --data needs a folder\n"),
    (["--data", "new/shop", "init", "2"], 0, "Created the five data files with 2 slots each.\n"),
    (["--data", "a", "receipt", "1"], 1, "rentdesk-admin: the day log holds no event 1.\n"),
    (["--data", "a", "receipt", "0"], 2, "receipt takes the number of a payment's event\n"),
    (["--data", "nowhere", "check"], 1, "the data folder nowhere cannot be used: No such file"),
    ([], 2, "rentdesk-admin: no command given\n"),
    (["--data", "a", "backup", "--keep", "1"], 2, "backup needs a destination folder\n"),
    (["--data", "a", "backup", "a", "a"], 2, "backup takes one destination folder and --keep N\n"),
    (["backup", "a"], 1, "the data folder holds none of the five data files; nothing was copied"),
    (["--data", "a", "restore"], 2, "restore takes one backup folder\n"),
    (["--data", "a", "restore", "a", "--until"], 2, 'restore takes one backup folder, --keep N '
                                                    'and --until "YYYY-MM-DD HH:MM"\n'),
    (["frob"], 2, "unknown command 'frob'\nusage: rentdesk-admin [--data DIR] init SLOTS"),
    (["--help"], 0, "  dump FILE                 print the key of every slot of a data file\n"),
    (["--help"], 0, "data files and the\n" + " " * 28 + "day log; --repair mends what"),
    (["--help"], 0, "\nEvery command, its messages and exit statuses: man rentdesk-admin\n"),
    (["--data", "a", "compact", "films"], 2, "TABLE must be clients, movies, rentals, reservations"),
    (["--data", "a", "compact", "movies", "holds"], 2, "compact takes at most one table"),
]


@pytest.mark.parametrize("args, status, words", MESSAGES)
def test_admin_messages_name_what_to_do(tmp_path, args, status, words):
    for shop in ("a", "my $hop`s"):
        base(tmp_path / shop).write()
    run = rd.admin(tmp_path, *args)
    assert run.returncode == status and words in run.stdout + run.stderr
    assert status or "init" not in args or (tmp_path / "new/shop/user.txt").stat().st_size == 128
    lines = run.stdout.splitlines()
    assert "--help" not in args or max(map(len, lines)) <= 80 and len(lines) <= 24


def test_a_folder_in_use_refuses_a_second_program_until_the_first_ends(tmp_path):
    shop = base(tmp_path).write()
    first = rd.Session(tmp_path)
    first.see(MENU_END)
    for prog in ("rentdesk", "rentdesk2"):
        second = rd.Session(tmp_path, prog=prog)
        assert second.status() == 1 and second.screen() == LOCKED
    for args in (["check", "--repair"], ["init", "13", "--force"], ["compact"]):
        assert rd.admin(tmp_path, *args).returncode == 1, args
    assert check(tmp_path) == (0, "Not locked: a rentdesk program works in this folder, and the "
                                  "files were read as they stood.\n" + SOUND)
    shop.check()
    first.p.kill(signal.SIGKILL)
    third = rd.Session(tmp_path)
    third.see(MENU_END)
    third.key("esc")
    assert third.status() == 1


COMPACT = [  # compact's arguments, the tables it rebuilds, what it says
    (["movies"], [rd.Movie], "Compacted catalogmov.txt: 4 records kept, 9 deleted slots made empty.\n"),
    ([], rd.TYPES, "Compacted user.txt: 4 records kept, 1 deleted slot made empty.\n"
                   "Compacted rentmovies.txt: 1 record kept, 0 deleted slots made empty.\n"
                   "Compacted ressavmov.txt: 1 record kept, 0 deleted slots made empty.\n"
                   "Compacted reservedmov.txt: 1 record kept, 0 deleted slots made empty.\n"
                   "Compacted catalogmov.txt: 4 records kept, 9 deleted slots made empty.\n"),
]


@pytest.mark.parametrize("args, rebuilt, said", COMPACT)
def test_compact_leaves_fresh_inserts_of_the_live_records_and_ends_check_s_warning(
        tmp_path, args, rebuilt, said):
    shop = worn(tmp_path).write()
    assert check(tmp_path) == (0, WORN + SOUND)
    run = rd.admin(tmp_path, "compact", *args, date=T)
    assert (run.returncode, run.stdout, run.stderr) == (0, said, "")
    compacted(shop, *rebuilt).check()
    assert (tmp_path / "hashadd.txt").read_bytes() == b"".join(
        rd.Movie.encode(r) for r in shop[rd.Movie].recs if r.id > 0)
    assert check(tmp_path) == (0, SOUND)
    events = [line.split("\t")[2:] for line in (tmp_path / "daylog-2009-03.log").read_text()
              .splitlines()]
    assert events[-1] == ["rentdesk-admin compact", "compact", "file=catalogmov.txt",
                          "records=4", "deleted=9"] and len(events) == len(rebuilt)


def test_a_compact_cut_short_anywhere_leaves_the_old_tables_or_the_new(tmp_path):
    old, trial, outcomes = worn(tmp_path).write(), tmp_path / "trial", set()
    before = [old[T].data() for T in rd.TYPES]
    after = [compacted(old, *rd.TYPES)[T].data() for T in rd.TYPES]
    for crash in range(200):
        shutil.rmtree(trial, ignore_errors=True)
        shutil.copytree(tmp_path, trial, ignore=shutil.ignore_patterns("trial"))
        run = subprocess.run([rd.BUILD / "tests/e2e_crash_admin", "compact"], cwd=trial,
                             env={**os.environ, "RENTDESK_CRASH_AFTER_WRITES": str(crash)},
                             capture_output=True)
        if run.returncode == 0:
            break
        assert run.returncode == 86
        rd.admin(trial, "check", "--repair")  # a writing command finishes what the crash left
        tables = [(trial / T.FILE).read_bytes() for T in rd.TYPES]
        assert tables in (before, after)
        outcomes.add(tables == after)
    assert run.returncode == 0 and outcomes == {False, True}
