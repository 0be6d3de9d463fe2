"""Bad input at every kind of prompt: each kind of input is tried on several
prompts of the real program, and each is refused (asked again) or taken
safely. The screens show one answer refused once, never a prompt that runs
on by itself, and the data files end up holding only valid values."""

from harness import Client, Date, Movie, Rent
from shop import (ADDRESS, ADD_OR_REMOVE_CLIENT, ADD_OR_REMOVE_MOVIE, CAN_RENT, CLIENT_ADDED,
                  CONTINUE, COPY_NOT_FOUND, COPY_PROMPT, DAYS_PROMPT, DELETE_COPY, DISK_QUESTION,
                  FIRST, ID_PROMPT, INFO, INSERT_BANNER, INSERT_CLIENT, LAST, LOGGED_IN, LOGIN,
                  MONTHS, MONTHS_AGAIN, MOVIE_FOUND, MOVIE_ID_PROMPT, NAME_PROMPT, NEW_ID, NO,
                  NOTHING_TO_RETURN, NOT_FOUND, NOT_FOUND_ID, OFFLINE, OFFLINE_NOT_FOUND, PHONE,
                  PRESS, REMOVE_BANNER, REMOVE_ID, REMOVE_LOGIN, REMOVE_MOVIE_ID, RENEWAL,
                  RENT_QUESTION, SEARCH, SEARCH_AGAIN, STATUS_AGAIN, STATUS_PROMPT, YES, Shop,
                  answer, choose, dismiss, expect, expect_dialog, finish_login, info, leave,
                  log_in, menu_client_line)

TODAY = "2009-03-20"
ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 3, 1),
             phone=5551234, months=1)
HEAT = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3)


# ---------------------------------------------------------------- steps


def shown(typed: str) -> str:
    """A typed line as the terminal echoes it: the ESC of a key as ^[."""
    return typed.replace("\x1b", "^[") + "\n"


def refuse(s, prompt: str, *answers: str) -> str:
    """Waits for prompt, then types each answer there, each refused with the
    prompt printed once more; answers the text they add to the screen."""
    s.wait_for(prompt)
    added = ""
    for a in answers:
        s.type_line(a)
        s.wait_for(prompt)
        added += shown(a) + prompt
    return added


def open_desk(s, entry: int, question: str, yes: bool, first_screen: str) -> str:
    """Menu entry, the desk's first dialog answered, up to its first prompt;
    answers that screen."""
    choose(s, entry)
    answer(s, yes, question)
    return expect(s, first_screen).text


def add_client_screen(s) -> str:
    return open_desk(s, 5, ADD_OR_REMOVE_CLIENT, True, INSERT_CLIENT + NEW_ID)


def add_movie_screen(s) -> str:
    return open_desk(s, 6, ADD_OR_REMOVE_MOVIE, True, INSERT_BANNER + MOVIE_ID_PROMPT)


def remove_movie_screen(s) -> str:
    return open_desk(s, 6, ADD_OR_REMOVE_MOVIE, False, REMOVE_BANNER + REMOVE_MOVIE_ID)


def decline_available_copy(s, title: str) -> None:
    """Online search: title finds a copy to rent; the client declines and
    searches no more."""
    s.type_line(title)
    dismiss(s, CAN_RENT)
    answer(s, NO, RENT_QUESTION)
    answer(s, NO, CONTINUE)


def added_today(id: int, fname: str, lname: str, address: str, phone: int = 541234567,
                months: int = 1) -> Client:
    """A client as the desk stores one added today."""
    return Client(id=id, fname=fname, lname=lname, address=address, subdate=Date(2009, 3, 20),
                  phone=phone, months=months)


def first_copy(name: str, id: int, days: int, status: int) -> Movie:
    """The first copy of a new movie, as the desk stores it."""
    return Movie(name=name, id=id, copy=1, diskstatus=status, rentdays=days)


def assert_stored(shop, *added) -> None:
    """Puts the added records into the shop's models, then asserts that the
    files are the models byte for byte: nothing invalid was stored."""
    for rec in added:
        shop.put(rec)
    shop.assert_files()


# ---------------------------------------------------------------- empty lines


