"""Adding and removing clients at the counter (menu entry Add/Remove Client):
a client is removed only once he has paid, brought his disk back and left
his hold and reservation to the clients waiting behind him."""

import pytest

from clientdesk_steps import (CHOICE, DELETED, DISK_AGAIN, DISK_QUESTION, HAS_DISK, INFO,
                              INSERT_CLIENT, PAID_QUESTION, PRESS, REMOVE_LOGIN, REMOVE_PROMPT,
                              answer, change, choose, expect, expect_dialog, leave, put,
                              returned_notice, start_removal)
from harness import Client, Date, Movie, Rent, Reserve, Saved

ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 3, 1),
             phone=5551234, months=1)
BEN = Client(id=31, fname="Ben", lname="Ross", subdate=Date(2009, 3, 1), months=1,
             phone=541112233)
RINA = Client(id=32, fname="Rina", lname="Katz", subdate=Date(2009, 3, 1), months=1,
              phone=521234567)
DAN = Client(id=33, fname="Dan", lname="Oz", subdate=Date(2009, 3, 1), months=1, phone=31234567)
HEAT_1 = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3)
HEAT_2 = Movie(name="Heat", id=100, copy=2, diskstatus=9, rentdays=3)


def reservation(client: int, day: int, callnotice: int = 1, movie: int = 100) -> Reserve:
    return Reserve(client=client, movie=movie, callnotice=callnotice,
                   resdate=Date(2009, 3, day))


# ---------------------------------------------------------------- adding


def test_a_new_client_is_asked_for_a_free_id_and_stored_word_by_word(data_dir, rentdesk):
    users = put(data_dir, Client, ANN)
    s = rentdesk(date="2009-03-20")
    choose(s, 5)
    expect_dialog(s, CHOICE)
    answer(s, yes=True)
    first = INSERT_CLIENT + "\n\n\n Insert identification number\n"
    expect(s, first)
    typed = ""
    for wrong in ("abc", "0", "-4"):  # no id at all: the same prompt again
        s.type_line(wrong)
        typed += wrong + "\n\n\n\n Insert identification number\n"
        expect(s, first + typed)
    s.type_line("25")
    expect(s, INFO + "\n\n\n Identification number is already in the system\n" + PRESS)
    s.key("x")
    again = INSERT_CLIENT + "\n\n\n Insert again identification number\n"
    expect(s, again)
    s.type_line("26 and more")
    s.wait_for("\n Insert client first name\n")
    s.type_line("Benjamin Netanel")  # the second word is dropped, not the last name
    s.wait_for("\n Insert client last name\n")
    s.type_line("Abcdefghijklmnop")
    s.wait_for("\n Insert client adrress\n")
    s.type_line("Elm street 5")
    phone = "\n Insert client phone number(without bar's!)\n"
    s.wait_for(phone)
    for wrong in ("none", "-5"):
        s.type_line(wrong)
        s.wait_for(wrong + "\n" + phone)
    s.type_line("0521234567-8")
    months = "\n How many months the client want to subscribe?\n"
    expect(s, again + "26 and more\n"
           "\n Insert client first name\nBenjamin Netanel\n"
           "\n Insert client last name\nAbcdefghijklmnop\n"
           "\n Insert client adrress\nElm street 5\n"
           + phone + "none\n" + phone + "-5\n" + phone + "0521234567-8\n" + months)
    for wrong in ("few", "-1"):
        s.type_line(wrong)
        s.wait_for(wrong + "\n" + months)
    s.type_line("3")
    expect(s, INFO + "\n\n\n Client was added to database." + PRESS)
    s.key("x")
    leave(s)
    users.insert(Client(id=26, fname="Benjamin", lname="Abcdefghijk", address="Elm",
                        subdate=Date(2009, 3, 20), phone=521234567, months=3, fine=0))
    data_dir.assert_table(users)


def test_esc_at_the_choice_changes_nothing(data_dir, rentdesk):
    put(data_dir, Client, ANN)
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-20")
    choose(s, 5)
    expect_dialog(s, CHOICE)
    s.key("esc")
    leave(s)
    data_dir.assert_unchanged(before)


# ---------------------------------------------------------------- removing


def test_a_client_who_owes_and_holds_nothing_is_removed_without_a_question(data_dir, rentdesk):
    users = put(data_dir, Client, ANN, BEN)
    s = rentdesk(date="2009-03-20")
    start_removal(s, 25)
    expect(s, DELETED)
    s.key("x")
    leave(s)
    users.delete(25)
    data_dir.assert_table(users)


