"""The online search of a connected client on the real program: which copy a
typed title reaches, renting, taking or cancelling the copy held for him,
reserving, and every refusal, with the data files compared byte for byte."""

import pytest

from harness import Movie, Rent, Reserve, Saved
from shop import (CALL_QUESTION, CAN_RENT, CAN_TAKE, CONTINUE, ESC, NO, NOT_AVAILABLE, NOT_FOUND,
                  PRESS, RENTED, RENT_QUESTION, RESERVED, RESERVE_QUESTION, SEARCH, TAKE_QUESTION,
                  YES, Shop, answer, choose, connected, dismiss, held_detail, hold_notice, info,
                  log_in, open_failure, returned_notice)

TODAY = "2009-03-20"


@pytest.fixture
def shop(data_dir):
    s = Shop(data_dir)
    s.client(7, "Dan", "Cohen", TODAY)
    return s


def start_search(rentdesk, shop, client_id=7, name="Dan Cohen"):
    """Writes the files, starts the program, logs the client in and opens
    the search (entry 3), through the notice of his hold; answers the session."""
    shop.write()
    s = rentdesk(date=TODAY)
    log_in(s, client_id, name)
    choose(s, 3)
    holds = [h for _, h in shop.tables[Saved].live() if h.client == client_id]
    if holds:  # the search opens with the copy held for him
        copy = shop.at(Movie, shop.find(Movie, holds[0].movie, lambda m: m.copy == holds[0].copy))
        dismiss(s, hold_notice(copy.name, copy.id, copy.copy))
    return s


def search(s, title, shows=None):
    """Types title at the search prompt; asserts the message it leads to,
    when given, and passes it with a key."""
    s.wait_for(SEARCH)
    s.type_line(title)
    if shows:
        dismiss(s, shows)
    else:
        s.wait_for(PRESS)
        s.key("x")


def back_at_menu(s, name="Dan Cohen"):
    return s.wait_for(connected(name))


def reserve(s, title, call_notice_keys):
    """Searches a title no copy of which is available and reserves it."""
    search(s, title, NOT_AVAILABLE)
    answer(s, YES, RESERVE_QUESTION)
    answer(s, call_notice_keys, CALL_QUESTION)
    dismiss(s, RESERVED)
    back_at_menu(s)


# ---------------------------------------------------------------- which copy a title reaches


def test_title_must_match_whole_and_exactly_and_empty_slots_never_match(rentdesk, shop):
    shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=8, rentdays=3))
    shop.put(Movie(name="Nineteen characters", id=3, copy=1, diskstatus=8, rentdays=3))
    shop.put(Movie(name="Gone", id=9, copy=1, diskstatus=1, rentdays=1))
    shop.delete(Movie, 9)  # a deleted slot: blank, named "x" like every empty one
    s = start_search(rentdesk, shop)
    too_long = "Nineteen characters!"  # its first 19 characters are a stored title
    for typed in ("alien", "Alien ", " Alien", too_long, too_long + " and more", "x", ""):
        search(s, typed, NOT_FOUND)
        answer(s, YES, CONTINUE)
    search(s, "Alien", CAN_RENT)  # the exact title does reach the copy
    answer(s, ESC, RENT_QUESTION)  # declined: asked whether to go on
    answer(s, YES, CONTINUE)
    search(s, "Nineteen characters", CAN_RENT)  # a full-length title matches
    answer(s, NO, RENT_QUESTION)
    answer(s, YES, CONTINUE)
    search(s, "Nothing", NOT_FOUND)
    answer(s, NO, CONTINUE)
    back_at_menu(s)
    shop.assert_files()


@pytest.mark.parametrize("keys, callnotice", [(YES, 1), (NO, 0), (ESC, 0)],
                         ids=["yes", "no", "esc"])