def test_an_empty_line_is_asked_again_and_finds_no_title(data_dir, rentdesk):
    shop = Shop(data_dir)
    s = rentdesk(date=TODAY)

    screen = add_client_screen(s)
    screen += refuse(s, NEW_ID, "", "   ") + "40\n" + FIRST
    s.type_line("40")
    screen += refuse(s, FIRST, "") + "Dana\n" + LAST
    s.type_line("Dana")
    s.wait_for(LAST)
    s.type_line("Levi")
    screen += "Levi\n" + ADDRESS + refuse(s, ADDRESS, "\t") + "Acre\n" + PHONE
    s.type_line("Acre")
    screen += refuse(s, PHONE, "") + "541234567\n" + MONTHS
    s.type_line("541234567")
    screen += refuse(s, MONTHS, " ")
    expect(s, screen)
    s.type_line("1")
    dismiss(s, CLIENT_ADDED)

    screen = add_movie_screen(s) + refuse(s, MOVIE_ID_PROMPT, "")
    expect(s, screen)
    s.type_line("12")
    expect(s, INSERT_BANNER + NAME_PROMPT)
    screen = (INSERT_BANNER + NAME_PROMPT + refuse(s, NAME_PROMPT, "", "   ") + "Heat\n"
              + DAYS_PROMPT)
    s.type_line("Heat")
    screen += refuse(s, DAYS_PROMPT, "") + "3\n" + STATUS_PROMPT
    s.type_line("3")
    expect(s, screen)
    s.type_line("")
    expect(s, STATUS_AGAIN)
    s.type_line("8")

    choose(s, 1)
    expect(s, LOGIN + ID_PROMPT + refuse(s, ID_PROMPT, ""))
    s.type_line("40")
    finish_login(s, "Dana Levi")

    choose(s, 3)
    expect(s, SEARCH)
    s.type_line("")
    dismiss(s, NOT_FOUND)
    answer(s, NO, CONTINUE)

    choose(s, 2)
    choose(s, 3)
    expect(s, OFFLINE)
    s.type_line("")
    dismiss(s, OFFLINE_NOT_FOUND)
    answer(s, NO, SEARCH_AGAIN)
    leave(s)

    assert_stored(shop, added_today(40, "Dana", "Levi", "Acre"),
                  first_copy("Heat", 12, days=3, status=8))


# ---------------------------------------------------------------- letters for numbers


def test_letters_for_a_number_are_asked_again_and_a_number_takes_only_its_line(data_dir,
                                                                                 rentdesk):
    shop = Shop(data_dir)
    ann = shop.put(ANN.replace(subdate=Date(2009, 2, 1)))  # ran out on 1 March
    copy1 = shop.put(HEAT.replace(rented=1))
    shop.put(HEAT.replace(copy=2))
    shop.put(Rent(client=25, rentdate=Date(2009, 3, 18), movie=100, copy=1, rentdays=3))
    shop.write()
    s = rentdesk(date=TODAY)

    choose(s, 1)
    expect(s, LOGIN + ID_PROMPT + refuse(s, ID_PROMPT, "abc", "x7"))
    s.type_line("99 25")  # 99 is nobody; the 25 after it answers nothing
    answer(s, YES, NOT_FOUND_ID)
    expect(s, LOGIN + ID_PROMPT)
    assert s.wait_quiet().text == LOGIN + ID_PROMPT
    s.type_line("25")
    expect(s, INFO + RENEWAL + refuse(s, MONTHS_AGAIN, "two"))
    s.type_line("2 months")
    dismiss(s, INFO + RENEWAL + "two\n" + MONTHS_AGAIN + "2 months\n"
           "\n The client have to pay penalty in sum of: 0"
           "\n The total sum combine the fine and the new subscription: 400" + PRESS)
    answer(s, YES, " Do the client paid Y/N")
    dismiss(s, info("\n\n\n Client paid!", "\n The user is now logged into the system"))
    dismiss(s, info("\n\n\n The client need to return movie"))
    answer(s, YES, " Does the client has the movie to return? Y/N")
    expect(s, INFO + "\n\n" + DISK_QUESTION)
    s.type_line("good")
    expect(s, STATUS_AGAIN)
    s.type_line("7/10")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"

    choose(s, 2)
    remove_movie_screen(s)
    expect(s, REMOVE_BANNER + REMOVE_MOVIE_ID + refuse(s, REMOVE_MOVIE_ID, "Heat"))
    s.type_line("100")
    dismiss(s, MOVIE_FOUND)
    answer(s, YES, DELETE_COPY)
    expect(s, REMOVE_BANNER + COPY_PROMPT + refuse(s, COPY_PROMPT, "second"))
    s.type_line("2")
    dismiss(s, info("\n\n\n The copy has been deleted"))
    leave(s)

    shop.change(Client, ann, fine=0, months=2, subdate=Date(2009, 3, 20))
    shop.change(Movie, copy1, rented=0, diskstatus=7)
    shop.delete(Movie, 100, lambda m: m.copy == 2)
    shop.delete(Rent, 25)
    assert_stored(shop)


