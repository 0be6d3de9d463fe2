"""The saved-list update on the real program: the seven days of a hold on the
shop's calendar, a released hold's copy passed to the oldest reservation of
its title or freed, the overdue call notice, the run at start-up and from
menu entry 4, and the data files it cannot do without."""

import datetime

import pytest

from harness import Movie, Reserve, Saved
from shop import (OVERDUE_HEADING, Shop, choose, dismiss, info, leave, menu_client_line,
                  open_failure, overdue_notice)

TODAY = "2009-03-20"


@pytest.fixture
def shop(data_dir):
    return Shop(data_dir)


def held(shop, client, movie, copy, savedate, title="Alien"):
    """A copy held for client since savedate; answers the copy's slot."""
    slot = shop.put(Movie(name=title, id=movie, copy=copy, diskstatus=5, rentdays=3, saved=1))
    shop.put(Saved(client=client, movie=movie, copy=copy, savedate=savedate))
    return slot


def start(rentdesk, shop, date=TODAY):
    shop.write()
    return rentdesk(date=date)


# ---------------------------------------------------------------- the seven days


@pytest.mark.parametrize("savedate, last_day", [
    ("2009-01-25", "2009-02-01"),
    ("2009-02-22", "2009-03-01"),
    ("2008-02-22", "2008-03-01"),  # February counts 28 days in a leap year too
    ("2009-02-28", "2009-03-07"),
    ("2008-02-28", "2008-03-07"),
    ("2009-04-23", "2009-04-30"),
    ("2009-04-24", "2009-05-01"),
    ("2008-12-25", "2009-01-01"),
])
def test_a_hold_stands_through_its_last_day_and_is_released_the_day_after(
        rentdesk, shop, savedate, last_day):
    slot = held(shop, 7, 2, 1, savedate)
    s = start(rentdesk, shop, last_day)
    leave(s)
    shop.assert_files()

    release_day = datetime.date.fromisoformat(last_day) + datetime.timedelta(days=1)
    s = rentdesk(date=release_day)
    leave(s)
    shop.delete(Saved, 7)
    shop.change(Movie, slot, saved=0)  # nobody reserved it: the copy is free again
    shop.assert_files()


# ---------------------------------------------------------------- passing the copy on


def test_an_overdue_hold_goes_to_the_older_of_two_reservations_with_the_notice(rentdesk, shop):
    shop.client(8, "Ruth", "Levi", TODAY, phone=521111111)
    shop.client(9, "Avi", "Bar", TODAY)
    held(shop, 7, 2, 1, "2009-03-01")
    # The newer reservation comes first on the title's probe path.
    shop.put(Reserve(client=9, movie=2, callnotice=1, resdate="2009-03-10"))
    shop.put(Reserve(client=8, movie=2, callnotice=1, resdate="2009-03-05"))
    s = start(rentdesk, shop)
    # Printed before the first menu, on a screen nothing has cleared.
    dismiss(s, overdue_notice(521111111, "Ruth Levi", "Alien"))
    leave(s)
    shop.delete(Saved, 7)
    shop.delete(Reserve, 2, lambda r: r.client == 8)
    shop.put(Saved(client=8, movie=2, copy=1, savedate=TODAY))  # the copy stays saved
    shop.assert_files()


def test_entry_4_releases_holds_with_notices_one_under_the_other_then_confirms(rentdesk, shop):
    s = start(rentdesk, shop)
    menu_client_line(s)  # the holds appear while the menu waits (no file is open then)
    shop.client(8, "Ruth", "Levi", TODAY, phone=521111111)
    shop.client(9, "Avi", "Bar", TODAY, phone=501111111)
    shop.client(10, "Eli", "Gal", TODAY)
    held(shop, 3, 2, 1, "2009-03-01")
    held(shop, 5, 4, 1, "2009-03-02", title="Heat")
    held(shop, 6, 6, 1, "2009-03-03", title="Up")
    shop.put(Reserve(client=8, movie=2, callnotice=1, resdate="2009-03-05"))
    shop.put(Reserve(client=9, movie=4, callnotice=1, resdate="2009-03-06"))
    shop.put(Reserve(client=10, movie=6, callnotice=0, resdate="2009-03-07"))  # silent
    shop.write()
    choose(s, 4)
    first = overdue_notice(521111111, "Ruth Levi", "Alien")
    dismiss(s, first)
    dismiss(s, first + overdue_notice(501111111, "Avi Bar", "Heat"))
    dismiss(s, info("\n\n\n Saved movie list was updated"))
    leave(s)
    for old, new, movie in ((3, 8, 2), (5, 9, 4), (6, 10, 6)):
        shop.delete(Saved, old)
        shop.delete(Reserve, movie)
        shop.put(Saved(client=new, movie=movie, copy=1, savedate=TODAY))
    shop.assert_files()


