# A shop set up as its owner does: the README's first run, the demo shop,
# --data for every program, the installed programs, and backups taken while
# the till is open and put back whole or not at all.

import fcntl
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import rd
from clerk import *  # noqa: F403

SRC = Path(__file__).resolve().parents[2]
NAMES = [T.FILE for T in rd.TYPES]
SOUND = "All five data files are sound.\n"


def files(folder):
    return {name: (Path(folder) / name).read_bytes() for name in NAMES}


def state(folder):  # every entry of a folder, what each file holds
    return {p.name: p.is_dir() or p.read_bytes() for p in Path(folder).iterdir()}


def counter(folder, steps=(), **how):  # a counter (rd.Session's how) at its menu after steps
    s = rd.Session(folder, **how)
    play(s, [*steps, See(MENU_END)])
    return s


def leave(s):
    s.key("esc")
    assert s.status() == 1


def sources():  # the project's files: git's list in a checkout, else the tree without builds
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=SRC,
                            capture_output=True, text=True)
    if listed.returncode == 0:
        return listed.stdout.split()
    return [str(p.relative_to(SRC)) for p in SRC.rglob("*")
            if p.is_file() and not p.relative_to(SRC).parts[0].startswith(("build", ".git"))]


@pytest.mark.skipif("detect_leaks" in os.environ.get("ASAN_OPTIONS", ""), reason="one stage will do")
@pytest.mark.slow
def test_the_readme_run_command_opens_the_counter_on_a_fresh_copy_every_time(tmp_path, monkeypatch):
    command = next(line.strip() for line in (SRC / "README.md").read_text().splitlines()
                   if line.startswith("    ") and "demo &&" in line)
    for name in sources():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(SRC / name, tmp_path / name)
    # The programs need none of the tests' packages: with them hidden from
    # CMake, the command builds the programs alone.
    subprocess.run(["cmake", "-S", tmp_path, "-B", tmp_path / "build",
                    "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON", "-DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON"],
                   check=True, capture_output=True)
    monkeypatch.setattr(rd, "TIMEOUT", 900)
    for _ in range(2):
        leave(counter(tmp_path, prog="/bin/bash", args=["-c", command], extra={"LD_PRELOAD": ""}))
    built = {p.name for p in (tmp_path / "build").rglob("*") if p.is_file() and os.access(p, os.X_OK)}
    assert {"rentdesk", "rentdesk2", "rentdesk-admin"} <= built
    assert not built & {"unit_tests", "e2e_crash_rentdesk", "e2e_crash_admin"}


def test_the_demo_shop_is_sound_and_serves_a_login_a_return_and_a_search(tmp_path):
    assert rd.admin(tmp_path, "demo", date=T).returncode == 0
    assert rd.admin(tmp_path, "check").stdout == SOUND
    # the shop the README tells a newcomer about, every record of it
    assert "".join(rd.admin(tmp_path, "export", table).stdout for table in (
        "clients", "movies", "rentals", "reservations", "holds")) == \
        (Path(__file__).parent / "golden/demo.csv").read_text()
    leave(counter(tmp_path, [1, Scr(LOGIN), "104", Scr(LOGGED_IN), Key("x"), Msg(MUST_RETURN),
                             Yes(RETURN_Q), See(DISK_Q), "9", See(connected("David Evans")), 3,
                             See(SEARCH), "Vertigo", Msg(CAN_RENT), Yes(RENT_Q),
                             See("ranted to the client!"), Key("x")]))
    david = [c for c in rd.read(tmp_path / "user.txt", rd.Client) if c.id == 104][0]
    rental = [r for r in rd.read(tmp_path / "rentmovies.txt", rd.Rent) if r.client == 104][0]
    assert (david.fine, rental.movie, rental.rentdate) == (35, 2, T)  # a week late, then Vertigo
    assert rd.admin(tmp_path, "check").stdout == SOUND


DEMO = [  # what stands in the folder first ("/" ends a folder), demo's arguments, status, words
    ([], [], 0, "Made a demo shop"),
    (["rentdesk.journal", "hashadd.txt", "user.txt.new"], [], 0, "Made a demo shop"),
    (NAMES, [], 0, "already here; demo changed nothing"),
    (["user.txt", "ressavmov.txt"], [], 2, "only some of the data files are here: user.txt, "
                                           "ressavmov.txt"),
    ([], ["13"], 2, "demo takes no arguments"),
    (["user.txt.new/"], [], 1, "user.txt.new"),
]