# ---------------------------------------------------------------- numbers beyond 32 bits


def test_numbers_beyond_32_bits_are_asked_again_never_wrapped(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    s = rentdesk(date=TODAY)

    screen = add_client_screen(s)
    screen += refuse(s, NEW_ID, "2147483648", "99999999999999999999", "-2147483649")
    s.type_line("2147483647")
    s.wait_for(FIRST)
    s.type_line("Max")
    s.wait_for(LAST)
    s.type_line("Int")
    s.wait_for(ADDRESS)
    s.type_line("Eilat")
    s.wait_for(PHONE)
    screen += ("2147483647\n" + FIRST + "Max\n" + LAST + "Int\n" + ADDRESS + "Eilat\n" + PHONE
               + refuse(s, PHONE, "05412345678"))
    s.type_line("2147483647")
    s.wait_for(MONTHS)
    screen += "2147483647\n" + MONTHS + refuse(s, MONTHS, "4294967297")
    expect(s, screen)
    s.type_line("0")
    dismiss(s, CLIENT_ADDED)

    screen = add_movie_screen(s) + refuse(s, MOVIE_ID_PROMPT, "4294967396")
    expect(s, screen)
    s.type_line("5")
    s.wait_for(NAME_PROMPT)
    s.type_line("Up")
    s.wait_for(DAYS_PROMPT)
    expect(s, INSERT_BANNER + NAME_PROMPT + "Up\n" + DAYS_PROMPT
           + refuse(s, DAYS_PROMPT, "2147483648"))
    s.type_line("3")
    s.wait_for(STATUS_PROMPT)
    s.type_line("4294967301")  # 2^32 + 5
    expect(s, STATUS_AGAIN)
    s.type_line("5")

    choose(s, 1)
    # 2^32 + 25 is not client 25: asked again, not logged in.
    expect(s, LOGIN + ID_PROMPT + refuse(s, ID_PROMPT, "4294967321"))
    s.type_line("2147483647")
    finish_login(s, "Max Int")
    leave(s)

    assert_stored(shop, added_today(2147483647, "Max", "Int", "Eilat", phone=2147483647, months=0),
                  first_copy("Up", 5, days=3, status=5))


# ---------------------------------------------------------------- ids of zero and below


def test_ids_of_zero_and_below_are_never_stored_nor_found(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.put(ANN.replace(id=38))
    shop.delete(Client, 38)  # a deleted slot, key -1, must not be found by -1
    shop.put(HEAT)
    shop.put(HEAT.replace(id=200))
    shop.delete(Movie, 200)
    shop.write()
    s = rentdesk(date=TODAY)

    choose(s, 1)
    expect(s, LOGIN + ID_PROMPT)
    for typed in ("0", "-1"):
        s.type_line(typed)
        answer(s, typed == "0", NOT_FOUND_ID)
        if typed == "0":
            expect(s, LOGIN + ID_PROMPT)

    screen = add_client_screen(s) + refuse(s, NEW_ID, "0", "-1", "-25", "+0")
    expect(s, screen)
    s.type_line("26")
    for prompt, typed in ((FIRST, "Noa"), (LAST, "Gal"), (ADDRESS, "Eilat"),
                          (PHONE, "541111111"), (MONTHS, "1")):
        s.wait_for(prompt)
        s.type_line(typed)
    dismiss(s, CLIENT_ADDED)

    choose(s, 5)
    answer(s, NO, ADD_OR_REMOVE_CLIENT)
    expect(s, REMOVE_LOGIN + REMOVE_ID + refuse(s, REMOVE_ID, "0", "-1"))
    s.type_line("38")
    dismiss(s, info("\n\n\n Client wasn't found!"))
    answer(s, NO, " Continue searching for another client to delete? Y/N")

    expect(s, add_movie_screen(s) + refuse(s, MOVIE_ID_PROMPT, "0", "-1"))
    s.type_line("100")
    dismiss(s, info("\n\n\n Movie ID already exists!..."))
    answer(s, NO, " Do you want to add a copy of the movie? Y/N")

    for copy in ("0", "-1"):  # no copy has such a number, not even a blank slot
        screen = remove_movie_screen(s)
        if copy == "0":
            screen += refuse(s, REMOVE_MOVIE_ID, "0", "-1")
            expect(s, screen)
        s.type_line("100")
        dismiss(s, MOVIE_FOUND)
        answer(s, YES, DELETE_COPY)
        expect(s, REMOVE_BANNER + COPY_PROMPT)
        s.type_line(copy)
        dismiss(s, COPY_NOT_FOUND)
    leave(s)

    assert_stored(shop, added_today(26, "Noa", "Gal", "Eilat", phone=541111111))


# ---------------------------------------------------------------- text longer than its field


def offline_search(s, title: str) -> None:
    choose(s, 3)
    expect(s, OFFLINE)
    s.type_line(title)


def listing(name: str, id: int, days: int, status: int) -> str:
    """The offline search's page for a title of one copy, neither rented nor held."""
    return (f"\n Movie name:{name}---Movie catalog ID:{id}---Days to Rent:{days}\n"
            f"\n Copy number:1---Disk status:{status}\n The copy isn't rented"
            "\n The copy isn't saved\n\n" + PRESS)


def add_client(s, id: str, *words: str) -> None:
    """Adds a client from the menu: id, three words, phone and months typed
    in turn, each after its prompt."""
    add_client_screen(s)
    for prompt, typed in zip((NEW_ID, FIRST, LAST, ADDRESS, PHONE, MONTHS), (id, *words)):
        s.wait_for(prompt)
        s.type_line(typed)
    dismiss(s, CLIENT_ADDED)


def add_movie(s, id: str, name: str, days: str, status: str) -> None:
    add_movie_screen(s)
    for prompt, typed in zip((MOVIE_ID_PROMPT, NAME_PROMPT, DAYS_PROMPT, STATUS_PROMPT),
                             (id, name, days, status)):
        s.wait_for(prompt)
        s.type_line(typed)
    menu_client_line(s)


def test_text_longer_than_its_field_is_cut_without_splitting_a_character(data_dir, rentdesk):
    shop = Shop(data_dir)
    s = rentdesk(date=TODAY)
    add_client(s, "50", "Bartholomew-Jones", "Jean-Pierré", "x" * 300, "541234567", "1")
    long_title = "Ça ira, ça ira, ça ira"  # its second ç takes bytes 19 and 20
    add_movie(s, "60", long_title, "2", "9")

    offline_search(s, long_title)  # the whole title is longer than any stored one
    dismiss(s, OFFLINE_NOT_FOUND)
    answer(s, YES, SEARCH_AGAIN)
    expect(s, OFFLINE)
    s.type_line("y" * 300)
    dismiss(s, OFFLINE_NOT_FOUND)
    answer(s, YES, SEARCH_AGAIN)
    expect(s, OFFLINE)
    s.type_line("Ça ira, ça ira, ")
    dismiss(s, listing("Ça ira, ça ira, ", 60, 2, 9))

    log_in(s, "50", "Bartholomew Jean-Pierr")
    choose(s, 3)
    expect(s, SEARCH)
    s.type_line(long_title)
    dismiss(s, NOT_FOUND)
    answer(s, YES, CONTINUE)
    expect(s, SEARCH)
    decline_available_copy(s, "Ça ira, ça ira, ")
    leave(s)

    assert_stored(shop, added_today(50, "Bartholomew", "Jean-Pierr", "x" * 11),
                  first_copy("Ça ira, ça ira, ", 60, days=2, status=9))


# ---------------------------------------------------------------- control characters and UTF-8


def test_control_characters_are_dropped_and_utf8_is_kept_in_names_and_titles(data_dir,
                                                                              rentdesk):
    shop = Shop(data_dir)
    s = rentdesk(date=TODAY)
    screen = add_client_screen(s)
    s.type_line("70")
    # Backspace takes back a whole é; a tab ends the word like a blank.
    s.wait_for(FIRST)
    s.type_line("Zoé\x7f\x7foë\tSmith")
    # A word of control characters only (typed after Ctrl-V) is no word.
    screen += "70\n" + FIRST + "Zoé\b \b\b \boë\tSmith\n" + LAST
    s.wait_for(LAST)
    s.type_line("\x16\x01")
    s.wait_for("^A\n" + LAST)
    screen += "^\b^A\n" + LAST
    s.type_line("Wójcik\u009b")  # a C1 control (CSI) after the name
    s.wait_for(ADDRESS)
    s.type_line("\x16\x01Ha\x16\x07ifa")
    screen += "Wójcik\u009b\n" + ADDRESS + "^\b^AHa^\b^Gifa\n" + PHONE
    expect(s, screen)
    s.type_line("541234567")
    s.wait_for(MONTHS)
    s.type_line("1")
    dismiss(s, CLIENT_ADDED)

    add_movie_screen(s)
    s.type_line("80")
    expect(s, INSERT_BANNER + NAME_PROMPT)
    s.type_line("Amélie\x16\x01")
    s.wait_for(DAYS_PROMPT)
    s.type_line("2")
    expect(s, INSERT_BANNER + NAME_PROMPT + "Amélie^\b^A\n" + DAYS_PROMPT + "2\n" + STATUS_PROMPT)
    s.type_line("9")
    offline_search(s, "Amélie")
    dismiss(s, listing("Amélie", 80, 2, 9))

    log_in(s, "70", "Zoë Wójcik")
    choose(s, 3)
    expect(s, SEARCH)
    decline_available_copy(s, "Amélie")
    leave(s)

    assert_stored(shop, added_today(70, "Zoë", "Wójcik", "Haifa"),
                  first_copy("Amélie", 80, days=2, status=9))


# ---------------------------------------------------------------- keys pressed while typing


def test_arrow_and_function_keys_pressed_while_typing_leave_nothing_in_the_answer(data_dir,
                                                                                 rentdesk):
    shop = Shop(data_dir)
    s = rentdesk(date=TODAY)
    up, down, left, right = "\x1b[A", "\x1b[B", "\x1b[D", "\x1b[C"
    f1, f2, f5, delete, console_f1 = "\x1bOP", "\x1bOQ", "\x1b[15~", "\x1b[3~", "\x1b[[A"

    screen = add_client_screen(s) + refuse(s, NEW_ID, up)  # a key alone is no answer
    for typed, next_prompt in (("4" + left + "2", FIRST), ("Ann" + left + left + "a", LAST),
                               (f5 + "Lee" + f1, ADDRESS), (delete + "Elm", PHONE),
                               (down + "541234567", MONTHS)):
        s.type_line(typed)
        s.wait_for(next_prompt)
        screen += shown(typed) + next_prompt
    expect(s, screen)
    s.type_line(right + "1")
    dismiss(s, CLIENT_ADDED)

    add_movie(s, console_f1 + "9", "Heat" + left + left, "3" + up, f2 + "8")
    offline_search(s, up + "Heat")
    dismiss(s, listing("Heat", 9, 3, 8))

    log_in(s, "42" + down, "Anna Lee")
    leave(s)

    assert_stored(shop, added_today(42, "Anna", "Lee", "Elm"),
                  first_copy("Heat", 9, days=3, status=8))


# ---------------------------------------------------------------- keys and typed text out of place


def send_keys(s, data: str) -> None:
    """Sends the bytes of keys as they are, once the program reads keys (a
    screen is drawn before the terminal leaves line mode)."""
    s._await_mode(line=False, what=repr(data))
    s.send(data)


def assert_no_reaction(s, data: str) -> None:
    """Sends keys to a screen that waits for keys; nothing may be drawn."""
    send_keys(s, data)
    s.wait_quiet()
    assert s.output_since_send() == b""


def test_keys_at_typed_prompts_and_typed_text_at_key_prompts(data_dir, rentdesk):
    shop = Shop(data_dir)
    shop.put(ANN)
    shop.write()
    before = data_dir.snapshot()
    s = rentdesk(date=TODAY)
    menu_client_line(s)

    # At the menu, letters, digits, a UTF-8 letter, Tab, Left, Right and a
    # function key do nothing; the Enter that ends a typed line chooses.
    assert_no_reaction(s, "abc5é\t\x1b[D\x1b[C\x1b[15~")
    send_keys(s, "15\r")
    expect(s, LOGIN + ID_PROMPT)

    # At a typed prompt, Esc and Tab alone are no answer; Ctrl-U takes back
    # what was typed on the line.
    screen = LOGIN + ID_PROMPT + refuse(s, ID_PROMPT, "\x1b", "\t")
    expect(s, screen)
    s.type_line("12\x1599")
    expect_dialog(s, NOT_FOUND_ID)

    # The dialog ignores letters, a UTF-8 letter and Tab.
    assert_no_reaction(s, "yn\té")
    answer(s, YES)
    expect(s, LOGIN + ID_PROMPT)
    s.type_line("25")

    # A key wait takes a function key, and then a UTF-8 letter, as one key each.
    expect(s, LOGGED_IN)
    send_keys(s, "\x1b[15~")
    expect(s, NOTHING_TO_RETURN)
    assert s.wait_quiet().text == NOTHING_TO_RETURN
    send_keys(s, "é")
    assert menu_client_line(s) == "The client: ' Ann Lee ' is connected to the system"
    assert s.wait_quiet().highlighted_boxes() == ["Client Login"]
    leave(s)
    data_dir.assert_unchanged(before)
