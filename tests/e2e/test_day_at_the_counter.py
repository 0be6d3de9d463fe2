"""The counter from opening day to a renewal a month later, as one story told
over several runs of the real program on one data folder, each run started
on a later date: the clerk registers clients and stocks the shelves, rents
and reserves, takes disks back (one of them late), hands returned copies to
the clients waiting for them, lets a hold run out and pass on, removes a
client with everything he has and, past midnight, sells a renewal together
with the fine. The folder is set up once with `rentdesk-admin init 3`, so
four of the five tables grow on the way.

Every step goes through the program's own screens and changes a model of
the five data files (harness.HashTable) as the program should change them.
After every run each data file is compared with its model byte for byte,
and the files are checked against each other twice: by the checker below
and by `rentdesk-admin check`."""

import collections
import datetime
import subprocess
import time

import pytest

from harness import CLEAR, RECORD_TYPES, Client, Date, Movie, Rent, Reserve, Saved, binary, live
from shop import (ADD_COPY, ADD_OR_REMOVE_CLIENT, ADD_OR_REMOVE_MOVIE, CALL_QUESTION, CAN_RENT,
                  CAN_TAKE, DAYS_PROMPT, DELETED, DISK_QUESTION, HAS_DISK, INFO, INSERT_BANNER,
                  INSERT_CLIENT, LOGGED_IN, MOVIE_ID_PROMPT, NAME_PROMPT, NOBODY, NOT_AVAILABLE,
                  NOTHING_TO_RETURN, PAID_QUESTION, PRESS, RENEWAL, RENT_QUESTION, RENTED,
                  RESERVE_QUESTION, RESERVED, RETURN_QUESTION, SEARCH, STATUS_PROMPT,
                  TAKE_QUESTION, Shop, answer, choose, connected, expect, expect_dialog,
                  hold_notice, info, leave, menu_client_line, overdue_notice, returned_notice,
                  start_login, start_removal)

# The clients as the clerk registers them (the phone is typed with its leading 0).
ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", phone=541234567, months=1)
BEN = Client(id=31, fname="Ben", lname="Ross", address="Oak", phone=541112233, months=2)
RINA = Client(id=32, fname="Rina", lname="Katz", address="Pine", phone=521234567, months=2)
DAN = Client(id=33, fname="Dan", lname="Oz", address="Bay", phone=531234567, months=2)
ELI = Client(id=40, fname="Eli", lname="Gal", address="Hill", phone=501112233, months=2)
NOA = Client(id=41, fname="Noa", lname="Bar", address="Sea", phone=521112233, months=2)

# The titles as the clerk puts them on the shelves.
HEAT = Movie(name="Heat", id=100, rentdays=3)
ALIEN = Movie(name="Alien", id=2, rentdays=2)
UP = Movie(name="Up", id=5, rentdays=4)

MONTH_PRICE = 200


def name_of(card):
    return f"{card.fname} {card.lname}"


def menu_top(day):
    """How a menu drawn on day begins: the date, day first, and the prompt."""
    return (f"\n\n {day.day}/{day.month}/{day.year}        "
            " Please select your chiose by keyboard... exit with ESC\n\n")


def assert_cross_file_rules(data_dir):
    """A copy is marked rented exactly when a rental names it and saved
    exactly when a hold names it; rentals and holds name copies that exist,
    one each; no client has more than one rental, hold or reservation."""
    copies = [m for _, m in live(data_dir.read(Movie))]
    rentals = [r for _, r in live(data_dir.read(Rent))]
    holds = [h for _, h in live(data_dir.read(Saved))]
    reservations = [r for _, r in live(data_dir.read(Reserve))]
    problems = []
    on_shelf = {(m.id, m.copy) for m in copies}
    for flag, what, records in (("rented", "rental", rentals), ("saved", "hold", holds)):
        named = collections.Counter((r.movie, r.copy) for r in records)
        problems += [f"copy {c} of movie {m} is named by {n} {what}s"
                     for (m, c), n in named.items() if n > 1]
        problems += [f"a {what} names copy {c} of movie {m}, which is not in the catalogue"
                     for (m, c) in named if (m, c) not in on_shelf]
        problems += [f"copy {m.copy} of movie {m.id} has {flag} {getattr(m, flag)}, and "
                     f"{named[m.id, m.copy]} {what}(s) name it"
                     for m in copies if getattr(m, flag) != int((m.id, m.copy) in named)]
    for what, records in (("rentals", rentals), ("holds", holds),
                          ("reservations", reservations)):
        problems += [f"client {c} has {n} {what}"
                     for c, n in collections.Counter(r.client for r in records).items() if n > 1]
    assert not problems, "\n".join(problems)