def test_title_with_every_copy_rented_is_reserved_under_the_last_copy_met(
        rentdesk, shop, keys, callnotice):
    # Two movie ids carry the same title; the reservation names the id of the
    # copy in the later slot.
    slots = {shop.put(Movie(name="Heat", id=id, copy=1, diskstatus=5, rentdays=2, rented=1)): id
             for id in (4, 17)}
    shop.put(Movie(name="Up", id=5, copy=1, diskstatus=5, rentdays=2))
    last_id = slots[max(slots)]
    s = start_search(rentdesk, shop)
    reserve(s, "Heat", keys)
    shop.put(Reserve(client=7, movie=last_id, callnotice=callnotice, resdate=TODAY))
    shop.assert_files()


def test_reserving_can_be_declined_or_left(rentdesk, shop):
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    s = start_search(rentdesk, shop)
    search(s, "Heat")
    answer(s, NO, RESERVE_QUESTION)  # No: a new search
    search(s, "Heat", NOT_AVAILABLE)
    answer(s, ESC, RESERVE_QUESTION)  # Esc: the call ends
    back_at_menu(s)
    shop.assert_files()


def test_a_reserved_title_is_reported_at_its_first_copy_whatever_the_copies(rentdesk, shop):
    shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3))
    shop.put(Movie(name="Alien", id=2, copy=2, diskstatus=5, rentdays=3, rented=1))
    shop.put(Reserve(client=7, movie=2, callnotice=1, resdate="2009-03-10"))
    s = start_search(rentdesk, shop)
    already = info("\n\n\n The client already reserved this movie",
                   "\n When the movie is back to inventory it will be saved for the client")
    search(s, "Alien", already)
    answer(s, YES, " Continue searching another movie? Y/N")
    search(s, "Alien", already)
    answer(s, NO, " Continue searching another movie? Y/N")
    back_at_menu(s)
    shop.assert_files()


def test_client_renting_the_title_he_searches_goes_straight_to_a_new_search(rentdesk, shop):
    shop.client(8, "Ruth", "Levi", TODAY)
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    shop.put(Movie(name="Heat", id=4, copy=2, diskstatus=5, rentdays=2, rented=1))
    shop.put(Rent(client=7, rentdate="2009-03-19", movie=4, copy=2, rentdays=2))
    shop.put(Rent(client=8, rentdate="2009-03-18", movie=4, copy=1, rentdays=2))
    s = start_search(rentdesk, shop)
    search(s, "Heat", NOT_AVAILABLE)
    dismiss(s, info("\n\n\n The client is already renting this movie!!!",
                   "\n So the client can't reserve this movie"))
    assert s.wait_for(SEARCH).text.startswith(SEARCH)  # no dialog in between
    search(s, "Nothing", NOT_FOUND)
    answer(s, ESC, CONTINUE)
    back_at_menu(s)
    shop.assert_files()


# ---------------------------------------------------------------- renting


def test_an_available_copy_is_rented_for_its_rent_days(rentdesk, shop):
    shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3, rented=1))
    slot = shop.put(Movie(name="Alien", id=2, copy=2, diskstatus=9, rentdays=3))
    s = start_search(rentdesk, shop)
    search(s, "Alien", CAN_RENT)
    answer(s, YES, RENT_QUESTION)
    dismiss(s, RENTED)
    back_at_menu(s)
    shop.change(Movie, slot, rented=1)
    shop.put(Rent(client=7, rentdate=TODAY, movie=2, copy=2, rentdays=3))
    shop.assert_files()


def test_a_renting_client_cannot_rent_an_available_copy(rentdesk, shop):
    shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3))
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    shop.put(Rent(client=7, rentdate="2009-03-19", movie=4, copy=1, rentdays=2))
    s = start_search(rentdesk, shop)
    search(s, "Alien", info(
        "\n\n\n The movie is avaliable but the client can't rent him.",
        "\n The client is already renting a movie.", "\n The client can't rent another one!"))
    answer(s, NO, CONTINUE)
    back_at_menu(s)
    shop.assert_files()


# ---------------------------------------------------------------- the held copy


