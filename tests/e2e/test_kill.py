"""The counter ended abruptly in the middle of a scripted month at the shop:
killed with SIGKILL at random points, and crashed at every single write of
every step. Every data file is then still a table of whole records, the
folder is sound or made sound by `rentdesk-admin check --repair`, and nothing
that existed before the interrupted step and outlives that step is lost.

The script is a list of steps; each starts the program on the folder the
steps before it left, does one clerk's errand from the main menu and leaves
with Esc. A reference run takes the folder before and after every step. A
trial restores the folder before a step and replays the step, either
- killed with SIGKILL after a random number of keys and lines: at once,
  after a short random pause, or once the program waits for input (where a
  kill mostly lands: one between two writes of an operation takes luck), or
- run by the test build of the program (tests/e2e/crash_hook.cpp) that ends
  at its write number N, a record write, sync or rename, for every N the
  step has.

RENTDESK_KILLS sets the number of SIGKILL trials (default 60) and
RENTDESK_KILL_SEED their seed; a failure names the seed, the step and the
kill point."""

import dataclasses
import itertools
import os
import random
import re
import signal
import subprocess
import time
from typing import Callable

import pytest

from harness import (RECORD_TYPES, Client, HashTable, Movie, Rent, Reserve, Saved, SessionError,
                     admin, binary, decode_records, next_prime, read_records, start_program)
from shop import PRESS

MENU = " is connected to the system\n"
DIALOG = "|____no____|\n\n"
RETURN_QUESTION = re.compile("The client (don't )?need to return movie" + PRESS)
CRASHED = 86  # the status of the crash the test build ends with
STRUCTURAL = re.compile(r"^\S+: (slot \d+:|its length|has \d+ slots?,|its slot count|is missing)")


class Killed(Exception):
    """The program was killed where the trial wanted it."""