class Counter:
    """The clerk at the counter: runs of the program on one data folder, and
    the books, a model of the five data files that every step changes as the
    program should change the files."""

    def __init__(self, data_dir, rentdesk):
        self.dir = data_dir
        self.books = Shop(data_dir)
        self.start_program = rentdesk
        self.s = None
        self.today = None
        self.started_at = None  # time of day the run's clock started at
        self.client = None   # card of the connected client
        self.rebuilt = []    # record types of the tables grown in this run
        self.scratch = None  # what the last rebuild left in hashadd.txt: (records, type)

    # ------------------------------------------------------------ the books

    def _table(self, rec_type):
        return self.books.tables[rec_type]

    def _put(self, rec):
        """Inserts rec into its model; answers whether the table had to grow."""
        table = self._table(type(rec))
        slots = table.n
        table.insert(rec)
        if table.n == slots:
            return False
        self.rebuilt.append(type(rec))
        self.scratch = (list(table.scratch), type(rec))
        return True

    def _first(self, rec_type, key, match=lambda r: True):
        table = self._table(rec_type)
        slot = table.find(key, match)
        return None if slot < 0 else table.records[slot]

    def _copy(self, movie, copy):
        return self._first(Movie, movie, lambda r: r.copy == copy)

    def _change_copy(self, movie, copy, **fields):
        slot = self._table(Movie).find(movie, lambda r: r.copy == copy)
        assert slot >= 0, f"copy {copy} of movie {movie} is not in the books"
        self.books.change(Movie, slot, **fields)

    def _change_client(self, card, **fields):
        self.books.change(Client, self._table(Client).find(card.id), **fields)

    def _copies_named(self, title):
        """The copies of a title in slot order, as a search meets them."""
        return [m for _, m in self._table(Movie).live() if m.name == title]

    def _hand_over(self, movie, copy, to, notice):
        """A freed copy goes to `to`, whose reservation of the title must be
        the oldest one (None: nobody waits for the title). With call notice,
        the notice of the variant given is on the screen."""
        reserved = self._table(Reserve)
        if to is None:
            assert reserved.find(movie) < 0, f"movie {movie} is still reserved in the books"
            return
        waiting = self._first(Reserve, movie, lambda r: r.client == to.id)
        reserved.delete(movie, lambda r: r.client == to.id)
        self._put(Saved(client=to.id, movie=movie, copy=copy, savedate=self.today))
        self._change_copy(movie, copy, rented=0, saved=1)
        if waiting.callnotice:
            title = self._copy(movie, copy).name
            expect(self.s, returned_notice(to.phone, name_of(to), title)
                   if notice == "returned" else overdue_notice(to.phone, name_of(to), title))
            self.s.key("x")

    # ------------------------------------------------------------ the screens

    def _screens(self):
        """The screens of this run so far, empty ones left out."""
        return [text for text in self.s.transcript().split(CLEAR.decode()) if text]

    def _at_menu(self):
        """Waits for the main menu and checks its date and client lines, and
        that no error line follows them."""
        line = menu_client_line(self.s) + "\n"
        screen = self.s.screen().text
        assert screen.startswith(menu_top(self.today)) and screen.endswith(line)
        assert line == (connected(name_of(self.client)) if self.client else NOBODY)

    def _after_login(self):
        """The return step that follows every login."""
        if self._first(Rent, self.client.id) is None:
            expect(self.s, NOTHING_TO_RETURN)
            self.s.key("x")
            self._at_menu()
        else:
            expect(self.s, info("\n\n\n The client need to return movie"))
            self.s.key("x")
            expect_dialog(self.s, RETURN_QUESTION)

    def _search(self, title, found, question):
        """Menu entry 3 for the connected client, through the notice of his
        hold: types title, checks the screen `found` it leads to, and answers
        Yes to the question that follows."""
        choose(self.s, 3)
        hold = self._first(Saved, self.client.id)
        if hold:
            expect(self.s, hold_notice(self._copy(hold.movie, hold.copy).name, hold.movie,
                                       hold.copy))
            self.s.key("x")
        expect(self.s, SEARCH)
        self.s.type_line(title)
        expect(self.s, found)
        self.s.key("x")
        expect_dialog(self.s, question)
        answer(self.s, yes=True)

    # ------------------------------------------------------------ opening and closing

    def open_shop(self, date, at="10:00:00"):
        """Starts the program on date at the given time of day. The holds the
        start-up releases are told by hold_runs_out, before anything else."""
        self.today = Date.of(date)
        self.started_at = datetime.time.fromisoformat(at)
        self.rebuilt = []
        self.client = None
        self.s = self.start_program(date=f"{date} {at}")

    def close_shop(self):
        """Esc at the menu, then the books against the files."""
        leave(self.s)
        self.books.assert_files()
        if self.scratch:
            self.dir.assert_scratch(*self.scratch)
        transcript = self.s.transcript()  # every table that grew said so, once
        assert {t.FULL_MESSAGE: transcript.count(t.FULL_MESSAGE) for t in RECORD_TYPES} == {
            t.FULL_MESSAGE: self.rebuilt.count(t) for t in RECORD_TYPES}
        assert_cross_file_rules(self.dir)
        checked = subprocess.run([str(binary("rentdesk-admin")), "check"], cwd=self.dir.path,
                                 capture_output=True, text=True, timeout=60)
        assert (checked.returncode, checked.stdout) == (0, "All five data files are sound.\n"), (
            checked.stdout + checked.stderr)

    def wait_past_midnight(self):
        """Waits at the first menu of a run started shortly before midnight
        until the program's clock has passed it: the clock started when the
        program did, before the menu was drawn."""
        self._at_menu()  # drawn before midnight
        start = self.started_at
        time.sleep(24 * 3600 - (start.hour * 3600 + start.minute * 60 + start.second) + 0.5)
        self.today = Date.of(datetime.date(*self.today) + datetime.timedelta(days=1))

    # ------------------------------------------------------------ clients

    def register(self, card):
        """Adds a client, subscribed from today for the months on his card."""
        choose(self.s, 5)
        expect_dialog(self.s, ADD_OR_REMOVE_CLIENT)
        answer(self.s, yes=True)
        shown = INSERT_CLIENT + "\n\n\n Insert identification number\n"
        expect(self.s, shown)
        typed = [str(card.id), card.fname, card.lname, card.address, f"0{card.phone}",
                 str(card.months)]
        prompts = ["\n Insert client first name\n", "\n Insert client last name\n",
                   "\n Insert client adrress\n",
                   "\n Insert client phone number(without bar's!)\n",
                   "\n How many months the client want to subscribe?\n", ""]
        for text, prompt in zip(typed, prompts):
            self.s.type_line(text)
            shown += text + "\n" + prompt
            if prompt:
                self.s.wait_for(prompt)
        grew = self._put(card.replace(subdate=self.today, fine=0))
        expect(self.s, INFO + "\n\n\n Client was added to database." + PRESS)
        # A full table says so at the end of the screen the clerk typed on.
        assert self._screens()[-2] == shown + (Client.FULL_MESSAGE if grew else "")
        self.s.key("x")
        self._at_menu()

    def log_in(self, card):
        """Logs in a client whose subscription runs; stops at the question
        about his disk when he has one out."""
        start_login(self.s, card.id)
        expect(self.s, LOGGED_IN)
        self.s.key("x")
        self.client = card
        self._after_login()

    def renew_and_log_in(self, card, months, total):
        """Logs in a client whose subscription has run out: sells him months
        and collects his fine with them."""
        start_login(self.s, card.id)
        expect(self.s, INFO + RENEWAL)
        self.s.type_line(str(months))
        fine = self._first(Client, card.id).fine
        assert total == MONTH_PRICE * months + fine
        expect(self.s, INFO + RENEWAL + f"{months}\n"
               f"\n The client have to pay penalty in sum of: {fine}"
               f"\n The total sum combine the fine and the new subscription: {total}" + PRESS)
        self.s.key("x")
        expect_dialog(self.s, " Do the client paid Y/N")
        answer(self.s, yes=True)
        self._change_client(card, fine=0, months=months, subdate=self.today)
        expect(self.s, INFO + "\n\n\n Client paid!\n The user is now logged into the system"
               + PRESS)
        self.s.key("x")
        self.client = card
        self._after_login()

    def bring_back_disk(self, disk, fine=0, passes_to=None):
        """At the question after login: the client has brought his disk. A
        late one adds `fine` to what he owes, silently; the copy goes to
        `passes_to` if the title is reserved; then the disk is rated."""
        answer(self.s, yes=True)
        rental = self._first(Rent, self.client.id)
        if fine:
            self._change_client(self.client, fine=self._first(Client, self.client.id).fine + fine)
        self._table(Rent).delete(self.client.id)
        self._hand_over(rental.movie, rental.copy, passes_to, "returned")
        expect(self.s, INFO + "\n\n" + DISK_QUESTION)
        self.s.type_line(str(disk))
        self._change_copy(rental.movie, rental.copy, rented=0, diskstatus=disk)
        self._at_menu()

    def disk_left_at_home(self, key):
        """At the question after login: No or Esc, the rental stays open."""
        if key == "no":
            answer(self.s, yes=False)
            expect(self.s, info("\n\n\n The client Dont have the movie that he rented",
                                "\n The client can't rent another movie but he can reserve a "
                                "rented copy"))
            self.s.key("x")
        else:
            self.s.key("esc")
        self._at_menu()

    def disconnect(self):
        choose(self.s, 2)
        self.client = None
        self._at_menu()

    def remove_client(self, card, disk, pays, rental_passes_to=None, hold_passes_to=None):
        """Removes a client who brings back his late disk (rated `disk`) and
        pays what he owes; his copy and his hold go to the clients given."""
        start_removal(self.s, card.id)
        rental = self._first(Rent, card.id)
        expect_dialog(self.s, HAS_DISK)
        answer(self.s, yes=True)
        expect(self.s, INFO + DISK_QUESTION)
        self.s.type_line(str(disk))
        expect(self.s, info(f"\n\n\n The client have to pay first a sum of: {pays}"))
        self.s.key("x")
        expect_dialog(self.s, PAID_QUESTION)
        answer(self.s, yes=True)
        # The disk comes back and passes on, then the hold is let go and passes on.
        self._table(Rent).delete(card.id)
        self._hand_over(rental.movie, rental.copy, rental_passes_to, "returned")
        self._change_copy(rental.movie, rental.copy, rented=0, diskstatus=disk)
        hold = self._first(Saved, card.id)
        self._table(Saved).delete(card.id)
        self._change_copy(hold.movie, hold.copy, saved=0)
        self._hand_over(hold.movie, hold.copy, hold_passes_to, "returned")
        assert all(r.client != card.id for _, r in self._table(Reserve).live())
        self._table(Client).delete(card.id)
        expect(self.s, DELETED)
        self.s.key("x")
        self._at_menu()

    # ------------------------------------------------------------ movies

    def _type_movie_id(self, movie):
        """Menu entry 6, Yes to adding, and the movie id at its prompt."""
        choose(self.s, 6)
        expect_dialog(self.s, ADD_OR_REMOVE_MOVIE)
        answer(self.s, yes=True)
        expect(self.s, INSERT_BANNER + MOVIE_ID_PROMPT)
        self.s.type_line(str(movie))

    def add_movie(self, card, disk):
        """Puts a new title on the shelves with its first copy."""
        self._type_movie_id(card.id)
        expect(self.s, INSERT_BANNER + NAME_PROMPT)
        self.s.type_line(card.name)
        self.s.wait_for(DAYS_PROMPT)
        self.s.type_line(str(card.rentdays))
        self.s.wait_for(STATUS_PROMPT)
        self.s.type_line(str(disk))
        grew = self._put(card.replace(copy=1, diskstatus=disk))
        self._at_menu()
        assert self._screens()[-2] == (
            INSERT_BANNER + NAME_PROMPT + f"{card.name}\n" + DAYS_PROMPT + f"{card.rentdays}\n"
            + STATUS_PROMPT + f"{disk}\n" + (Movie.FULL_MESSAGE if grew else ""))

    def add_copy(self, card, disk):
        """Puts a further copy of a title on the shelves."""
        self._type_movie_id(card.id)
        expect(self.s, info("\n\n\n Movie ID already exists!..."))
        self.s.key("x")
        expect_dialog(self.s, ADD_COPY)
        answer(self.s, yes=True)
        expect(self.s, STATUS_PROMPT)
        self.s.type_line(str(disk))
        found = self._first(Movie, card.id)
        highest = max(m.copy for _, m in self._table(Movie).walk(card.id))
        grew = self._put(found.replace(copy=highest + 1, diskstatus=disk))
        self._at_menu()
        assert self._screens()[-2] == (STATUS_PROMPT + f"{disk}\n"
                                       + (Movie.FULL_MESSAGE if grew else ""))

    # ------------------------------------------------------------ the connected client's search

    def rent(self, title):
        """Rents the connected client the first copy of title that is free."""
        self._search(title, CAN_RENT, RENT_QUESTION)
        copy = next(m for m in self._copies_named(title) if not m.rented and not m.saved)
        grew = self._put(Rent(client=self.client.id, rentdate=self.today, movie=copy.id,
                              copy=copy.copy, rentdays=copy.rentdays))
        self._change_copy(copy.id, copy.copy, rented=1)
        expect(self.s, RENTED)
        if grew:  # printed alone on the screen the dialog left cleared
            assert self._screens()[-2] == Rent.FULL_MESSAGE
        self.s.key("x")
        self._at_menu()

    def reserve(self, title, call_notice):
        """Reserves for the connected client a title none of whose copies is free."""
        self._search(title, NOT_AVAILABLE, RESERVE_QUESTION)
        expect_dialog(self.s, CALL_QUESTION)
        answer(self.s, yes=call_notice)
        movie = self._copies_named(title)[-1].id
        grew = self._put(Reserve(client=self.client.id, movie=movie, callnotice=int(call_notice),
                                 resdate=self.today))
        expect(self.s, RESERVED)
        if grew:
            assert self._screens()[-2] == Reserve.FULL_MESSAGE
        self.s.key("x")
        self._at_menu()

    def take_hold(self, title):
        """The connected client takes the copy held for him: it is rented to him."""
        self._search(title, CAN_TAKE, TAKE_QUESTION)
        hold = self._first(Saved, self.client.id)
        assert self._copy(hold.movie, hold.copy).name == title
        self._table(Saved).delete(self.client.id)
        self._put(Rent(client=self.client.id, rentdate=self.today, movie=hold.movie,
                       copy=hold.copy, rentdays=self._copy(hold.movie, hold.copy).rentdays))
        self._change_copy(hold.movie, hold.copy, saved=0, rented=1)
        self._at_menu()

    # ------------------------------------------------------------ holds

    def hold_runs_out(self, card, passes_to=None):
        """The start-up finds the hold of card past its seven days: the copy
        goes to `passes_to` (an overdue call notice if he asked for one, on
        the screen nothing has cleared yet) or back on the shelf."""
        hold = self._first(Saved, card.id)
        self._table(Saved).delete(card.id)
        self._hand_over(hold.movie, hold.copy, passes_to, "overdue")
        if passes_to is None:
            self._change_copy(hold.movie, hold.copy, saved=0)