@pytest.mark.parametrize("made, args, status, words", DEMO)
def test_demo_builds_a_shop_only_where_none_stands(tmp_path, made, args, status, words):
    for name in made:
        (tmp_path / name).mkdir() if name.endswith("/") else (tmp_path / name).write_text("x")
    before = state(tmp_path)
    run = rd.admin(tmp_path, "demo", *args)
    assert run.returncode == status and words in run.stdout + run.stderr
    if "Made" in words:
        assert rd.admin(tmp_path, "check").stdout == SOUND
    else:
        assert state(tmp_path) == before


def test_data_names_the_folder_before_or_after_the_command(tmp_path):
    for args in (["--data", "a/shop", "demo"], ["check", "--data", "a/shop"],
                 ["--data=a/shop", "check"], ["dump", "a/shop/user.txt", "--data", "a/shop"]):
        assert rd.admin(tmp_path, *args, date=T).returncode == 0, args
    for prog in ("rentdesk", "rentdesk2"):
        leave(counter(tmp_path, [1, Scr(LOGIN), "112", Scr(LOGGED_IN), Key("x"), Msg(NO_RETURN)],
                      prog=prog, args=["--data", "a/shop"]))


def test_the_installed_programs_run_from_their_prefix(tmp_path):
    subprocess.run(["cmake", "--install", rd.BUILD, "--prefix", tmp_path], check=True,
                   capture_output=True)
    for page in ("rentdesk", "rentdesk2", "rentdesk-admin"):
        assert (tmp_path / f"share/man/man1/{page}.1.gz").exists()
    assert (tmp_path / "share/doc/rentdesk/README.md").exists()
    assert rd.admin(tmp_path, "--data", "shop", "demo", prog=tmp_path / "bin/rentdesk-admin"
                    ).returncode == 0
    leave(counter(tmp_path, prog=tmp_path / "bin/rentdesk2", args=["--data", "shop"]))


def test_a_backup_taken_while_the_counter_waits_is_restored_byte_for_byte(tmp_path):
    shop, bk = tmp_path / "shop", tmp_path / "bk"
    rd.admin(tmp_path, "--data", "shop", "demo", date=T)
    bk.mkdir()
    s = counter(shop, login(101, "Anna Baker", rental=True))
    assert rd.admin(tmp_path, "--data", "shop", "backup", "bk").returncode == 0
    copy = next(bk.iterdir())
    assert files(copy) == files(shop) and copy.name.startswith("rentdesk-")
    play(s, [2, *add_client(3, "Cy"), See(MENU_END)])
    changed = state(shop)
    for args in (["restore", copy], ["demo"]):  # refused while the counter works
        assert rd.admin(shop, *args).returncode == 1 and state(shop) == changed
    leave(s)
    assert rd.admin(shop, "restore", copy).returncode == 0 and files(shop) == files(copy)
    assert files(next(shop.glob("replaced-*"))) == {n: changed[n] for n in NAMES}


def test_without_keep_nothing_is_removed_and_restore_keeps_the_newest_replaced_files(tmp_path):
    rd.admin(tmp_path, "--data", "shop", "demo", date=T)
    (tmp_path / "bk").mkdir()
    seen = set()
    for args in (["bk"], ["bk"], ["--keep", "2", "bk"]):  # the third takes away the first
        assert rd.admin(tmp_path, "--data", "shop", "backup", *args).returncode == 0
        seen |= {p.name for p in (tmp_path / "bk").iterdir()}
    backup, made = sorted((tmp_path / "bk").iterdir()), []
    assert [p.name for p in backup] == sorted(seen)[1:]
    for keep in ([], [], [], ["--keep", "2"]):  # three folders of replaced files, then two
        run = rd.admin(tmp_path / "shop", "restore", backup[0], *keep)
        assert run.returncode == 0
        made.append(run.stdout.split("replaced are in ")[1].split("/")[0])
        assert sorted(p.name for p in (tmp_path / "shop").glob("replaced-*")) == made[2 * bool(keep):]
    assert len(backup) == 2 and run.stdout.count("Removed the older replaced folder") == 2


def test_a_backup_waits_for_the_action_whose_writes_are_reaching_the_tables(tmp_path):
    shop = rd.Shop(tmp_path / "shop").put(ANN).write()
    (tmp_path / "bk").mkdir()
    (shop.dir / "rentdesk.journal").touch()
    folder = os.open(shop.dir, os.O_RDONLY)  # held as the counter holds them in an action
    journal = os.open(shop.dir / "rentdesk.journal", os.O_RDONLY)
    for fd in (folder, journal):
        fcntl.flock(fd, fcntl.LOCK_EX)
    backup = subprocess.Popen([rd.BUILD / "rentdesk-admin", "--data", "shop", "backup", "bk"],
                              cwd=tmp_path, stdout=subprocess.DEVNULL)
    time.sleep(0.5)
    assert backup.poll() is None
    shop.put(BEN).write()
    os.close(journal)
    assert backup.wait(10) == 0
    assert files(next((tmp_path / "bk").glob("rentdesk-*"))) == files(shop.dir)
    os.close(folder)