class Clerk:
    """Drives one step: every key or line sent is an action, and the program
    is killed right after the action numbered kill_at."""

    def __init__(self, session, kill_at=None, pause: Callable[["Clerk"], None] = lambda c: None):
        self.s = session
        self.actions = 0
        self.kill_at = kill_at
        self.pause = pause

    def kill(self):
        self.pause(self)
        self.s.child.kill(signal.SIGKILL)
        raise Killed

    def _acted(self):
        self.actions += 1
        if self.actions == self.kill_at:
            self.kill()

    def keys(self, *names):
        for name in names:
            self.s.key(name)
            self._acted()

    def line(self, text):
        self.s.type_line(text)
        self._acted()

    def see(self, text):
        return self.s.wait_for(text)

    def dismiss(self, text=PRESS):
        """Waits for a message and answers it with a key."""
        self.see(text)
        self.keys("x")

    def answer(self, yes: bool):
        self.see(DIALOG)
        self.keys("enter") if yes else self.keys("down", "enter")

    def choose(self, entry: int):
        self.see(MENU)
        self.keys(*["down"] * (entry - 1), "enter")

    # -- the desks

    def add_client(self, id, fname, lname, phone, months=1):
        self.choose(5)
        self.answer(yes=True)
        for prompt, typed in (("Insert identification number\n", id),
                              ("first name\n", fname), ("last name\n", lname),
                              ("adrress\n", "Haifa"), ("(without bar's!)\n", phone),
                              ("want to subscribe?\n", months)):
            self.see(prompt)
            self.line(str(typed))
        self.dismiss("Client was added to database." + PRESS)

    def add_movie(self, id, name, rentdays, status):
        self.choose(6)
        self.answer(yes=True)
        self.see("\n insert movie ID: \n")
        self.line(str(id))
        self.see("\n insert movie name: \n ")
        self.line(name)
        self.see("\n insert days to rent:\n ")
        self.line(str(rentdays))
        self.see("\n Insert disk status: \n ")
        self.line(str(status))

    def add_copy(self, id, status):
        self.choose(6)
        self.answer(yes=True)
        self.see("\n insert movie ID: \n")
        self.line(str(id))
        self.dismiss("Movie ID already exists!..." + PRESS)
        self.answer(yes=True)
        self.see("\n Insert disk status: \n ")
        self.line(str(status))

    def remove_copy(self, id, copy):
        self.choose(6)
        self.answer(yes=False)
        self.see("Insert movie ID for remove:\n ")
        self.line(str(id))
        self.dismiss("\n\n Press any key to continue ")
        self.answer(yes=True)
        self.see("Insert copy number to delete\n")
        self.line(str(copy))
        self.dismiss("The copy has been deleted" + PRESS)

    def login(self, id, renew_months=None, returns=None, notice=False):
        """Logs a client in (renewing when asked); a client with a rental
        brings the disk back with the status given, the hand-over's call
        notice answered on the way, or keeps it when no status is given."""
        self.choose(1)
        self.see("\n Insert ID number \n")
        self.line(str(id))
        if renew_months is not None:
            self.see("new subscription!\n")
            self.line(str(renew_months))
            self.dismiss("The total sum combine")
            self.answer(yes=True)
            self.dismiss("Client paid!")
        else:
            self.dismiss("The user is now logged into the system")
        screen = self.see(RETURN_QUESTION)
        self.keys("x")
        if "don't" in screen.text:
            assert returns is None, "the client has nothing to bring back"
            return
        self.see(DIALOG)
        if returns is None:  # he keeps his disk for now
            self.keys("esc")
            return
        self.keys("enter")
        if notice:
            self.dismiss("The movie will be saved for 7 days" + PRESS)
        self.see("status of the disk(insert number from 1-10)\n")
        self.line(str(returns))

    def search(self, title, has_hold=False):
        self.choose(3)
        if has_hold:
            self.dismiss("A movie has been saved for the client!")
        self.see("\n Insert movie name \n")
        self.line(title)

    def rent(self, id, title):
        self.login(id)
        self.search(title)
        self.dismiss("The client can rent this movie" + PRESS)
        self.answer(yes=True)
        self.dismiss("The movie is now ranted to the client!" + PRESS)

    def reserve(self, id, title, call):
        self.login(id)
        self.search(title)
        self.dismiss("The client can reserve the movie." + PRESS)
        self.answer(yes=True)
        self.answer(yes=call)
        self.dismiss("When the movie is avaliable it will be saved for the client." + PRESS)

    def take_hold(self, id, title, take, notice=False):
        self.login(id)
        self.search(title, has_hold=True)
        self.dismiss("The client can take the movie or not." + PRESS)
        self.answer(yes=take)
        if take:
            return
        if notice:
            self.dismiss("The movie will be saved for 7 days" + PRESS)
        self.see("\n Insert movie name \n")  # the search goes on; nothing else is wanted
        self.line("Nothing")
        self.dismiss("not found!" + PRESS)
        self.answer(yes=False)

    def remove_client(self, id, status=None, owes=False, notices=0):
        """Removes a client: his disk back with the status given, what he
        owes paid, the call notices of his copies' hand-overs answered."""
        self.choose(5)
        self.answer(yes=False)
        self.see(" Insert client ID number to delete!\n")
        self.line(str(id))
        if status is not None:
            self.answer(yes=True)
            self.see("status of the disk(insert number from 1-10)\n")
            self.line(str(status))
        if owes:
            self.dismiss("The client have to pay first a sum of: ")
            self.answer(yes=True)
        for _ in range(notices):
            self.dismiss("The movie will be saved for 7 days" + PRESS)
        self.dismiss("The client was deleted from database." + PRESS)

    def update_saved_list(self, overdue_notices=0):
        for _ in range(overdue_notices):  # the start-up update speaks first
            self.dismiss("Please call now the client about the movie.")
        self.choose(4)
        self.dismiss("Saved movie list was updated" + PRESS)


@dataclasses.dataclass
class Step:
    date: str
    what: str
    drive: Callable[[Clerk], None]


