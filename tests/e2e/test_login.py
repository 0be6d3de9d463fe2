"""Client login at the counter: the subscription test, the renewal with the
unpaid fine, and the return of a rented disk right after login."""

import pytest

from harness import Client, Date, Movie, Rent, Reserve, Saved
from shop import (DISK_AGAIN, DISK_QUESTION, ESC, ID_PROMPT, INFO, LOGGED_IN, LOGIN, MONTHS_AGAIN,
                  MUST_RETURN, NOBODY, NOTHING_TO_RETURN, PRESS, RENEWAL, RETURNED_HEADING,
                  RETURN_QUESTION, Shop, answer, choose, dismiss, expect, info, leave, log_in,
                  menu_client_line, returned_notice, start_login)

ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 2, 20),
             phone=5551234, months=1, fine=15)  # paid until 2009-03-20
PAID = " Do the client paid Y/N"


def renewal_total(months, total):
    return (INFO + RENEWAL + f"{months}\n\n The client have to pay penalty in sum of: 15"
            f"\n The total sum combine the fine and the new subscription: {total}" + PRESS)


# ---------------------------------------------------------------- subscription


def test_a_subscription_ending_today_logs_in_without_payment(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    s = rentdesk(date="2009-03-20")
    log_in(s, 25, "Ann Lee")  # the unpaid fine is not mentioned
    leave(s)
    shop.assert_files()


def test_the_day_after_a_renewal_is_sold_with_the_fine(data_dir, rentdesk):
    shop = Shop(data_dir)
    ann = shop.put(ANN)
    shop.write()
    s = rentdesk(date="2009-03-21")
    start_login(s, 25)
    expect(s, INFO + RENEWAL)
    refused = ("many", "-1", "1201", "99999999999")  # months run from 0 to 1200
    for typed in refused:
        s.type_line(typed)
        s.wait_for(typed + "\n" + MONTHS_AGAIN)
    s.type_line("2")
    dismiss(s, renewal_total("".join(t + "\n" + MONTHS_AGAIN for t in refused) + "2", 415))
    answer(s, True, PAID)
    dismiss(s, info("\n\n\n Client paid!\n The user is now logged into the system"))
    dismiss(s, NOTHING_TO_RETURN)
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    leave(s)
    shop.change(Client, ann, fine=0, months=2, subdate=Date(2009, 3, 21))
    shop.assert_files()


def test_esc_at_the_payment_starts_over_and_no_refuses_the_login(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    s = rentdesk(date="2009-04-02")
    start_login(s, 25)
    expect(s, INFO + RENEWAL)
    s.type_line("1200")
    dismiss(s, renewal_total(1200, 240015))
    answer(s, ESC, PAID)
    expect(s, LOGIN + ID_PROMPT)
    s.type_line("25")
    expect(s, INFO + RENEWAL)
    s.type_line("0")
    dismiss(s, renewal_total(0, 15))
    answer(s, False, PAID)
    dismiss(s, info("\n\n\n Client did not paid\n The Client can't be logged into the system"))
    assert menu_client_line(s) + "\n" == NOBODY
    leave(s)
    shop.assert_files()


# ---------------------------------------------------------------- return at login

HEAT = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3, rented=1)
HEAT_2 = Movie(name="Heat", id=100, copy=2, diskstatus=9, rentdays=3)


def rented_to_ann(data_dir, rentdate, fine=15):
    """Ann holds copy 1 of Heat rented for 3 days; answers the shop and the
    slots of Ann and of the copy."""
    shop = Shop(data_dir)
    ann = shop.put(ANN.replace(subdate=Date(2009, 3, 1), fine=fine))
    copy = shop.put(HEAT)
    shop.put(HEAT_2, Rent(client=25, rentdate=rentdate, movie=100, copy=1, rentdays=3))
    return shop, ann, copy


def bring_back(s, reply=True):
    """Logs Ann in; she has a disk and brings it (or says No, or Esc)."""
    start_login(s, 25)
    dismiss(s, LOGGED_IN)
    dismiss(s, MUST_RETURN)
    answer(s, reply, RETURN_QUESTION)


def take_back(rentdesk, shop, copy, status, notice=None, wrong=()):
    """Ann brings her disk back on 20 March: the call notice when the copy
    passes on, the disk rated `status` after the wrong answers given, the
    program left; the models change as the files should (the rental goes,
    the copy is free, or held when it passed on)."""
    shop.write()
    s = rentdesk(date="2009-03-20")
    bring_back(s)
    if notice:
        dismiss(s, notice)
    expect(s, INFO + "\n\n" + DISK_QUESTION)
    for typed in wrong:  # asked again on a screen of its own
        s.type_line(typed)
        expect(s, INFO + DISK_AGAIN)
    s.type_line(str(status))
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    leave(s)
    shop.delete(Rent, 25)
    shop.change(Movie, copy, diskstatus=status, rented=0, saved=int(notice is not None))
    return s


@pytest.mark.parametrize("owed, owes_then", [(15, 50), (2**31 - 11, 2**31 - 1)])
def test_a_disk_kept_leaves_the_rental_open_and_a_late_return_books_the_fine_silently(
        data_dir, rentdesk, owed, owes_then):
    shop, ann, copy = rented_to_ann(data_dir, Date(2009, 3, 10), fine=owed)
    shop.write()
    s = rentdesk(date="2009-03-20")
    for reply in (False, ESC):
        bring_back(s, reply)
        if reply is False:
            dismiss(s, info("\n\n\n The client Dont have the movie that he rented", "\n The "
                            "client can't rent another movie but he can reserve a rented copy"))
        assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
        choose(s, 2)
    leave(s)
    shop.assert_files()
    s = take_back(rentdesk, shop, copy, 1)
    assert "35" not in s.transcript() and str(owes_then) not in s.transcript()
    shop.change(Client, ann, fine=owes_then)  # 35 more, held at the largest amount
    shop.assert_files()


def test_a_return_on_time_leaves_the_client_untouched_and_a_later_reservation_waiting(
        data_dir, rentdesk):
    # The reservation was made on a clock that ran ahead: the copy comes back free.
    shop, ann, copy = rented_to_ann(data_dir, Date(2009, 3, 17))
    shop.put(Reserve(client=32, movie=100, callnotice=1, resdate=Date(2009, 3, 21)))
    take_back(rentdesk, shop, copy, 10)
    shop.assert_files()


def test_a_returned_copy_goes_to_the_oldest_reservation_before_the_disk_is_rated(
        data_dir, rentdesk):
    shop, ann, copy = rented_to_ann(data_dir, Date(2009, 3, 17))
    shop.client(31, "Ben", "Ross", "2009-03-01", phone=541112233)
    shop.client(32, "Rina", "Katz", "2009-03-01", phone=521234567)
    shop.put(Reserve(client=31, movie=100, callnotice=1, resdate=Date(2009, 3, 15)),
             Reserve(client=32, movie=100, callnotice=1, resdate=Date(2009, 3, 12)),
             Reserve(client=31, movie=200, callnotice=1, resdate=Date(2009, 3, 1)))
    take_back(rentdesk, shop, copy, 6, returned_notice(521234567, "Rina Katz", "Heat"),
              wrong=("0", "11", "-3", "good"))
    shop.delete(Reserve, 100, lambda r: r.client == 32)
    shop.put(Saved(client=32, movie=100, copy=1, savedate=Date(2009, 3, 20)))
    shop.assert_files()


def test_a_reservation_of_a_client_no_longer_on_file_gets_a_notice_without_name(
        data_dir, rentdesk):
    shop, _, copy = rented_to_ann(data_dir, Date(2009, 3, 17))
    shop.put(Reserve(client=77, movie=100, callnotice=1, resdate=Date(2009, 3, 18)))
    take_back(rentdesk, shop, copy, 3, RETURNED_HEADING + "\n\n The movie name is:Heat\n\n "
              "The movie will be saved for 7 days" + PRESS)
    shop.delete(Reserve, 100)
    shop.put(Saved(client=77, movie=100, copy=1, savedate=Date(2009, 3, 20)))
    shop.assert_files()
