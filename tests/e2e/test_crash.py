# The scripted weeks (week.py) at the counter on tables of 2 slots (so they
# grow). Each errand is crashed at every write point by the test build of the
# counter, which drops what was written but not synced as a power failure
# would, and killed with SIGKILL at random points: the next start of the
# counter recovers alone to a sound folder holding exactly the files as they
# stood at a key wait of the errand, the day log's with the tables', so no
# action is ever half done (a late fine booked twice, a reservation passed
# over) and the log holds an action's events exactly when the tables hold its
# writes. A journal deleted or replaced under the counter is made again before
# the next action, and waits for a backup holding the lock of what stood
# there; an intent a crash left is applied only whole, over the tables it was
# made for, once a backup holding the journal's lock is done, and one for
# tables gone gives way to new ones.

import fcntl
import os
import random
import shutil
import signal
import time

import pytest

import rd
from clerk import *  # noqa: F403
from week import WEEK, clock, give_back, state

KILLS = int(os.environ.get("RENTDESK_KILLS", "2"))  # SIGKILL trials per errand


def run(folder, when, steps, crash=-1, kill=None, seen=None):
    # Plays one errand (the first kill steps of it, then SIGKILL after a short
    # pause, when kill is given); answers the exit status.
    s = rd.Session(folder, date=when.split()[0], prog="tests/e2e_crash_rentdesk",
                   extra={"RENTDESK_CRASH_AFTER_WRITES": str(crash), **clock(when)})
    s.on_wait = seen is not None and (lambda: seen.add(state(folder)))
    try:
        play(s, steps[:kill] if kill is not None else steps + [See(MENU_END), Key("esc")])
        if kill is not None:
            time.sleep(random.random() / 50)
            s.p.kill(signal.SIGKILL)
    except AssertionError:
        assert crash >= 0 or kill is not None, "the reference run failed"
    return s.status()


def recovered(folder, when, seen):
    # The counter started on what a crash left: its recovery alone leaves a
    # sound folder holding exactly what the clerk saw at some point.
    s = rd.Session(folder, date=when.split()[0], extra=clock(when))
    if MENU_END not in s.wait(lambda whole, _: MENU_END in whole or PRESS in whole, "the menu"):
        s.key("x")  # a call notice of the start-up's saved-list update
        s.see(MENU_END)
    s.key("esc")
    assert s.status() == 1
    check = rd.admin(folder, "check")
    assert check.returncode == 0, check.stdout
    assert state(folder) in seen, "a state no key wait of the errand showed"


@pytest.mark.skipif("detect_leaks" in os.environ.get("ASAN_OPTIONS", ""),
                    reason="the native stage plays every crash; the sanitized one, the rest")
@pytest.mark.slow
def test_a_crash_or_kill_anywhere_in_the_weeks_leaves_what_the_clerk_saw(tmp_path):
    folder, before, trial = tmp_path / "shop", tmp_path / "before", tmp_path / "trial"
    rd.Shop(folder, slots=2).write()
    random.seed(7)

    def attempt(**how):  # one trial of the errand from the folder it started on
        shutil.rmtree(trial, ignore_errors=True)
        shutil.copytree(before, trial)
        status = run(trial, when, steps, **how)
        if status != 1:
            recovered(trial, when, seen)
        return status

    for when, _, steps in WEEK:
        shutil.rmtree(before, ignore_errors=True)
        shutil.copytree(folder, before)
        seen = {state(folder)}
        assert run(folder, when, steps, seen=seen) == 1
        seen.add(state(folder))
        assert any(attempt(crash=c) == 1 for c in range(100)), "the errand never finished"
        for _ in range(KILLS):
            attempt(kill=random.randint(0, len(steps)))


def replaced(folder):  # another file put in the journal's place
    (folder / "rentdesk.journal").unlink()
    (folder / "rentdesk.journal").write_bytes(b"")


LATE = [C(1, "Ann", "Lee"), M(10, 1, "Alien", rented=1), R(1, 10, 1)]  # back on the 9th: 5 days late


@pytest.mark.parametrize("take", [lambda f: (f / "rentdesk.journal").unlink(), replaced])
def test_a_crash_after_the_journal_was_deleted_or_replaced_leaves_what_the_clerk_saw(tmp_path,
                                                                                    take):
    before, trial, date = tmp_path / "before", tmp_path / "trial", "2009-03-09 10:00"
    rd.Shop(before).put(*LATE).write()
    steps = [See(MENU_END), take, *give_back(1, "6", notice=False)]
    shutil.copytree(before, trial)
    seen = {state(before)}
    assert run(trial, date, steps, seen=seen) == 1
    seen.add(state(trial))
    for crash in range(100):
        shutil.rmtree(trial)
        shutil.copytree(before, trial)
        if run(trial, date, steps, crash=crash) == 1:
            break
        recovered(trial, date, seen)
    assert crash > 10, "the errand never reached its writes"


