"""Client login at the counter: the subscription test, the renewal with the
unpaid fine, and the return of a rented disk right after login."""

import pytest

from clientdesk_steps import (CALL_NOTICE, DISK_AGAIN, DISK_QUESTION, ID_PROMPT, INFO, LOGGED_IN,
                              LOGIN, NOTHING_TO_RETURN, PRESS, RENEWAL, RETURN_QUESTION, answer,
                              change, choose, expect, expect_dialog, leave, log_in,
                              menu_client_line, put, returned_notice)
from harness import Client, Date, Movie, Rent, Reserve, Saved

ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 2, 20),
             phone=5551234, months=1, fine=15)  # paid until 2009-03-20
MONTHS_AGAIN = "\nInsert number of months for new subscription!\n"


# ---------------------------------------------------------------- subscription


def test_a_subscription_ending_today_logs_in_without_payment(data_dir, rentdesk):
    users = put(data_dir, Client, ANN)
    s = rentdesk(date="2009-03-20")
    log_in(s, 25)
    expect(s, LOGGED_IN)  # the unpaid fine is not mentioned
    s.key("x")
    expect(s, NOTHING_TO_RETURN)
    s.key("x")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    choose(s, 1)
    assert "Error: A client is connected! disconnect to login other client" in s.wait_for("Error")
    choose(s, 5)
    assert "Error: A client is connected, disconnect to enter option" in s.wait_for("Error")
    choose(s, 2)
    assert menu_client_line(s) == "No client is connected to the system"
    leave(s)
    data_dir.assert_table(users)


def test_the_day_after_a_renewal_is_sold_with_the_fine(data_dir, rentdesk):
    users = put(data_dir, Client, ANN)
    s = rentdesk(date="2009-03-21")
    log_in(s, 25)
    expect(s, INFO + RENEWAL)
    s.type_line("2")
    expect(s, INFO + RENEWAL + "2\n"
           "\n The client have to pay penalty in sum of: 15"
           "\n The total sum combine the fine and the new subscription: 415" + PRESS)
    s.key("x")
    expect_dialog(s, " Do the client paid Y/N")
    answer(s, yes=True)
    expect(s, INFO + "\n\n\n Client paid!\n The user is now logged into the system" + PRESS)
    s.key("x")
    expect(s, NOTHING_TO_RETURN)
    s.key("x")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    leave(s)
    change(users, 25, fine=0, months=2, subdate=Date(2009, 3, 21))
    data_dir.assert_table(users)


def test_esc_at_the_payment_starts_over_and_no_refuses_the_login(data_dir, rentdesk):
    users = put(data_dir, Client, ANN)
    s = rentdesk(date="2009-04-02")
    log_in(s, 25)
    expect(s, INFO + RENEWAL)
    s.type_line("3")
    s.wait_for(": 615" + PRESS)
    s.key("x")
    expect_dialog(s, " Do the client paid Y/N")
    s.key("esc")
    expect(s, LOGIN + ID_PROMPT)
    s.type_line("25")
    expect(s, INFO + RENEWAL)
    s.type_line("0")
    s.wait_for(": 15" + PRESS)
    s.key("x")
    answer(s, yes=False)
    expect(s, INFO + "\n\n\n Client did not paid\n The Client can't be logged into the system"
           + PRESS)
    s.key("x")
    assert menu_client_line(s) == "No client is connected to the system"
    leave(s)
    data_dir.assert_table(users)


def test_ids_below_one_are_never_found_and_other_text_is_asked_again(data_dir, rentdesk):
    users = put(data_dir, Client, ANN, Client(id=1, fname="One", lname="Only",
                                              subdate=Date(2009, 3, 1), months=1))
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    s.wait_for(ID_PROMPT)
    s.type_line("abc")
    expect(s, LOGIN + ID_PROMPT + "abc\n" + ID_PROMPT)
    for typed in ("0", "-25", "99"):
        s.type_line(typed)
        expect_dialog(s, " ID wasn't found search again?\n Enter Y/N")
        answer(s, yes=typed != "99")
        if typed != "99":
            expect(s, LOGIN + ID_PROMPT)
    assert menu_client_line(s) == "No client is connected to the system"
    leave(s)
    data_dir.assert_table(users)