def test_an_unknown_or_invalid_id_offers_another_search(data_dir, rentdesk):
    put(data_dir, Client, ANN)
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-20")
    start_removal(s, 99)
    expect(s, INFO + "\n\n\n Client wasn't found!" + PRESS)
    s.key("x")
    expect_dialog(s, " Continue searching for another client to delete? Y/N")
    answer(s, yes=True)
    expect(s, REMOVE_LOGIN + REMOVE_PROMPT)
    shown = REMOVE_LOGIN + REMOVE_PROMPT
    for wrong in ("0", "none"):  # no id at all: the same prompt again
        s.type_line(wrong)
        shown += wrong + "\n" + REMOVE_PROMPT
        expect(s, shown)
    s.type_line("98")
    s.wait_for(PRESS)
    s.key("x")
    answer(s, yes=False)
    leave(s)
    data_dir.assert_unchanged(before)


def test_an_old_fine_is_shown_and_must_be_paid_first(data_dir, rentdesk):
    users = put(data_dir, Client, ANN.replace(fine=20))
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-20")
    for paid in (False, True):
        start_removal(s, 25)
        expect(s, INFO + "\n\n\n The client have to pay first a sum of: 20")
        s.key("x")
        expect_dialog(s, PAID_QUESTION)
        answer(s, yes=paid)
        if not paid:
            menu = s.wait_for(" is connected to the system\n")
            assert "deleted" not in s.transcript()
            assert "No client is connected" in menu
            data_dir.assert_unchanged(before)
    expect(s, DELETED)
    s.key("x")
    leave(s)
    users.delete(25)
    data_dir.assert_table(users)


def rental_of_ann(data_dir):
    """Ann owes 20 and holds copy 1 of Heat, rented 2009-03-10 for 3 days."""
    users = put(data_dir, Client, ANN.replace(fine=20), RINA)
    catalog = put(data_dir, Movie, HEAT_1.replace(rented=1), HEAT_2)
    rents = put(data_dir, Rent, Rent(client=25, rentdate=Date(2009, 3, 10), movie=100, copy=1,
                                     rentdays=3))
    return users, catalog, rents


def test_a_late_disk_is_rated_then_the_whole_sum_is_demanded(data_dir, rentdesk):
    users, catalog, rents = rental_of_ann(data_dir)
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-16")  # three days late
    for paid in (False, True):
        start_removal(s, 25)
        expect_dialog(s, HAS_DISK)
        answer(s, yes=True)
        expect(s, INFO + DISK_QUESTION)
        s.type_line("0")
        expect(s, INFO + DISK_AGAIN)
        s.type_line("4")
        expect(s, INFO + "\n\n\n The client have to pay first a sum of: 35" + PRESS)
        s.key("x")
        expect_dialog(s, PAID_QUESTION)
        if not paid:  # Esc: nothing written, the disk status dropped
            s.key("esc")
            s.wait_for(" is connected to the system\n")
            data_dir.assert_unchanged(before)
        else:
            answer(s, yes=True)
    expect(s, DELETED)
    s.key("x")
    leave(s)
    users.delete(25)
    data_dir.assert_table(users)
    rents.delete(25)
    data_dir.assert_table(rents)
    change(catalog, 100, diskstatus=4, rented=0)
    data_dir.assert_table(catalog)


@pytest.mark.parametrize("key", ["no", "esc"])
def test_a_disk_not_brought_back_stops_the_removal(data_dir, rentdesk, key):
    rental_of_ann(data_dir)
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-16")
    start_removal(s, 25)
    expect_dialog(s, HAS_DISK)
    if key == "no":
        answer(s, yes=False)
    else:
        s.key("esc")
    expect(s, INFO + "\n\n\n The delete operation was aborted because the client don't have "
           "the movie to return!!!")
    s.key("x")
    leave(s)
    data_dir.assert_unchanged(before)