def test_held_copy_behind_an_available_copy_is_not_reached(rentdesk, shop):
    # Copy 1 lies in an earlier slot than copy 2, which is held for the client:
    # the search stops at copy 1 and renting it is refused for the hold.
    first = shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3))
    second = shop.put(Movie(name="Alien", id=2, copy=2, diskstatus=5, rentdays=3, saved=1))
    assert first < second
    shop.put(Saved(client=7, movie=2, copy=2, savedate="2009-03-18"))
    s = start_search(rentdesk, shop)
    search(s, "Alien", CAN_RENT)
    answer(s, YES, RENT_QUESTION)
    dismiss(s, info(
        "\n\n\n A movie has been saved for the client before!\n ",
        "\n The client can't rent another movie when a movie is saved for him.\n",
        held_detail("Alien", 2, 2)))
    back_at_menu(s)
    shop.assert_files()


def test_a_copy_held_for_another_client_does_not_stop_the_scan(rentdesk, shop):
    # Slot order: copy 1 held for client 9, copy 2 available, copy 3 held for
    # client 7. Only a hold on this very copy for this client stops the scan.
    shop.client(9, "Avi", "Bar", TODAY)
    slots = [shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3, saved=1)),
             shop.put(Movie(name="Alien", id=2, copy=2, diskstatus=5, rentdays=3)),
             shop.put(Movie(name="Alien", id=2, copy=3, diskstatus=5, rentdays=3, saved=1))]
    assert slots == sorted(slots)
    shop.put(Saved(client=9, movie=2, copy=1, savedate="2009-03-19"))
    shop.put(Saved(client=7, movie=2, copy=3, savedate="2009-03-19"))
    s = start_search(rentdesk, shop)
    search(s, "Alien", CAN_RENT)
    answer(s, NO, RENT_QUESTION)
    answer(s, NO, CONTINUE)
    back_at_menu(s)
    shop.assert_files()


def held_copy_shop(shop):
    """Alien: copy 1 held for client 9, copy 2 in a later slot held for
    client 7; answers the slot of copy 2."""
    shop.client(9, "Avi", "Bar", TODAY)
    first = shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3, saved=1))
    shop.put(Saved(client=9, movie=2, copy=1, savedate="2009-03-19"))
    slot = shop.put(Movie(name="Alien", id=2, copy=2, diskstatus=6, rentdays=3, saved=1))
    shop.put(Saved(client=7, movie=2, copy=2, savedate="2009-03-17"))
    assert first < slot
    return slot


def test_taking_the_held_copy_rents_it_and_ends_without_a_message(rentdesk, shop):
    slot = held_copy_shop(shop)
    s = start_search(rentdesk, shop)
    search(s, "Alien", CAN_TAKE)
    answer(s, YES, TAKE_QUESTION)
    back_at_menu(s)
    shop.delete(Saved, 7)
    shop.put(Rent(client=7, rentdate=TODAY, movie=2, copy=2, rentdays=3))
    shop.change(Movie, slot, rented=1, saved=0)
    shop.assert_files()


@pytest.mark.parametrize("keys", [NO, ESC], ids=["no", "esc"])
def test_cancelling_the_hold_passes_the_copy_to_the_oldest_reservation_and_searches_on(
        rentdesk, shop, keys):
    slot = held_copy_shop(shop)
    shop.client(8, "Ruth", "Levi", TODAY, phone=521111111)
    shop.client(10, "Eli", "Gal", TODAY)
    shop.put(Reserve(client=10, movie=2, callnotice=1, resdate="2009-03-15"))
    shop.put(Reserve(client=8, movie=2, callnotice=1, resdate="2009-03-12"))
    up = shop.put(Movie(name="Up", id=5, copy=1, diskstatus=7, rentdays=4))
    s = start_search(rentdesk, shop)
    search(s, "Alien")
    answer(s, keys, TAKE_QUESTION)
    dismiss(s, returned_notice(521111111, "Ruth Levi", "Alien"))
    # The same call goes on, and the client, now without a hold, may rent.
    search(s, "Up", CAN_RENT)
    answer(s, YES, RENT_QUESTION)
    dismiss(s, RENTED)
    back_at_menu(s)
    shop.delete(Saved, 7)
    shop.delete(Reserve, 2, lambda r: r.client == 8)
    shop.put(Saved(client=8, movie=2, copy=2, savedate=TODAY))
    shop.change(Movie, up, rented=1)
    shop.put(Rent(client=7, rentdate=TODAY, movie=5, copy=1, rentdays=4))
    assert shop.at(Movie, slot).saved == 1  # held again, now for client 8
    shop.assert_files()