def test_renewal_months_must_be_a_number_from_0_to_1200(data_dir, rentdesk):
    users = put(data_dir, Client, ANN)
    s = rentdesk(date="2009-03-21")
    log_in(s, 25)
    expect(s, INFO + RENEWAL)
    for typed in ("many", "-1", "1201", "99999999999"):
        s.type_line(typed)
        s.wait_for(typed + "\n" + MONTHS_AGAIN)
    s.type_line("1200")
    screen = s.wait_for(PRESS)
    assert screen.text.endswith("1200\n\n The client have to pay penalty in sum of: 15"
                                "\n The total sum combine the fine and the new subscription: "
                                "240015" + PRESS)
    s.key("x")
    answer(s, yes=True)
    s.wait_for("Client paid!")
    s.key("x")
    s.wait_for(PRESS)
    s.key("x")
    leave(s)
    change(users, 25, fine=0, months=1200, subdate=Date(2009, 3, 21))
    data_dir.assert_table(users)


# ---------------------------------------------------------------- return at login

HEAT = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3, rented=1)
HEAT_2 = Movie(name="Heat", id=100, copy=2, diskstatus=9, rentdays=3)


def rented_to_ann(data_dir, rentdate: Date):
    """Ann holds copy 1 of Heat rented for 3 days; answers the models."""
    users = put(data_dir, Client, ANN.replace(subdate=Date(2009, 3, 1)))
    catalog = put(data_dir, Movie, HEAT, HEAT_2)
    rents = put(data_dir, Rent, Rent(client=25, rentdate=rentdate, movie=100, copy=1,
                                     rentdays=3))
    return users, catalog, rents


def bring_back(s) -> None:
    """From the login screen: the client has a disk and brings it."""
    s.type_line("25")
    s.wait_for("logged into the system")
    s.key("x")
    expect(s, INFO + "\n\n\n The client need to return movie" + PRESS)
    s.key("x")
    expect_dialog(s, RETURN_QUESTION)
    answer(s, yes=True)


@pytest.mark.parametrize("owed, owes_then", [(15, 50), (2**31 - 11, 2**31 - 1)])
def test_a_late_return_books_the_fine_silently(data_dir, rentdesk, owed, owes_then):
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 10))
    change(users, 25, fine=owed)
    data_dir.write(users)
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    expect(s, INFO + "\n\n" + DISK_QUESTION)
    s.type_line("1")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    leave(s)
    assert "35" not in s.transcript() and str(owes_then) not in s.transcript()
    change(users, 25, fine=owes_then)  # 35 more, held at the largest amount
    data_dir.assert_table(users)
    rents.delete(25)
    data_dir.assert_table(rents)
    change(catalog, 100, diskstatus=1, rented=0)
    data_dir.assert_table(catalog)


def test_a_return_on_time_leaves_the_client_untouched(data_dir, rentdesk):
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 17))
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    s.wait_for(DISK_QUESTION)
    s.type_line("10")
    leave(s)
    data_dir.assert_table(users)
    rents.delete(25)
    data_dir.assert_table(rents)
    change(catalog, 100, diskstatus=10, rented=0)
    data_dir.assert_table(catalog)