SCRIPT = [
    Step("2009-03-02", "add Ann",
         lambda c: c.add_client(25, "Ann", "Lee", 541111111)),
    Step("2009-03-02", "add Ben",
         lambda c: c.add_client(31, "Ben", "Ross", 542222222)),
    Step("2009-03-02", "add Rina",
         lambda c: c.add_client(32, "Rina", "Katz", 543333333)),
    Step("2009-03-02", "add Dan",
         lambda c: c.add_client(33, "Dan", "Oz", 544444444)),
    Step("2009-03-02", "add Eve",
         lambda c: c.add_client(34, "Eve", "Adam", 545555555)),
    Step("2009-03-02", "add Heat",
         lambda c: c.add_movie(100, "Heat", 3, 7)),
    Step("2009-03-02", "add a copy of Heat",
         lambda c: c.add_copy(100, 8)),
    Step("2009-03-02", "add Alien",
         lambda c: c.add_movie(200, "Alien", 2, 5)),
    Step("2009-03-02", "Ben rents Heat",
         lambda c: c.rent(31, "Heat")),
    Step("2009-03-02", "Ann rents Heat",
         lambda c: c.rent(25, "Heat")),
    Step("2009-03-02", "Dan rents Alien",
         lambda c: c.rent(33, "Alien")),
    Step("2009-03-03", "Rina reserves Heat",
         lambda c: c.reserve(32, "Heat", call=True)),
    Step("2009-03-04", "Dan reserves Heat",
         lambda c: c.reserve(33, "Heat", call=False)),
    Step("2009-03-04", "Eve reserves Alien",
         lambda c: c.reserve(34, "Alien", call=True)),
    Step("2009-03-05", "Ben brings Heat back; it is held for Rina",
         lambda c: c.login(31, returns=6, notice=True)),
    Step("2009-03-05", "Rina declines it; it is held for Dan",
         lambda c: c.take_hold(32, "Heat", take=False)),
    Step("2009-03-06", "Dan leaves: Alien, late, goes to Eve, his Heat is freed",
         lambda c: c.remove_client(33, status=3, owes=True, notices=1)),
    Step("2009-03-06", "Rina rents the freed Heat",
         lambda c: c.rent(32, "Heat")),
    Step("2009-03-07", "Eve takes her Alien",
         lambda c: c.take_hold(34, "Alien", take=True)),
    Step("2009-03-07", "Ben reserves Heat",
         lambda c: c.reserve(31, "Heat", call=True)),
    Step("2009-03-07", "Rina reserves Alien",
         lambda c: c.reserve(32, "Alien", call=False)),
    Step("2009-03-08", "Ann brings Heat back late; it is held for Ben",
         lambda c: c.login(25, returns=9, notice=True)),
    Step("2009-03-08", "Eve brings Alien back; it is held for Rina",
         lambda c: c.login(34, returns=4)),
    Step("2009-03-09", "Ann reserves Heat",
         lambda c: c.reserve(25, "Heat", call=True)),
    Step("2009-03-20", "Ben's hold runs out to Ann, Rina's frees Alien",
         lambda c: c.update_saved_list(overdue_notices=1)),
    Step("2009-03-20", "Ben rents Alien",
         lambda c: c.rent(31, "Alien")),
    Step("2009-03-20", "Eve reserves Alien",
         lambda c: c.reserve(34, "Alien", call=False)),
    Step("2009-03-21", "the copy of Heat held for Ann is deleted",
         lambda c: c.remove_copy(100, held_copy(c, 25))),
    Step("2009-03-21", "Ann reserves Alien",
         lambda c: c.reserve(25, "Alien", call=True)),
    Step("2009-03-22", "Ben brings Alien back; it is held for Eve",
         lambda c: c.login(31, returns=2)),
    Step("2009-03-22", "Rina brings Heat back late; nobody waits for it",
         lambda c: c.login(32, returns=5)),
    Step("2009-03-22", "the last Alien, held, is deleted with Ann's reservation",
         lambda c: c.remove_copy(200, 1)),
    Step("2009-04-10", "Ben renews",
         lambda c: c.login(31, renew_months=2)),
    Step("2009-04-10", "Ann leaves, paying her fine",
         lambda c: c.remove_client(25, owes=True)),
]