def test_a_disk_back_in_time_passes_to_the_next_reservation_without_payment(data_dir, rentdesk):
    users, catalog, rents = rental_of_ann(data_dir)
    change(users, 25, fine=0)
    data_dir.write(users)
    reserved = put(data_dir, Reserve, reservation(32, 12))
    holds = data_dir.table(Saved)
    s = rentdesk(date="2009-03-13")  # the due day
    start_removal(s, 25)
    answer(s, yes=True)
    s.wait_for(DISK_QUESTION)
    s.type_line("8")
    expect(s, returned_notice(521234567, "Rina", "Katz", "Heat"))
    s.key("x")
    expect(s, DELETED)
    s.key("x")
    leave(s)
    users.delete(25)
    data_dir.assert_table(users)
    reserved.delete(100)
    data_dir.assert_table(reserved)
    holds.insert(Saved(client=32, movie=100, copy=1, savedate=Date(2009, 3, 13)))
    data_dir.assert_table(holds)
    change(catalog, 100, diskstatus=8, rented=0, saved=1)
    data_dir.assert_table(catalog)


def test_a_held_copy_passes_to_the_next_reserving_client(data_dir, rentdesk):
    users = put(data_dir, Client, ANN, BEN, RINA)
    catalog = put(data_dir, Movie, HEAT_1, HEAT_2.replace(saved=1))
    holds = put(data_dir, Saved, Saved(client=25, movie=100, copy=2, savedate=Date(2009, 3, 18)))
    reserved = put(data_dir, Reserve, reservation(31, 14, callnotice=0), reservation(32, 12))
    s = rentdesk(date="2009-03-20")
    start_removal(s, 25)
    expect(s, returned_notice(521234567, "Rina", "Katz", "Heat"))
    s.key("x")
    expect(s, DELETED)
    s.key("x")
    leave(s)
    users.delete(25)
    data_dir.assert_table(users)
    holds.delete(25)
    holds.insert(Saved(client=32, movie=100, copy=2, savedate=Date(2009, 3, 20)))
    data_dir.assert_table(holds)
    reserved.delete(100, lambda r: r.client == 32)
    data_dir.assert_table(reserved)
    data_dir.assert_table(catalog)  # copy 2 stays saved, now for Rina


def test_a_held_copy_nobody_waits_for_becomes_available(data_dir, rentdesk):
    put(data_dir, Client, ANN)
    catalog = put(data_dir, Movie, HEAT_1, HEAT_2.replace(saved=1))
    holds = put(data_dir, Saved, Saved(client=25, movie=100, copy=2, savedate=Date(2009, 3, 18)))
    s = rentdesk(date="2009-03-20")
    start_removal(s, 25)
    expect(s, DELETED)
    s.key("x")
    leave(s)
    holds.delete(25)
    data_dir.assert_table(holds)
    catalog.records[catalog.find(100, lambda r: r.copy == 2)] = HEAT_2
    data_dir.assert_table(catalog)


def test_only_the_removed_clients_reservation_is_cancelled(data_dir, rentdesk):
    put(data_dir, Client, ANN, BEN, RINA, DAN)
    # Rina's reservation comes first on the title's probe path, Ben's after it.
    reserved = put(data_dir, Reserve, reservation(32, 12), reservation(31, 14),
                   reservation(33, 15))
    s = rentdesk(date="2009-03-20")
    start_removal(s, 31)
    expect(s, DELETED)
    s.key("x")
    leave(s)
    reserved.delete(100, lambda r: r.client == 31)
    data_dir.assert_table(reserved)


def test_a_returned_disk_never_passes_to_its_own_client_leaving(data_dir, rentdesk):
    # Ann rented Heat and then reserved it too, before Rina did.
    users, catalog, rents = rental_of_ann(data_dir)
    change(users, 25, fine=0)
    data_dir.write(users)
    reserved = put(data_dir, Reserve, reservation(25, 11), reservation(32, 12))
    holds = data_dir.table(Saved)
    s = rentdesk(date="2009-03-13")
    start_removal(s, 25)
    answer(s, yes=True)
    s.wait_for(DISK_QUESTION)
    s.type_line("5")
    expect(s, returned_notice(521234567, "Rina", "Katz", "Heat"))
    s.key("x")
    expect(s, DELETED)
    s.key("x")
    leave(s)
    assert "'Ann Lee'" not in s.transcript()
    reserved.delete(100, lambda r: r.client == 25)
    reserved.delete(100, lambda r: r.client == 32)
    data_dir.assert_table(reserved)
    holds.insert(Saved(client=32, movie=100, copy=1, savedate=Date(2009, 3, 13)))
    data_dir.assert_table(holds)
    change(catalog, 100, diskstatus=5, rented=0, saved=1)
    data_dir.assert_table(catalog)
