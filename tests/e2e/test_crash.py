# A month at the counter on tables of 2 slots (so they grow). Each errand is
# crashed at every write point by the test build of the counter, which drops
# what was written but not synced as a power failure would, and killed with
# SIGKILL at random points: the next start of the counter recovers alone to a
# sound folder holding exactly the files as they stood at a key wait of the
# errand, so no action is ever half done (a late fine booked twice, a
# reservation passed over).

import os
import random
import shutil
import signal
import time

import rd
from clerk import *  # noqa: F403

KILLS = int(os.environ.get("RENTDESK_KILLS", "2"))  # SIGKILL trials per errand


def search(id, name, title, *then):
    return [*login(id, name), 3, See(SEARCH), title, *then, See(MENU_END), 2]


def give_back(id, status, notice):
    return [1, See(LOGIN), str(id), See(LOGGED_IN), Key("x"), Msg(MUST_RETURN), Yes(RETURN_Q),
            *([See("saved for 7 days"), Key("x")] if notice else []), See(DISK_Q), status]


MONTH = [
    ("2009-03-01", add_client(1, "Ann")), ("2009-03-01", add_client(2, "Ben")),
    ("2009-03-01", add_client(3, "Cy")), ("2009-03-01", add_movie(10, "Alien")),
    ("2009-03-01", add_movie(10)), ("2009-03-01", add_movie(11, "Up")),
    ("2009-03-02", search(1, "Ann Lee", "Alien", Msg(CAN_RENT), Yes(RENT_Q),
                          See("ranted to the client!"), Key("x"))),
    ("2009-03-02", search(2, "Ben Lee", "Alien", Msg(CAN_RENT), Yes(RENT_Q),
                          See("ranted to the client!"), Key("x"))),
    ("2009-03-02", search(3, "Cy Lee", "Alien", Msg(NOT_AVAILABLE), Yes(RESERVE_Q),
                          Yes(CALL_Q), Msg(RESERVED))),
    ("2009-03-09", give_back(1, "6", notice=True)),
    ("2009-03-09", [*login(3, "Cy Lee"), 3, See("saved for the client!"), Key("x"), See(SEARCH),
                    "Alien", Msg(CAN_TAKE), Yes(TAKE)]),
    ("2009-03-09", search(1, "Ann Lee", "Alien", Msg(NOT_AVAILABLE), Yes(RESERVE_Q),
                          No(CALL_Q), Msg(RESERVED))),
    ("2009-03-10", [5, No(CLIENT_Q), See("to delete!\n"), "2", Yes(HAS_DISK_Q),
                    See(DISK_Q), "5", See("a sum of: 25"), Key("x"), Yes(PAID_Q),
                    See("deleted from database."), Key("x")]),
    ("2009-03-19", []),  # the start-up update lets Ann's hold go
    ("2009-03-19", [6, No(MOVIE_Q), See("for remove:\n "), "11", See("in the database"),
                    Key("x"), Yes(" Do you want to delete a copy?\n\n Yes to delete a copy.\n No "
                                  "or ESC to go back to manu."), See("to delete\n"), "1",
                    See("has been deleted"), Key("x")]),
]


def tables(folder):
    return tuple((folder / T.FILE).read_bytes() for T in rd.TYPES)


def run(folder, date, steps, crash=-1, kill=None, seen=None):
    # Plays one errand (the first kill steps of it, then SIGKILL after a short
    # pause, when kill is given); answers the exit status.
    s = rd.Session(folder, date=date, prog="tests/e2e_crash_rentdesk",
                   extra={"RENTDESK_CRASH_AFTER_WRITES": str(crash)})
    s.on_wait = seen is not None and (lambda: seen.add(tables(folder)))
    try:
        play(s, steps[:kill] if kill is not None else steps + [See(MENU_END), Key("esc")])
        if kill is not None:
            time.sleep(random.random() / 50)
            s.p.kill(signal.SIGKILL)
    except AssertionError:
        assert crash >= 0 or kill is not None, "the reference run failed"
    return s.status()


def recovered(folder, date, seen):
    # The counter started on what a crash left: its recovery alone leaves a
    # sound folder holding exactly what the clerk saw at some point.
    s = rd.Session(folder, date=date)
    s.see(MENU_END)
    s.key("esc")
    assert s.status() == 1
    check = rd.admin(folder, "check")
    assert check.returncode == 0, check.stdout
    assert tables(folder) in seen, "a state no key wait of the errand showed"


def test_a_crash_or_kill_anywhere_in_a_month_leaves_what_the_clerk_saw(tmp_path):
    folder, before, trial = tmp_path / "shop", tmp_path / "before", tmp_path / "trial"
    rd.Shop(folder, slots=2).write()
    random.seed(7)

    def attempt(**how):  # one trial of the errand from the folder it started on
        shutil.rmtree(trial, ignore_errors=True)
        shutil.copytree(before, trial)
        status = run(trial, date, steps, **how)
        if status != 1:
            recovered(trial, date, seen)
        return status

    for date, steps in MONTH:
        shutil.rmtree(before, ignore_errors=True)
        shutil.copytree(folder, before)
        seen = {tables(folder)}
        assert run(folder, date, steps, seen=seen) == 1
        seen.add(tables(folder))
        assert any(attempt(crash=c) == 1 for c in range(100)), "the errand never finished"
        for _ in range(KILLS):
            attempt(kill=random.randint(0, len(steps)))