def test_cancelling_the_hold_of_an_unreserved_title_frees_the_copy(rentdesk, shop):
    slot = held_copy_shop(shop)
    s = start_search(rentdesk, shop)
    search(s, "Alien")
    answer(s, NO, TAKE_QUESTION)
    search(s, "Alien", CAN_RENT)  # the freed copy is available now
    answer(s, NO, RENT_QUESTION)
    answer(s, NO, CONTINUE)
    back_at_menu(s)
    shop.delete(Saved, 7)
    shop.change(Movie, slot, saved=0)
    shop.assert_files()


def test_a_renting_client_cannot_take_his_held_copy(rentdesk, shop):
    held_copy_shop(shop)
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    shop.put(Rent(client=7, rentdate="2009-03-19", movie=4, copy=1, rentdays=2))
    s = start_search(rentdesk, shop)
    search(s, "Alien", info(
        "\n\n\n The movie is saved for the client!", "\n The client can't take the movie beacuse",
        " He's already renting a movie!!!!"))
    back_at_menu(s)
    shop.assert_files()


def test_a_copy_held_for_another_client_is_passed_over_and_a_renter_may_reserve(rentdesk, shop):
    shop.client(8, "Ruth", "Levi", TODAY)
    shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3, saved=1))
    shop.put(Saved(client=8, movie=2, copy=1, savedate="2009-03-18"))
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    shop.put(Rent(client=7, rentdate="2009-03-19", movie=4, copy=1, rentdays=2))
    s = start_search(rentdesk, shop)
    reserve(s, "Alien", NO)
    shop.put(Reserve(client=7, movie=2, callnotice=0, resdate=TODAY))
    shop.assert_files()


# ---------------------------------------------------------------- refused reservations


@pytest.mark.parametrize("has", ["hold", "reservation"])
def test_a_client_with_a_hold_or_a_reservation_cannot_reserve(rentdesk, shop, has):
    shop.put(Movie(name="Heat", id=4, copy=1, diskstatus=5, rentdays=2, rented=1))
    if has == "hold":
        held_copy_shop(shop)
        # Printed on the screen the dialog left cleared, banner included.
        refusal = info("\n\n\n A movie as been saved for the client!\n ",
                       "\n You can't reserve a new movie until you take care of the saved one.")
    else:
        shop.put(Movie(name="Alien", id=2, copy=1, diskstatus=5, rentdays=3, rented=1),
                 Reserve(client=7, movie=2, callnotice=0, resdate="2009-03-01"))
        refusal = info("\n\n\n The client is already reserving a movie!!!")
    s = start_search(rentdesk, shop)
    search(s, "Heat", NOT_AVAILABLE)
    answer(s, YES, RESERVE_QUESTION)
    dismiss(s, refusal)
    back_at_menu(s)
    shop.assert_files()


# ---------------------------------------------------------------- files


@pytest.mark.parametrize("missing", ["catalogmov.txt", "ressavmov.txt", "reservedmov.txt",
                                     "rentmovies.txt"])
def test_a_missing_data_file_ends_the_search_and_the_program(rentdesk, shop, missing):
    shop.write()
    s = rentdesk(date=TODAY)
    log_in(s, 7, "Dan Cohen")
    (shop.dir.path / missing).unlink()
    choose(s, 3)
    s.wait_for(open_failure(missing))
    assert s.wait_exit() == 1
