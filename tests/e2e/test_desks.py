# The desks as a clerk uses them: each case puts records in a fresh folder,
# plays a session on the real program (ended with Esc at the menu, status 1),
# and compares every data file byte for byte with the model changed as the
# session must change it.

import pytest

import rd
from clerk import *  # noqa: F403 (the screens and records the cases are made of)
from rd import Client, Movie, Rent, Reserve, Saved

ASK_MONTHS = "Insert number of months for new subscription!\n"
RENEWAL = INFO + ("\n\n\n The client has to pay for new subscription.\n"
                  "Insert number of months for new subscription!\n2\n"
                  "\n The client have to pay penalty in sum of: 15"
                  "\n The total sum combine the fine and the new subscription: 415" + PRESS)
NOT_FOUND = info("\n\n\n Copy of the movie movie not found!")
TITLE_SEARCHES = [x for t in ("x", "alien", "Alien ", "The Good the Bad and")
                  for x in (Scr(SEARCH), t, Msg(NOT_FOUND), Yes(CONTINUE_Q))]
ASK_REMOVE = [6, No(MOVIE_Q), See("Insert movie ID for remove:\n ")]
DELETE_COPY = [Msg(INFO + "\n\n\n The movie is in the database\n\n Press any key to continue "),
               Yes(" Do you want to delete a copy?\n\n Yes to delete a copy.\n No or ESC to go "
                   "back to manu."), See("\n\n\n Insert copy number to delete\n")]
DELETED = Msg(info("\n\n\n The copy has been deleted"))
EXISTS = info("\n\n\n Movie ID already exists!...")

