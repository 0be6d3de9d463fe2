# The scripted weeks at the counter, from 2 to 19 March 2009 (long enough for
# a hold to run out), on tables that start with 2 slots so that they grow:
# clients and copies added, rentals (one at rentdesk2), reservations with and
# without a call notice, late returns at login and on a client's removal,
# holds made, declined, run out and passed on, two subscriptions paid (one
# with a fine), a held copy deleted. Each errand runs on a clock frozen at
# its own minute, so the day log it writes is the same every time.

import rd
from clerk import *  # noqa: F403

ASK_MONTHS = "Insert number of months for new subscription!\n"
NOT_FOUND = info("\n\n\n Copy of the movie movie not found!")
DELETE_Q = " Do you want to delete a copy?\n\n Yes to delete a copy.\n No or ESC to go back to manu."


def search(id, name, title, *then, rental=False):
    return [*login(id, name, rental), 3, See(SEARCH), title, *then, See(MENU_END), 2]


def give_back(id, status, notice=None, pay=None):
    # A login (paying pay months first, when given) that takes the rented disk back.
    start = ([1, Scr(LOGIN), str(id), See(ASK_MONTHS), pay, See(PRESS), Key("x"), Yes(PAID),
              See("Client paid!"), Key("x")] if pay else
             [1, Scr(LOGIN), str(id), Scr(LOGGED_IN), Key("x")])
    return [*start, Msg(MUST_RETURN), Yes(RETURN_Q),
            *([See("saved for 7 days"), Key("x")] if notice else []), See(DISK_Q), status]


def pay(id, months):
    return [1, Scr(LOGIN), str(id), See(ASK_MONTHS), months, See(PRESS), Key("x"), Yes(PAID),
            See("Client paid!"), Key("x"), Msg(NO_RETURN)]


# (when, program, steps): each errand ends with Esc at the menu.
WEEK = [
    ("2009-03-02 09:00", "rentdesk", add_client(1, "Ann")),
    ("2009-03-02 09:01", "rentdesk", add_client(2, "Ben")),
    ("2009-03-02 09:02", "rentdesk", add_client(3, "Cy")),
    ("2009-03-02 09:03", "rentdesk", add_client(4, "Dan", months="0")),
    ("2009-03-02 09:04", "rentdesk", add_movie(10, "Alien")),
    ("2009-03-02 09:05", "rentdesk", add_movie(10)),
    ("2009-03-02 09:06", "rentdesk", add_movie(11, "Up")),
    ("2009-03-02 10:00", "rentdesk", search(1, "Ann Lee", "Alien", Msg(CAN_RENT), Yes(RENT_Q),
                                            See("ranted to the client!"), Key("x"))),
    ("2009-03-02 10:01", "rentdesk2", search(2, "Ben Lee", "Alien", Msg(CAN_RENT), Yes(RENT_Q),
                                             See("ranted to the client!"), Key("x"))),
    ("2009-03-02 10:02", "rentdesk", search(3, "Cy Lee", "Alien", Msg(NOT_AVAILABLE),
                                            Yes(RESERVE_Q), Yes(CALL_Q), Msg(RESERVED))),
    ("2009-03-02 10:03", "rentdesk", search(4, "Dan Lee", "Up", Msg(CAN_RENT), Yes(RENT_Q),
                                            See("ranted to the client!"), Key("x"))),
    ("2009-03-09 10:00", "rentdesk", give_back(1, "6", notice=True)),
    ("2009-03-09 10:01", "rentdesk", [*login(3, "Cy Lee"), 3, See("saved for the client!"),
                                      Key("x"), See(SEARCH), "Alien", Msg(CAN_TAKE), No(TAKE),
                                      See(SEARCH), "Zed", Msg(NOT_FOUND), No(CONTINUE_Q)]),
    ("2009-03-09 10:02", "rentdesk", search(1, "Ann Lee", "Up", Msg(NOT_AVAILABLE),
                                            Yes(RESERVE_Q), No(CALL_Q), Msg(RESERVED))),
    ("2009-03-09 10:03", "rentdesk", give_back(4, "7", pay="0")),
    ("2009-03-09 10:04", "rentdesk", search(2, "Ben Lee", "Up", Msg(NOT_AVAILABLE),
                                            Yes(RESERVE_Q), Yes(CALL_Q), Msg(RESERVED),
                                            rental=True)),
    ("2009-03-10 09:00", "rentdesk", [5, No(CLIENT_Q), See("to delete!\n"), "2", Yes(HAS_DISK_Q),
                                      See(DISK_Q), "5", See("a sum of: 25"), Key("x"),
                                      Yes(PAID_Q), See("deleted from database."), Key("x")]),
    ("2009-03-10 09:01", "rentdesk", search(3, "Cy Lee", "Up", Msg(NOT_AVAILABLE), Yes(RESERVE_Q),
                                            Yes(CALL_Q), Msg(RESERVED))),
    ("2009-03-19 09:00", "rentdesk", [See("saved for 7 days"), Key("x")]),  # Ann's hold runs out
    ("2009-03-19 09:01", "rentdesk", [*pay(4, "1"), See(MENU_END), 2]),
    ("2009-03-19 09:02", "rentdesk", [6, No(MOVIE_Q), See("for remove:\n "), "11",
                                      See("in the database"), Key("x"), Yes(DELETE_Q),
                                      See("to delete\n"), "1", See("has been deleted"), Key("x")]),
]


def clock(when):
    # The environment that freezes the clock at the errand's minute.
    return {"FAKETIME": when + ":00"}


def session(folder, when, prog, args=(), extra=None):
    return rd.Session(folder, date=when.split()[0], prog=prog, args=args,
                      extra={**clock(when), **(extra or {})})


def state(folder):
    # The five tables and the day log's files, as bytes.
    return tuple((folder / T.FILE).read_bytes() for T in rd.TYPES) + tuple(
        p.read_bytes() for p in sorted(folder.glob("daylog-*")))