def held_copy(clerk, client):
    """Copy number of the copy held for the client, read from the files."""
    folder = clerk.s.child.cwd
    return next(h.copy for h in read_records(f"{folder}/{Saved.FILE}", Saved)
                if h.client == client)


# ---------------------------------------------------------------- the folder


def snapshot(folder):
    return {t.FILE: (folder / t.FILE).read_bytes() for t in RECORD_TYPES}


def restore(folder, files):
    folder.mkdir(parents=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)


def claims(files):
    """What must not be lost, by kind: clients, copies, rentals, holds and
    reservations, each by what tells it apart; and each client's claim on a
    movie, whichever of the three forms it has at the moment."""
    def records(rec_type):
        return [r for r in decode_records(files[rec_type.FILE], rec_type) if r.key >= 1]
    return {
        "client": {c.id for c in records(Client)},
        "copy": {(m.id, m.copy) for m in records(Movie)},
        "rental": {(r.client, r.movie, r.copy, r.rentdate) for r in records(Rent)},
        "hold": {(h.client, h.movie, h.copy, h.savedate) for h in records(Saved)},
        "reservation": {(r.client, r.movie, r.resdate) for r in records(Reserve)},
        "claim on a movie": ({(r.client, r.movie) for r in records(Reserve)}
                             | {(h.client, h.movie) for h in records(Saved)}
                             | {(r.client, r.movie) for r in records(Rent)}),
    }


def assert_whole_tables(files):
    """Each file is a table of whole records, of a prime slot count of 2 or
    more, every record as the program writes it (texts terminated, zero
    padded) and every live record found by its own key's search."""
    for rec_type in RECORD_TYPES:
        data = files[rec_type.FILE]
        n, rest = divmod(len(data), rec_type.SIZE)
        assert rest == 0 and n >= 2 and next_prime(n) == n, f"{rec_type.FILE}: {len(data)} bytes"
        table = HashTable(rec_type, decode_records(data, rec_type))
        for slot, rec in enumerate(table.records):
            raw = data[slot * rec_type.SIZE:(slot + 1) * rec_type.SIZE]
            assert rec.key >= -1, f"{rec_type.FILE} slot {slot}: key {rec.key}"
            assert rec.encode() == raw, f"{rec_type.FILE} slot {slot}: {raw.hex()}"
        for slot, rec in table.live():
            assert table.find(rec.key, lambda r, rec=rec: r == rec) == slot, \
                f"{rec_type.FILE} slot {slot}: {rec} is not found by its search"


def assert_sound_after_repair(folder):
    """check reports no damage inside a table; check --repair leaves the
    folder sound (exit 0)."""
    checked = admin(folder, "check")
    assert checked.stderr == "", checked.stderr
    structural = [line for line in checked.stdout.splitlines() if STRUCTURAL.match(line)]
    assert not structural, checked.stdout
    repaired = admin(folder, "check", "--repair")
    assert repaired.returncode == 0, checked.stdout + "--repair:\n" + repaired.stdout
    return repaired.stdout


def assert_nothing_lost(before, after, now):
    """What the step found and left stays (a reservation that becomes a hold,
    or a hold that becomes a rental, stays in one form or the other);
    nothing appears that neither the step's start nor its end had."""
    was, will, got = claims(before), claims(after), claims(now)
    for kind in was:
        lost = (was[kind] & will[kind]) - got[kind]
        assert not lost, f"lost {kind}: {sorted(lost)}"
        strange = got[kind] - (was[kind] | will[kind])
        assert not strange, f"unexpected {kind}: {sorted(strange)}"


# ---------------------------------------------------------------- runs


