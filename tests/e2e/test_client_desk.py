"""Adding and removing clients at the counter (menu entry Add/Remove Client):
a client is removed only once he has paid, brought his disk back and left
his hold and reservation to the clients waiting behind him."""

import pytest

from harness import Client, Date, Movie, Rent, Reserve, Saved
from shop import (ADDRESS, ADD_OR_REMOVE_CLIENT, CLIENT_ADDED, DELETED, DISK_AGAIN, DISK_QUESTION,
                  ESC, FIRST, HAS_DISK, INFO, INSERT_CLIENT, LAST, MONTHS, NEW_ID, PAID_QUESTION,
                  PHONE, PRESS, REMOVE_ID, REMOVE_LOGIN, Shop, answer, choose, dismiss, expect,
                  info, leave, returned_notice, start_removal)

ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 3, 1),
             phone=5551234, months=1)
BEN = Client(id=31, fname="Ben", lname="Ross", subdate=Date(2009, 3, 1), months=1,
             phone=541112233)
RINA = Client(id=32, fname="Rina", lname="Katz", subdate=Date(2009, 3, 1), months=1,
              phone=521234567)
DAN = Client(id=33, fname="Dan", lname="Oz", subdate=Date(2009, 3, 1), months=1, phone=31234567)
HEAT_1 = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3)
HEAT_2 = Movie(name="Heat", id=100, copy=2, diskstatus=9, rentdays=3)
RINA_CALLED = returned_notice(521234567, "Rina Katz", "Heat")


def reservation(client, day, callnotice=1):
    return Reserve(client=client, movie=100, callnotice=callnotice, resdate=Date(2009, 3, day))


def removed(s, *screens):
    """After the id: each screen is shown and passed with a key, then the
    client is deleted and the program left."""
    for screen in screens + (DELETED,):
        dismiss(s, screen)
    leave(s)


# ---------------------------------------------------------------- adding