def test_the_counter_waits_for_a_backup_holding_the_lock_of_the_journal_the_folder_names(
        tmp_path):
    shop = rd.Shop(tmp_path).put(*LATE).write()
    s = rd.Session(tmp_path, date="2009-03-09")
    play(s, [See(MENU_END), replaced])
    lock = os.open(tmp_path / "rentdesk.journal", os.O_RDONLY)
    fcntl.flock(lock, fcntl.LOCK_EX)  # as a backup holds it while it copies the tables
    play(s, give_back(1, "6", notice=False)[:-2])  # the disk taken back: the action ends
    time.sleep(0.5)
    assert state(tmp_path) == state(rd.Shop(tmp_path / "b").put(*LATE).write().dir)
    os.close(lock)
    play(s, [See(DISK_Q), "6", See(MENU_END), Key("esc")])
    assert s.status() == 1
    shop[Rent].delete(1)
    shop[Movie].set(10, rented=0, diskstatus=6)
    shop[Client].set(1, fine=25)
    shop.check()


def ben_at(folder):  # the offset of Ben's record where the counter puts it beside Ann
    return rd.Shop(folder).put(ANN, BEN)[Client].find(8) * 64


CONTENTS = [  # an intent a crash left, of Ben's record w at offset o; what a start says (or None)
    (lambda o, w: rd.intent(("W", "user.txt", o, w), form=b"RDJ1"), None),  # an earlier version's
    (lambda o, w: rd.intent(("S", "user.txt", 832), ("W", "user.txt", o, w)), None),
    (lambda o, w: rd.intent(("S", "user.txt", 1344), ("W", "user.txt", o, w)),
     "holds an action on user.txt of 1344 bytes, but user.txt is now 832 bytes"),
    *((lambda o, w, at=at: rd.intent(("S", "user.txt", 832), ("W", "user.txt", at, w)),
       f"holds a write of 64 bytes at byte {at} of user.txt, where no whole record of it can be")
      for at in (2 ** 40, -64, 800)),
    (lambda o, w: rd.intent(("S", "user.txt", 832), ("W", "user.txt", 0, b"")),
     "holds a write of 0 bytes at byte 0 of user.txt, where no whole record of it can be"),
    (lambda o, w: rd.intent(("W", "user.txt", 512, w[:4]), form=b"RDJ1"),
     "holds a write of 4 bytes at byte 512 of user.txt, where no whole record of it can be"),
    (lambda o, w: rd.intent(("S", "user.txt", 832), ("W", "notes.txt", 0, w)),
     "names a file that is no data file"),
]


@pytest.mark.parametrize("make, said", CONTENTS)
def test_an_intent_is_applied_only_in_whole_records_over_the_tables_it_was_made_for(tmp_path, make,
                                                                                   said):
    shop = rd.Shop(tmp_path).put(ANN).write()
    (tmp_path / "rentdesk.journal").write_bytes(make(ben_at(tmp_path), Client.encode(BEN)))
    check = rd.admin(tmp_path, "check")
    assert check.returncode == 1 and f"rentdesk.journal: {said or 'holds a clerk'}" in check.stdout
    lock = os.open(tmp_path / "rentdesk.journal", os.O_RDONLY)
    fcntl.flock(lock, fcntl.LOCK_EX)  # as a backup copying the tables holds it
    s = rd.Session(tmp_path)
    time.sleep(0.5)  # the start waits for the backup before it finishes the intent
    assert (tmp_path / "user.txt").read_bytes() == shop[Client].data() and MENU_END not in s.screen()
    os.close(lock)
    play(s, [See(MENU_END), Key("esc")] if said is None else [See(said + ".  End of program..")])
    assert s.status() == 1
    shop.put(*[BEN] * (said is None)).check()


def test_a_journal_of_tables_gone_is_set_aside_by_demo_and_init_which_start_afresh(tmp_path):
    for args in (["demo"], ["init", "13", "--force"]):
        folder = tmp_path / args[0]
        folder.mkdir()
        (folder / "rentdesk.journal").write_bytes(rd.intent(("S", "user.txt", 832),
                                                            ("W", "user.txt", 0, bytes(64))))
        assert "rentdesk.journal: holds an action on user.txt, which is missing; no start can " \
               "finish it: init SLOTS --force, demo" in rd.admin(folder, "check").stdout
        run = rd.admin(folder, *args)
        assert run.returncode == 0 and "Set rentdesk.journal aside as rentdesk.journal-" in run.stdout
        assert rd.admin(folder, "check").stdout == "All five data files are sound.\n"