def test_a_returned_copy_goes_to_the_oldest_reservation_before_the_disk_is_rated(
        data_dir, rentdesk):
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 17))
    users.insert(Client(id=31, fname="Ben", lname="Ross", subdate=Date(2009, 3, 1), months=1,
                        phone=541112233))
    users.insert(Client(id=32, fname="Rina", lname="Katz", subdate=Date(2009, 3, 1), months=1,
                        phone=521234567))
    data_dir.write(users)
    reserved = put(data_dir, Reserve,
                   Reserve(client=31, movie=100, callnotice=1, resdate=Date(2009, 3, 15)),
                   Reserve(client=32, movie=100, callnotice=1, resdate=Date(2009, 3, 12)),
                   Reserve(client=31, movie=200, callnotice=1, resdate=Date(2009, 3, 1)))
    holds = data_dir.table(Saved)
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    expect(s, returned_notice(521234567, "Rina", "Katz", "Heat"))
    s.key("x")
    expect(s, INFO + "\n\n" + DISK_QUESTION)
    s.type_line("6")
    leave(s)
    data_dir.assert_table(users)
    reserved.delete(100, lambda r: r.client == 32)
    data_dir.assert_table(reserved)
    holds.insert(Saved(client=32, movie=100, copy=1, savedate=Date(2009, 3, 20)))
    data_dir.assert_table(holds)
    change(catalog, 100, diskstatus=6, rented=0, saved=1)
    data_dir.assert_table(catalog)


def test_a_disk_status_outside_1_to_10_is_asked_again(data_dir, rentdesk):
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 17))
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    s.wait_for(DISK_QUESTION)
    for typed in ("0", "11", "-3", "good"):
        s.type_line(typed)
        expect(s, INFO + DISK_AGAIN)
    s.type_line("10")
    leave(s)
    change(catalog, 100, diskstatus=10, rented=0)
    data_dir.assert_table(catalog)


@pytest.mark.parametrize("key", ["no", "esc"])
def test_a_disk_not_brought_back_keeps_the_rental_open(data_dir, rentdesk, key):
    rented_to_ann(data_dir, Date(2009, 3, 10))
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-20")
    log_in(s, 25)
    s.wait_for("logged into the system")
    s.key("x")
    s.wait_for(PRESS)
    s.key("x")
    expect_dialog(s, RETURN_QUESTION)
    if key == "no":
        answer(s, yes=False)
        expect(s, INFO + "\n\n\n The client Dont have the movie that he rented"
               "\n The client can't rent another movie but he can reserve a rented copy" + PRESS)
        s.key("x")
    else:
        s.key("esc")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    leave(s)
    data_dir.assert_unchanged(before)


def test_a_reservation_dated_after_today_does_not_get_the_copy(data_dir, rentdesk):
    # Made on a clock that ran ahead: the copy comes back free, the reservation waits.
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 17))
    reserved = put(data_dir, Reserve, Reserve(client=32, movie=100, callnotice=1,
                                              resdate=Date(2009, 3, 21)))
    before = data_dir.snapshot()
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    expect(s, INFO + "\n\n" + DISK_QUESTION)
    s.type_line("3")
    leave(s)
    data_dir.assert_table(reserved)
    assert data_dir.file(Saved).read_bytes() == before["ressavmov.txt"]
    change(catalog, 100, diskstatus=3, rented=0)
    data_dir.assert_table(catalog)


def test_a_reservation_of_a_client_no_longer_on_file_gets_a_notice_without_name(
        data_dir, rentdesk):
    users, catalog, rents = rented_to_ann(data_dir, Date(2009, 3, 17))
    reserved = put(data_dir, Reserve, Reserve(client=77, movie=100, callnotice=1,
                                              resdate=Date(2009, 3, 18)))
    holds = data_dir.table(Saved)
    s = rentdesk(date="2009-03-20")
    choose(s, 1)
    bring_back(s)
    expect(s, CALL_NOTICE + "\n\n Another client reserved the returned movie!"
           "\n The other client asked for call notice.\n Please call the client about the movie."
           "\n\n The movie name is:Heat\n\n The movie will be saved for 7 days" + PRESS)
    s.key("x")
    s.wait_for(DISK_QUESTION)
    s.type_line("3")
    leave(s)
    reserved.delete(100)
    data_dir.assert_table(reserved)
    holds.insert(Saved(client=77, movie=100, copy=1, savedate=Date(2009, 3, 20)))
    data_dir.assert_table(holds)