def test_a_hold_made_during_the_update_in_a_later_slot_is_not_released(rentdesk, shop):
    # Holds of clients 3 and 11 lie in slots 3 and 11; the copy of client 3
    # passes to client 9, whose new hold lands in slot 9, between them.
    held(shop, 3, 2, 1, "2009-03-01")
    held(shop, 11, 4, 1, "2009-03-01", title="Heat")
    heat = shop.tables[Movie].find(4)
    shop.put(Reserve(client=9, movie=2, callnotice=0, resdate="2009-03-02"))
    assert [slot for slot, _ in shop.tables[Saved].live()] == [3, 11]
    s = start(rentdesk, shop)
    leave(s)
    shop.delete(Saved, 3)
    shop.delete(Reserve, 2)
    assert shop.put(Saved(client=9, movie=2, copy=1, savedate=TODAY)) == 9
    shop.delete(Saved, 11)  # the update went on past slot 9
    shop.change(Movie, heat, saved=0)
    shop.assert_files()


def test_a_hold_whose_copy_left_the_catalogue_changes_no_copy(rentdesk, shop):
    # Copy 1 of movie 6 is gone; copy 2 remains, and the title is reserved.
    shop.put(Movie(name="Up", id=6, copy=2, diskstatus=5, rentdays=3, saved=1))
    shop.put(Saved(client=7, movie=6, copy=1, savedate="2009-03-01"))
    shop.put(Reserve(client=8, movie=6, callnotice=1, resdate="2009-03-02"))
    s = start(rentdesk, shop)
    leave(s)
    shop.delete(Saved, 7)  # the hold goes; the reservation waits for a real copy
    shop.assert_files()


def test_a_hold_record_with_a_damaged_client_key_is_passed_over(rentdesk, shop):
    held(shop, 7, 2, 1, "2009-03-01")
    shop.tables[Saved].records[7] = Saved(client=-5, movie=2, copy=1, savedate="2009-03-01")
    shop.put(Reserve(client=8, movie=2, callnotice=0, resdate="2009-03-02"))
    s = start(rentdesk, shop)
    leave(s)
    shop.assert_files()


# ---------------------------------------------------------------- data files


def test_start_up_without_the_saved_copy_file_ends_the_program(rentdesk, shop):
    (shop.dir.path / "ressavmov.txt").unlink()
    s = rentdesk(date=TODAY)
    assert s.wait_exit() == 1
    assert s.screen().text == open_failure("ressavmov.txt")


@pytest.mark.parametrize("missing", ["catalogmov.txt", "reservedmov.txt"])
def test_an_overdue_hold_without_catalogue_or_reservations_ends_the_program_and_stays(
        rentdesk, shop, missing):
    held(shop, 7, 2, 1, "2009-03-01")
    shop.put(Reserve(client=8, movie=2, callnotice=0, resdate="2009-03-02"))
    shop.write()
    (shop.dir.path / missing).unlink()
    s = rentdesk(date=TODAY)
    assert s.wait_exit() == 1
    assert s.screen().text == open_failure(missing)
    shop.dir.assert_table(shop.tables[Saved])  # the hold is still there


def test_a_missing_client_file_ends_the_program_at_the_call_notice(rentdesk, shop):
    held(shop, 7, 2, 1, "2009-03-01")
    shop.put(Reserve(client=8, movie=2, callnotice=1, resdate="2009-03-02"))
    shop.write()
    (shop.dir.path / "user.txt").unlink()
    s = rentdesk(date=TODAY)
    assert s.wait_exit() == 1
    assert s.screen().text == OVERDUE_HEADING + open_failure("user.txt")
    shop.delete(Saved, 7)
    shop.delete(Reserve, 2)
    shop.put(Saved(client=8, movie=2, copy=1, savedate=TODAY))
    for rec_type in (Saved, Reserve, Movie):
        shop.dir.assert_table(shop.tables[rec_type])