@pytest.mark.slots(3)
def test_the_counter_from_opening_day_to_a_renewal_a_month_later(data_dir, rentdesk):
    day = Counter(data_dir, rentdesk)

    # Monday 2 March: the shop opens. The fourth client and the fourth copy
    # find their tables full and grow them from 3 slots to 13.
    day.open_shop("2009-03-02")
    for card in (ANN, BEN, RINA, DAN, ELI, NOA):
        day.register(card)
    day.add_movie(HEAT, disk=7)
    day.add_copy(HEAT, disk=9)
    day.add_movie(ALIEN, disk=8)
    day.add_movie(UP, disk=6)
    day.close_shop()

    # Tuesday 3 March: the first rentals, the fourth of which grows the rent
    # table; both copies of Heat and the only Alien go out, and the clients
    # who come later reserve them.
    day.open_shop("2009-03-03")
    for card, title in ((ANN, "Heat"), (BEN, "Heat"), (DAN, "Alien"), (NOA, "Up")):
        day.log_in(card)
        day.rent(title)
        day.disconnect()
    day.log_in(RINA)
    day.reserve("Heat", call_notice=True)
    day.disconnect()
    day.log_in(ELI)
    day.reserve("Alien", call_notice=False)
    day.disconnect()
    day.close_shop()

    # Wednesday 4 March: Ben and Dan come without their disks and reserve;
    # Dan's is the fourth reservation and grows the reservation table.
    day.open_shop("2009-03-04")
    day.log_in(BEN)
    day.disk_left_at_home("no")
    day.reserve("Alien", call_notice=True)
    day.disconnect()
    day.log_in(DAN)
    day.disk_left_at_home("esc")
    day.reserve("Heat", call_notice=True)
    day.disconnect()
    day.close_shop()

    # Thursday 5 March: Dan brings Alien back on its due day. Eli reserved
    # it before Ben did and gets the hold, without a call.
    day.open_shop("2009-03-05")
    day.log_in(DAN)
    day.bring_back_disk(disk=7, passes_to=ELI)
    day.disconnect()
    day.close_shop()

    # Monday 9 March: Ann brings Heat back three days late (due on the 6th):
    # 15 is booked to her. Rina reserved Heat before Dan; the clerk is told
    # to call her, and she comes and takes the copy.
    day.open_shop("2009-03-09")
    day.log_in(ANN)
    day.bring_back_disk(disk=4, fine=15, passes_to=RINA)
    day.disconnect()
    day.log_in(RINA)
    day.take_hold("Heat")
    day.disconnect()
    day.close_shop()

    # Friday 13 March: Eli never came; her hold of the 5th ran out with the
    # 12th, and the start-up passes Alien to Ben with the overdue call notice.
    # Noa, still out with Up, reserves Alien, whose copy is held for Ben.
    day.open_shop("2009-03-13")
    day.hold_runs_out(ELI, passes_to=BEN)
    day.log_in(NOA)
    day.disk_left_at_home("esc")
    day.reserve("Alien", call_notice=False)
    day.disconnect()
    day.close_shop()

    # Saturday 14 March: Ben leaves the shop. His Heat, due on the 6th, is 8
    # days late: he pays 40; the copy goes to Dan, who asked for a call, and
    # the Alien held for Ben goes to Noa.
    day.open_shop("2009-03-14")
    day.remove_client(BEN, disk=5, pays=40, rental_passes_to=DAN, hold_passes_to=NOA)
    day.close_shop()

    # Thursday 2 April, late evening: the holds of Dan and Noa ran out long
    # ago and nobody else waits, so the start-up puts both copies back on
    # the shelf. Ann's month runs through today; once midnight has passed
    # her login asks for a renewal, sold with her fine of 15.
    day.open_shop("2009-04-02", at="23:59:57")
    day.hold_runs_out(DAN)
    day.hold_runs_out(NOA)
    day.wait_past_midnight()
    day.renew_and_log_in(ANN, months=2, total=415)
    day.close_shop()