def hostile_backups(bk):  # a link named like a backup into another shop, and what cron left
    rd.Shop(bk.parent / "other").put(ANN).write()
    (bk / "rentdesk-20000101-000000").symlink_to(bk.parent / "other")
    for name, made in (("rentdesk-29991231-235959", NAMES), ("rentdesk-20000102-000000.part",
                                                            NAMES[:2]),
                       ("rentdesk-20000103-000000", ["notes.txt"]),
                       ("rentdesk-2000010x-000000", NAMES)):  # the owner's, named almost alike
        (bk / name).mkdir()
        for file in made:
            (bk / name / file).write_text("x")


def linked_table(bk):
    (bk.parent / "shop/user.txt").rename(bk.parent / "u")
    (bk.parent / "shop/user.txt").symlink_to(bk.parent / "u")


BACKUP_FOLDER = [  # what is made of bk or the shop, status, what stderr says, what bk keeps
    (hostile_backups, 1, ["rentdesk-20000101-000000 was not removed: it is a link, or not a "
                          "folder", "rentdesk-20000103-000000 was not removed: it holds notes.txt"],
     {"rentdesk-20000101-000000", "rentdesk-20000103-000000", "rentdesk-2000010x-000000"}),
    (lambda bk: bk.rmdir() or bk.write_text(""), 1, ["bk/ is not a folder"], None),
    (linked_table, 1, ["Data file user.txt is a link, which the program does not follow"], set()),
]


@pytest.mark.parametrize("make, status, said, kept", BACKUP_FOLDER)
def test_backup_keep_removes_only_real_backups_and_a_failure_leaves_nothing(tmp_path, make,
                                                                            status, said, kept):
    rd.Shop(tmp_path / "shop").put(BEN).write()
    (tmp_path / "bk").mkdir()
    make(tmp_path / "bk")
    run = rd.admin(tmp_path, "--data", "shop", "backup", "bk", "--keep", "1")
    assert run.returncode == status and all(words in run.stderr for words in said), run.stderr
    if kept is not None:  # besides them, only the backup made
        left = {p.name for p in (tmp_path / "bk").iterdir()}
        made = left - kept
        assert kept <= left and len(made) == ("Backed up" in run.stdout)
        assert not any("part" in m for m in made)
    if (tmp_path / "other").exists():
        assert files(tmp_path / "other") == files(rd.Shop(tmp_path / "o").put(ANN).write().dir)


def test_a_damaged_backup_is_refused_and_nothing_changes(tmp_path):
    rd.Shop(tmp_path / "shop").put(ANN).write()
    backup = rd.Shop(tmp_path / "bk").put(BEN).write().dir
    os.truncate(backup / "rentmovies.txt", 100)
    before = state(tmp_path / "shop")
    run = rd.admin(tmp_path, "--data", "shop", "restore", "bk")
    assert run.returncode == 1 and "rentmovies.txt: its length" in run.stderr
    assert state(tmp_path / "shop") == before


def test_a_restore_cut_short_anywhere_is_finished_or_never_begun_at_the_next_start(tmp_path):
    old = rd.Shop(tmp_path / "old").put(ANN).write().dir
    backup = rd.Shop(tmp_path / "backup", slots=17).put(BEN, M(4, 1, "Up")).write().dir
    trial, outcomes = tmp_path / "trial", set()
    for crash in range(200):
        shutil.rmtree(trial, ignore_errors=True)
        shutil.copytree(old, trial)
        run = subprocess.run([rd.BUILD / "tests/e2e_crash_admin", "restore", backup], cwd=trial,
                             env={**os.environ, "RENTDESK_CRASH_AFTER_WRITES": str(crash)})
        if run.returncode == 0:
            break
        assert run.returncode == 86
        leave(counter(trial))  # the next start
        outcomes.add(files(trial) == files(backup))
        assert files(trial) in (files(old), files(backup))
        assert files(trial) == files(old) or files(next(trial.glob("replaced-*"))) == files(old)
    assert run.returncode == 0 and outcomes == {False, True}