def test_a_new_client_is_asked_for_a_free_id_and_stored_word_by_word(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    s = rentdesk(date="2009-03-20")
    choose(s, 5)
    answer(s, ESC, ADD_OR_REMOVE_CLIENT)  # Esc: back to the menu
    choose(s, 5)
    answer(s, True, ADD_OR_REMOVE_CLIENT)
    expect(s, INSERT_CLIENT + NEW_ID)
    s.type_line("25")
    dismiss(s, info("\n\n\n Identification number is already in the system\n"))
    again = INSERT_CLIENT + "\n\n\n Insert again identification number\n"
    expect(s, again)
    typed = ["26 and more", "Benjamin Netanel", "Abcdefghijklmnop", "Elm street 5", "-5",
             "0521234567-8", "-1"]  # the second word is dropped, not the last name
    shown = again
    for line, prompt in zip(typed, (FIRST, LAST, ADDRESS, PHONE, PHONE, MONTHS, MONTHS)):
        s.type_line(line)
        shown += line + "\n" + prompt
        s.wait_for(line + "\n" + prompt)
    expect(s, shown)
    s.type_line("3")
    dismiss(s, CLIENT_ADDED)
    leave(s)
    shop.put(Client(id=26, fname="Benjamin", lname="Abcdefghijk", address="Elm",
                    subdate=Date(2009, 3, 20), phone=521234567, months=3, fine=0))
    shop.assert_files()


# ---------------------------------------------------------------- removing


def test_an_unknown_id_offers_another_search(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    s = rentdesk(date="2009-03-20")
    start_removal(s, 99)
    dismiss(s, info("\n\n\n Client wasn't found!"))
    answer(s, True, " Continue searching for another client to delete? Y/N")
    expect(s, REMOVE_LOGIN + REMOVE_ID)
    s.type_line("98")
    s.wait_for(PRESS)
    s.key("x")
    answer(s, False)
    leave(s)
    shop.assert_files()


def test_an_old_fine_is_shown_and_must_be_paid_first(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN.replace(fine=20))
    shop.write()
    s = rentdesk(date="2009-03-20")
    for paid in (False, True):
        start_removal(s, 25)
        dismiss(s, INFO + "\n\n\n The client have to pay first a sum of: 20")
        answer(s, paid, PAID_QUESTION)
        if not paid:
            menu = s.wait_for(" is connected to the system\n")
            assert "deleted" not in s.transcript() and "No client is connected" in menu
            shop.assert_files()
    removed(s)
    shop.delete(Client, 25)
    shop.assert_files()


def rental_of_ann(data_dir, fine=20):
    """Ann owes `fine` and holds copy 1 of Heat, rented 2009-03-10 for 3
    days; answers the shop and the copy's slot."""
    shop = Shop(data_dir)
    shop.put(ANN.replace(fine=fine), RINA)
    copy = shop.put(HEAT_1.replace(rented=1))
    shop.put(HEAT_2, Rent(client=25, rentdate=Date(2009, 3, 10), movie=100, copy=1, rentdays=3))
    return shop, copy


def test_a_late_disk_is_rated_then_the_whole_sum_is_demanded(data_dir, rentdesk):
    shop, copy = rental_of_ann(data_dir)
    shop.write()
    s = rentdesk(date="2009-03-16")  # three days late
    for reply in (False, ESC):  # without the disk, no removal
        start_removal(s, 25)
        answer(s, reply, HAS_DISK)
        dismiss(s, INFO + "\n\n\n The delete operation was aborted because the client don't "
                "have the movie to return!!!")
    shop.assert_files()
    for paid in (ESC, True):
        start_removal(s, 25)
        answer(s, True, HAS_DISK)
        expect(s, INFO + DISK_QUESTION)
        s.type_line("0")
        expect(s, INFO + DISK_AGAIN)
        s.type_line("4")
        dismiss(s, info("\n\n\n The client have to pay first a sum of: 35"))
        answer(s, paid, PAID_QUESTION)
        if paid == ESC:  # nothing written, the disk status dropped
            s.wait_for(" is connected to the system\n")
            shop.assert_files()
    removed(s)
    shop.delete(Client, 25)
    shop.delete(Rent, 25)
    shop.change(Movie, copy, diskstatus=4, rented=0)
    shop.assert_files()


def test_a_disk_back_in_time_passes_on_but_never_to_its_own_client_leaving(data_dir, rentdesk):
    # Ann rented Heat and then reserved it too, before Rina did.
    shop, copy = rental_of_ann(data_dir, fine=0)
    shop.put(reservation(25, 11), reservation(32, 12))
    shop.write()
    s = rentdesk(date="2009-03-13")  # the due day: nothing to pay
    start_removal(s, 25)
    answer(s, True, HAS_DISK)
    s.wait_for(DISK_QUESTION)
    s.type_line("5")
    removed(s, RINA_CALLED)
    assert "'Ann Lee'" not in s.transcript()
    shop.delete(Client, 25)
    shop.delete(Rent, 25)
    shop.delete(Reserve, 100, lambda r: r.client == 25)
    shop.delete(Reserve, 100, lambda r: r.client == 32)
    shop.put(Saved(client=32, movie=100, copy=1, savedate=Date(2009, 3, 13)))
    shop.change(Movie, copy, diskstatus=5, rented=0, saved=1)
    shop.assert_files()


@pytest.mark.parametrize("waiting", [True, False], ids=["to the next reservation", "to nobody"])
def test_a_held_copy_passes_to_the_next_reserving_client_or_back_on_the_shelf(
        data_dir, rentdesk, waiting):
    shop = Shop(data_dir)
    shop.put(ANN, BEN, RINA, HEAT_1)
    copy = shop.put(HEAT_2.replace(saved=1))
    shop.put(Saved(client=25, movie=100, copy=2, savedate=Date(2009, 3, 18)))
    if waiting:
        shop.put(reservation(31, 14, callnotice=0), reservation(32, 12))
    shop.write()
    s = rentdesk(date="2009-03-20")
    start_removal(s, 25)
    removed(s, *([RINA_CALLED] if waiting else []))
    shop.delete(Client, 25)
    shop.delete(Saved, 25)
    if waiting:  # copy 2 stays saved, now for Rina
        shop.put(Saved(client=32, movie=100, copy=2, savedate=Date(2009, 3, 20)))
        shop.delete(Reserve, 100, lambda r: r.client == 32)
    else:
        shop.change(Movie, copy, saved=0)
    shop.assert_files()


def test_only_the_removed_clients_reservation_is_cancelled(data_dir, rentdesk):
    # A client who owes and holds nothing goes without a question. Rina's
    # reservation comes first on the title's probe path, Ben's after it.
    shop = Shop(data_dir)
    shop.put(ANN, BEN, RINA, DAN, reservation(32, 12), reservation(31, 14), reservation(33, 15))
    shop.write()
    s = rentdesk(date="2009-03-20")
    start_removal(s, 31)
    removed(s)
    shop.delete(Client, 31)
    shop.delete(Reserve, 100, lambda r: r.client == 31)
    shop.assert_files()
