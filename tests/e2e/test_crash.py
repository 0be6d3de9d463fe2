# A month at the counter on tables of 2 slots (so they grow), each errand
# crashed at every write point by the test build of the counter: afterwards
# `rentdesk-admin check --repair` leaves a sound folder, and no client, copy,
# rental, hold or reservation that lived both before and after the errand is
# lost.

import shutil

import pytest

import rd
from clerk import *  # noqa: F403

CRASHED = 86


def add_client(id, name):
    return [5, Yes(CLIENT_Q), See("number\n"), str(id), See("first name\n"), name,
            See("last name\n"), "Lee", See("adrress\n"), "Main", See("bar's!)\n"), "5",
            See("subscribe?\n"), "1", See("added"), Key("x")]


def add_movie(id, name=None):
    answers = [See("name: \n "), name, See("rent:\n "), "3"] if name else [
        See("exists!..."), Key("x"), Yes(ADD_COPY_Q)]
    return [6, Yes(MOVIE_Q), See("movie ID: \n"), str(id), *answers, See("status: \n "), "8"]


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


def claims(folder):
    # Everything the shop must not lose: clients, copies, rentals, a client's
    # claim on a copy (held or rented) and his wait for a title (reserved or
    # held).
    def live(T):
        return [r for r in rd.read(folder / T.FILE, T) if rd.key(r) >= 1]

    rents, holds = live(rd.Rent), live(rd.Saved)
    return ({("client", c.id) for c in live(rd.Client)}
            | {("copy", m.id, m.copy) for m in live(rd.Movie)}
            | {("rental", r.client, r.movie, r.copy) for r in rents}
            | {("has copy", x.client, x.movie, x.copy) for x in rents + holds}
            | {("waits", x.client, x.movie) for x in holds + live(rd.Reserve)})


def run(folder, date, steps, crash=None):
    # Plays one errand from the main menu; answers the exit status.
    s = rd.Session(folder, date=date, prog="tests/e2e_crash_rentdesk",
                   extra={"RENTDESK_CRASH_AFTER_WRITES": str(crash if crash is not None else -1)})
    try:
        play(s, steps + [See(MENU_END), Key("esc")])
    except AssertionError:
        if crash is None:
            raise
    return s.status()


def test_a_crash_at_any_write_of_a_month_loses_nothing(tmp_path):
    folder, trial = tmp_path / "shop", tmp_path / "trial"
    rd.Shop(folder, slots=2).write()
    for date, steps in MONTH:
        before = claims(folder)
        shutil.rmtree(tmp_path / "before", ignore_errors=True)
        shutil.copytree(folder, tmp_path / "before")
        assert run(folder, date, steps) == 1
        kept = before & claims(folder)
        for crash in range(100):
            shutil.rmtree(trial, ignore_errors=True)
            shutil.copytree(tmp_path / "before", trial)
            status = run(trial, date, steps, crash)
            if status != CRASHED:
                assert status == 1
                break
            repaired = rd.admin(trial, "check", "--repair")
            assert repaired.returncode == 0, f"{date} write {crash}:\n{repaired.stdout}"
            assert kept <= claims(trial), f"{date} write {crash}: lost {kept - claims(trial)}"
        else:
            pytest.fail(f"the errand of {date} never finished")