def run_step(folder, st, kill_at=None, pause=lambda c: None):
    """Runs a step in folder; answers the number of actions it took, or
    None when the program was killed."""
    s = start_program("rentdesk", folder, date=st.date)
    clerk = Clerk(s, kill_at, pause)
    try:
        if kill_at == 0:
            clerk.kill()
        st.drive(clerk)
        s.wait_for(MENU)
        s.key("esc")
        assert s.wait_exit() == 1
        return clerk.actions
    except Killed:
        assert s.close().signal == signal.SIGKILL
        return None
    finally:
        if s.exit_status is None:
            s.close()


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    """The folder before and after each step of an uninterrupted run, and
    the number of actions of each step. The tables start with 2 slots, so
    they grow often and crashes fall inside their rebuilds too."""
    folder = tmp_path_factory.mktemp("reference") / "shop"
    folder.mkdir()
    subprocess.run([str(binary("rentdesk-admin")), "init", "2"], cwd=folder, check=True,
                   capture_output=True)
    states, actions = [snapshot(folder)], []
    for st in SCRIPT:
        actions.append(run_step(folder, st))
        states.append(snapshot(folder))
        assert admin(folder, "check").returncode == 0, st.what
    return states, actions


PAUSES = {
    "at once": lambda rng: lambda c: None,
    "after a pause": lambda rng: lambda c: time.sleep(rng.uniform(0, 0.015)),
    "once it waits": lambda rng: lambda c: c.s.wait_quiet(0.05),
}


def assert_interrupted_step_is_mendable(before, after, folder):
    """The folder a step left when it was cut short: whole tables, sound
    after the repair, nothing lost that the step would have kept."""
    assert_whole_tables(snapshot(folder))
    assert_sound_after_repair(folder)
    assert_nothing_lost(before, after, snapshot(folder))


def test_a_killed_counter_leaves_sound_tables_and_loses_nothing(reference, tmp_path):
    states, actions = reference
    seed = int(os.environ.get("RENTDESK_KILL_SEED") or random.SystemRandom().randrange(1 << 32))
    kills = int(os.environ.get("RENTDESK_KILLS", "60"))
    rng = random.Random(seed)
    points = [(j, k) for j, n in enumerate(actions) for k in range(n + 1)]
    for trial in range(kills):
        j, k = rng.choice(points)
        pause = rng.choice(sorted(PAUSES))
        where = (f"seed {seed} (RENTDESK_KILL_SEED={seed}), trial {trial}: step {j} "
                 f"'{SCRIPT[j].what}' killed after action {k} of {actions[j]}, {pause}")
        folder = tmp_path / f"trial{trial}"
        restore(folder, states[j])
        try:
            assert run_step(folder, SCRIPT[j], k, PAUSES[pause](rng)) is None
            assert_interrupted_step_is_mendable(states[j], states[j + 1], folder)
        except AssertionError as e:
            raise AssertionError(f"{where}\n{e}") from e


def crashes_at(folder, st, write):
    """Runs a step with the program built to end at its write point number
    `write` (a record write, sync or rename); answers True when it ended
    there, False when the step was done first."""
    s = start_program("tests/e2e_crash_rentdesk", folder, date=st.date,
                      env={"RENTDESK_CRASH_AFTER_WRITES": str(write)})
    try:
        st.drive(Clerk(s))
        s.wait_for(MENU)
        s.key("esc")
        assert s.wait_exit() == 1
        return False
    except SessionError:
        if s.close().code != CRASHED:
            raise
        return True
    finally:
        if s.exit_status is None:
            s.close()


def test_a_crash_at_any_write_of_any_step_leaves_sound_tables_and_loses_nothing(
        reference, tmp_path):
    states, _ = reference
    for j, st in enumerate(SCRIPT):
        for write in itertools.count():
            folder = tmp_path / f"step{j}-write{write}"
            restore(folder, states[j])
            try:
                if not crashes_at(folder, st, write):
                    assert snapshot(folder) == states[j + 1], "the step, done, differs"
                    break
                assert_interrupted_step_is_mendable(states[j], states[j + 1], folder)
            except AssertionError as e:
                raise AssertionError(f"step {j} '{st.what}', crash at write {write}\n{e}") from e
