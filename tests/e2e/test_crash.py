# The scripted weeks (week.py) at the counter on tables of 2 slots (so they
# grow). Each errand is crashed at every write point by the test build of the
# counter, which drops what was written but not synced as a power failure
# would, and killed with SIGKILL at random points: the next start of the
# counter recovers alone to a sound folder holding exactly the files as they
# stood at a key wait of the errand, the day log's with the tables', so no
# action is ever half done (a late fine booked twice, a reservation passed
# over) and the log holds an action's events exactly when the tables hold its
# writes.

import os
import random
import shutil
import signal
import time

import rd
from clerk import *  # noqa: F403
from week import WEEK, clock, state

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