CASES = [
    ("login: ends today, renewal escaped, refused and paid, unknown id", T,
     [ANN, C(8, "Ben", "Cohen", "2009-01-10", fine=15), C(9, "Eve", "Stone", sub="2009-02-05")],
     [*login(9, "Eve Stone"), 2, 1, Scr(LOGIN), "8", See(ASK_MONTHS), "2", Msg(RENEWAL), Esc(PAID),
      Scr(LOGIN), "8", See(ASK_MONTHS), "2", Msg(RENEWAL), No(PAID),
      Msg(info("\n\n\n Client did not paid", "\n The Client can't be logged into the system")),
      1, Scr(LOGIN), "8", See(ASK_MONTHS), "2", Msg(RENEWAL), Yes(PAID),
      Msg(info("\n\n\n Client paid!", "\n The user is now logged into the system")),
      Msg(NO_RETURN), See(connected("Ben Cohen")), 2, 1, Scr(LOGIN), "99",
      No(" ID wasn't found search again?\n Enter Y/N")],
     lambda m: m[Client].set(8, fine=0, months=2, subdate=T)),

    ("return at login: late fine, older reservation served, disk rated", T,
     [DAN, ANN, BEN, M(13, 1, "Heat", rented=1), R(13, 13, 1, "2009-02-20"),
      V(8, 13, "2009-03-01"), V(7, 13, "2009-02-27")],
     [1, Scr(LOGIN), "13", Scr(LOGGED_IN), Key("x"), Msg(MUST_RETURN), Yes(RETURN_Q),
      Msg(notice("returned", PHONE, "Ann Lee", "Heat")), Scr(INFO + "\n\n" + DISK_Q),
      "0", Scr(DISK_AGAIN), "11", Scr(DISK_AGAIN), "abc", Scr(DISK_AGAIN), "10",
      See(connected("Dan Gold"))],
     lambda m: (m[Client].set(13, fine=70), m[Rent].delete(13), m[Saved].insert(H(7, 13, 1, T)),
                m[Reserve].delete(13, of(7)), m[Movie].set(13, rented=0, saved=1, diskstatus=10))),

    ("return at login: disk kept, then the return question escaped", T,
     [ANN, M(4, 1, "Alien", rented=1), M(4, 2, "Alien"), R(7, 4, 1)],
     [1, Scr(LOGIN), "7", Scr(LOGGED_IN), Key("x"), Msg(MUST_RETURN), No(RETURN_Q),
      Msg(info("\n\n\n The client Dont have the movie that he rented",
               "\n The client can't rent another movie but he can reserve a rented copy")),
      3, Scr(SEARCH), "Alien",
      Msg(info("\n\n\n The movie is avaliable but the client can't rent him.",
               "\n The client is already renting a movie.", "\n The client can't rent another one!")),
      No(CONTINUE_Q), 2, *login(7, "Ann Lee", rental=True)],
     lambda m: None),

    ("add client: id in use, bad answers asked again, first word kept", T, [DAN],
     [5, Yes(CLIENT_Q), See("\n\n\n Insert identification number\n"), "13",
      Msg(info("\n\n\n Identification number is already in the system\n")),
      Scr("\n         ******************Insert New Client****************** \n"
          "\n\n\n Insert again identification number\n"), "0",
      See("\n\n\n Insert again identification number\n"), "21",
      See("\n Insert client first name\n"), "Ann Marie", See("\n Insert client last name\n"),
      "Lee", See("\n Insert client adrress\n"), "Main",
      See("\n Insert client phone number(without bar's!)\n"), "054-1234",
      See("\n How many months the client want to subscribe?\n"), "x",
      See("\n How many months the client want to subscribe?\n"), "3",
      Msg(info("\n\n\n Client was added to database."))],
     lambda m: m[Client].insert(Client(21, "Ann", "Lee", "Main", T, 54, 3, 0))),

    ("remove client: disk back late, fines paid, hold and disk passed on, never to him", T,
     [DAN, ANN, BEN, M(4, 1, "Alien", rented=1), R(13, 4, 1, days=1), V(13, 4, "2009-02-01"),
      V(7, 4, "2009-03-02", call=0), M(5, 1, "Up", saved=1), H(13, 5, 1), V(8, 5)],
     [5, No(CLIENT_Q), Scr(REMOVE), "13", Yes(HAS_DISK_Q), Scr(INFO + DISK_Q), "6",
      Msg(info("\n\n\n The client have to pay first a sum of: 35")), Yes(PAID_Q),
      Msg(notice("returned", PHONE, "Ben Cohen", "Up")),
      Msg(info("\n\n\n The client was deleted from database."))],
     lambda m: (m[Reserve].delete(4, of(13)), m[Rent].delete(13), m[Saved].insert(H(7, 4, 1, T)),
                m[Reserve].delete(4, of(7)), m[Movie].set(4, rented=0, saved=1, diskstatus=6),
                m[Saved].delete(13), m[Saved].insert(H(8, 5, 1, T)), m[Reserve].delete(5),
                m[Client].delete(13))),

    ("remove client: refused without the disk or the fine paid, unknown id, a hold let go", T,
     [ANN, BEN._replace(fine=20), M(4, 1, "Alien", rented=1), R(7, 4, 1),
      C(9, "Eve", "Stone"), M(5, 1, "Up", saved=1), H(9, 5, 1)],
     [5, No(CLIENT_Q), Scr(REMOVE), "7", No(HAS_DISK_Q),
      Scr(INFO + "\n\n\n The delete operation was aborted because the client don't have the movie"
          " to return!!!"), Key("x"), 5, No(CLIENT_Q), Scr(REMOVE), "8",
      Scr(INFO + "\n\n\n The client have to pay first a sum of: 20"), Key("x"), No(PAID_Q), 5,
      No(CLIENT_Q), Scr(REMOVE), "99", Msg(info("\n\n\n Client wasn't found!")),
      Yes(" Continue searching for another client to delete? Y/N"), Scr(REMOVE), "9",
      Msg(info("\n\n\n The client was deleted from database."))],
     lambda m: (m[Saved].delete(9), m[Movie].set(5, saved=0), m[Client].delete(9))),

    ("online search: exact titles only, a held copy behind a free one, renting, no reserving", T,
     [ANN, BEN, DAN, M(4, 1, "Alien", rented=1), M(4, 2, "Alien"), M(3, 1, "Jaws", saved=1),
      H(13, 3, 1), M(3, 2, "Jaws"), M(3, 3, "Jaws", saved=1), H(7, 3, 3),
      M(9, 1, "The Good the Bad an"), M(1, 1, "Up", rented=1), R(13, 1, 1)],
     # Jaws in slot order: Dan's hold, free, Ann's hold, which she reaches; Up is movie 1
     [*login(7, "Ann Lee"), 3, Msg(hold_notice("Jaws", 3, 3)),
      *TITLE_SEARCHES, Scr(SEARCH), "Up", Msg(NOT_AVAILABLE), Yes(RESERVE_Q),
      Msg(info("\n\n\n A movie as been saved for the client!\n ",
               "\n You can't reserve a new movie until you take care of the saved one.")),
      3, Msg(hold_notice("Jaws", 3, 3)), Scr(SEARCH), "Alien", Msg(CAN_RENT), Yes(RENT_Q),
      Msg(info("\n\n\n A movie has been saved for the client before!\n ",
               "\n The client can't rent another movie when a movie is saved for him.\n",
               detail("Jaws", 3, 3))),
      3, Msg(hold_notice("Jaws", 3, 3)), Scr(SEARCH), "Jaws", Msg(CAN_TAKE), Yes(TAKE),
      2, *login(8, "Ben Cohen"), 3, Scr(SEARCH), "Alien", Msg(CAN_RENT), Yes(RENT_Q),
      Msg(info("\n\n\n The movie is now ranted to the client!"))],
     lambda m: (m[Rent].insert(R(8, 4, 2, T)), m[Movie].set(4, copy(2), rented=1),
                m[Saved].delete(7), m[Rent].insert(R(7, 3, 3, T)),
                m[Movie].set(3, copy(3), rented=1, saved=0))),

    ("online search: a hold cancelled passes on, the next client takes it", T,
     [ANN, BEN, M(3, 1, "Jaws", saved=1), H(7, 3, 1), V(8, 3)],
     [*login(7, "Ann Lee"), 3, Msg(hold_notice("Jaws", 3, 1)), Scr(SEARCH), "Jaws", Msg(CAN_TAKE),
      No(TAKE), Msg(notice("returned", PHONE, "Ben Cohen", "Jaws")), Scr(SEARCH), "Jaws",
      Msg(NOT_AVAILABLE), Yes(RESERVE_Q), Yes(CALL_Q), Msg(RESERVED), 2, *login(8, "Ben Cohen"),
      3, Msg(hold_notice("Jaws", 3, 1)), Scr(SEARCH), "Jaws", Msg(CAN_TAKE), Yes(TAKE)],
     lambda m: (m[Saved].delete(7), m[Saved].insert(H(8, 3, 1, T)), m[Reserve].delete(3),
                m[Reserve].insert(V(7, 3, T)), m[Rent].insert(R(8, 3, 1, T)), m[Saved].delete(8),
                m[Movie].set(3, rented=1, saved=0))),

    ("online search: renting the title, reserving once, already reserved", T,
     [DAN, ANN, BEN, M(4, 1, "Alien", rented=1), M(4, 2, "Alien", rented=1), R(13, 4, 1),
      R(7, 4, 2), M(13, 1, "Heat", rented=1), R(8, 13, 1), M(5, 1, "Up", rented=1)],
     [*login(13, "Dan Gold", rental=True), 3, Scr(SEARCH), "Alien", Msg(NOT_AVAILABLE),
      Msg(info("\n\n\n The client is already renting this movie!!!",
               "\n So the client can't reserve this movie")),
      Scr(SEARCH), "Heat", Msg(NOT_AVAILABLE), Yes(RESERVE_Q), Esc(CALL_Q), Msg(RESERVED),
      3, Scr(SEARCH), "Up", Msg(NOT_AVAILABLE), Yes(RESERVE_Q),
      Msg(info("\n\n\n The client is already reserving a movie!!!")), 3, Scr(SEARCH), "Heat",
      Msg(info("\n\n\n The client already reserved this movie",
               "\n When the movie is back to inventory it will be saved for the client")),
      No(" Continue searching another movie? Y/N")],
     lambda m: m[Reserve].insert(V(13, 13, T, call=0))),

    ("offline search: every copy in slot order under one title line", T,
     [M(25, 1, "Heat", status=7), M(25, 2, "Heat", rented=1), M(12, 1, "Heat", saved=1, days=2),
      M(25, 3, "Heat")],
     [3, Scr(OFFLINE), "Heat ", Msg(info("\n\n\n The movie wasn't found in database\n")),
      Yes(" Do you want to search another movie?\n\n Yes to search again.\n No or ESC to go "
          "back to main manu."), Scr(OFFLINE), "Heat",
      Msg("\n Movie name:Heat---Movie catalog ID:12---Days to Rent:2\n"
          "\n Copy number:1---Disk status:8\n The copy isn't rented\n The copy is saved"
          "\n Copy number:2---Disk status:8\n The copy is rented\n The copy isn't saved\n\n"
          "\n Copy number:3---Disk status:8\n The copy isn't rented\n The copy isn't saved\n\n"
          "\n Copy number:1---Disk status:7\n The copy isn't rented\n The copy isn't saved\n\n"
          + PRESS)],
     lambda m: None),

    ("saved-list update: run-out holds passed on or freed, the new hold kept", "2009-03-09",
     [C(11, "Kim", "Ray"), M(3, 1, "Jaws", saved=1), H(7, 3, 1, "2009-03-01"), V(11, 3),
      M(4, 1, "Alien", saved=1), H(8, 4, 1, "2009-03-02"), M(5, 1, "Up", saved=1),
      H(9, 5, 1, "2009-02-20")],
     [Msg(notice("overdue", PHONE, "Kim Ray", "Jaws")), 4,
      Msg(info("\n\n\n Saved movie list was updated"))],
     lambda m: (m[Saved].delete(7), m[Saved].insert(H(11, 3, 1, "2009-03-09")),
                m[Reserve].delete(3), m[Saved].delete(9), m[Movie].set(5, saved=0))),

    ("add movie: a long name cut, a copy numbered above the highest, a copy declined", T,
     [M(25, 1, "Heat", days=2), M(25, 3, "Heat", days=2)],
     [6, Yes(MOVIE_Q), See("\n insert movie ID: \n"), "30",
      Scr(INSERT_MOVIE + "\n\n\n insert movie name: \n "), "The Good the Bad and the Ugly",
      See("\n insert days to rent:\n "), "x", See("\n insert days to rent:\n "), "4",
      See("\n Insert disk status: \n "), "0", Scr(DISK_AGAIN), "9",
      6, Yes(MOVIE_Q), See("\n insert movie ID: \n"), "25", Msg(EXISTS), Yes(ADD_COPY_Q),
      See("\n Insert disk status: \n "), "5",
      6, Yes(MOVIE_Q), See("\n insert movie ID: \n"), "25", Msg(EXISTS), No(ADD_COPY_Q)],
     lambda m: (m[Movie].insert(M(30, 1, "The Good the Bad an", days=4, status=9)),
                m[Movie].insert(M(25, 4, "Heat", days=2, status=5)))),

    ("remove copy: unknown id, rented refused, held copy and last copy cleaned up", T,
     [M(4, 1, "Alien", rented=1), R(7, 4, 1), M(4, 2, "Alien", saved=1), H(8, 4, 2), V(9, 4),
      M(5, 1, "Up"), V(13, 5)],
     [*ASK_REMOVE, "77", Msg(info("\n\n\n The movie was'nt found in database")),
      Yes(" Do you want to try another movie?\n\n Yes to try again.\n\n No or ESC to go back to "
          "manu."), Scr(REMOVE_MOVIE + "\n\n\n insert movie ID for remove:\n "), "4", *DELETE_COPY,
      "1", Msg(info("\n\n\n The copy is rented you can't delete him")), *ASK_REMOVE, "4",
      *DELETE_COPY, "2", DELETED, *ASK_REMOVE, "5", *DELETE_COPY, "1", DELETED, *ASK_REMOVE, "4",
      *DELETE_COPY, "9",
      Msg(info("\n\n\n The copy wasn't found in the catalog",
               "\n Go to offline search for information about copyes", "\n Exiting to main manu"))],
     lambda m: (m[Saved].delete(8), m[Movie].delete(4, copy(2)), m[Reserve].delete(5),
                m[Movie].delete(5), logged(m, "reservation-cancelled\tclient=13\tmovie=5"))),
]


def logged(shop, event):  # the day log holds the event, as the owner reads it back
    assert any(f"\t{event}\n" in log.read_text() for log in shop.dir.glob("daylog-*.log")), event


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_desk(tmp_path, case):
    _, date, records, steps, change = case
    shop = rd.Shop(tmp_path).put(*records).write()
    s = rd.Session(tmp_path, date=date)
    play(s, steps + [See(MENU_END), Key("esc")])
    assert s.status() == 1
    change(shop)
    shop.check()
