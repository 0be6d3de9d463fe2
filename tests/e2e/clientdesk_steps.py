"""Screens and clerk's steps shared by the client-desk sessions: the texts the
desk shows, byte for byte, and the moves through the main menu."""

INFO = "\n         ******************Information Message****************** \n"
LOGIN = "\n         ******************Client Login****************** \n"
INSERT_CLIENT = "\n         ******************Insert New Client****************** \n"
REMOVE_LOGIN = "\n         ******************Remove Login****************** \n"
CALL_NOTICE = "\n         ******************Client Saved Movie Call Notice****************** \n"
PRESS = "\n\n Press any key to continue"
DISK_QUESTION = "\n What is the status of the disk(insert number from 1-10)\n"
DISK_AGAIN = "\n\n\n Insert again a number from 1 to 10\n" + DISK_QUESTION
ID_PROMPT = "\n Insert ID number \n"
PAID_QUESTION = (" Did the client paid the fine?\n\n Yes if the client paid\n"
                 " No or ESC if he didn't")

# Login and the return of a disk right after it.
LOGGED_IN = INFO + "\n\n\n The member subscription is ok\n The user is now logged into the system"
RENEWAL = ("\n\n\n The client has to pay for new subscription.\n"
           "Insert number of months for new subscription!\n")
NOTHING_TO_RETURN = INFO + "\n\n\n The client don't need to return movie" + PRESS
RETURN_QUESTION = " Does the client has the movie to return? Y/N"

# Adding and removing clients.
CHOICE = " Do you want to add client?\n\n Yes to add.\n No to remove.\n ESC for cancel."
HAS_DISK = " Do the client has the movie he has to return? Y/N"
REMOVE_PROMPT = " Insert client ID number to delete!\n"
DELETED = INFO + "\n\n\n The client was deleted from database." + PRESS

INDENT = " " * 30
BOX_TOP = " __________\n"


def dialog(question: str) -> str:
    """The yes/no dialog as it first appears."""
    return ("\n               ******************Information Message****************** \n"
            "\n\n                 " + question + "\n\n"
            + INDENT + BOX_TOP + INDENT + "|____yes___|\n\n"
            + INDENT + BOX_TOP + INDENT + "|____no____|\n\n")


def returned_notice(phone: int, fname: str, lname: str, title: str) -> str:
    """The call notice for a reserving client when a disk comes back."""
    return (CALL_NOTICE
            + "\n\n Another client reserved the returned movie!"
            + "\n The other client asked for call notice."
            + "\n Please call the client about the movie."
            + f"\n\n The phone number of the client is:0{phone}\n"
            + f"\n The name of the client is:'{fname} {lname}'\n"
            + f"\n\n The movie name is:{title}\n"
            + "\n The movie will be saved for 7 days" + PRESS)


def expect(s, text: str):
    """Waits until the last line of text is shown, then asserts the whole
    screen is text; answers the screen."""
    body = text.rstrip("\n")
    screen = s.wait_for(body[body.rfind("\n") + 1:] + text[len(body):])
    if screen.text != text:
        screen = s.wait_quiet()  # the rest of it may still be on its way
    assert screen.text == text
    return screen


def expect_dialog(s, question: str):
    screen = expect(s, dialog(question))
    assert screen.highlighted_boxes() == ["yes"]


def menu_client_line(s) -> str:
    """Waits for the main menu and answers its line about the connected client."""
    screen = s.wait_for(" is connected to the system\n")
    return next(line for line in screen.lines if "connected to the system" in line)


def choose(s, entry: int) -> None:
    """Chooses an entry of the main menu (1 Client Login ... 7 Exit). Each
    move of the highlight is drawn in full before the next key, so a late
    redraw cannot pass for the menu shown after the entry's operation."""
    menu_client_line(s)
    for _ in range(entry - 1):
        s.key("down")
        menu_client_line(s)
    s.key("enter")


def answer(s, yes: bool) -> None:
    """Answers the dialog on the screen: Enter on yes, or Down and Enter on no."""
    if yes:
        s.key("enter")
    else:
        s.keys("down", "enter")


def log_in(s, client_id: int) -> None:
    """Chooses Client Login and types the client's id at its prompt."""
    choose(s, 1)
    expect(s, LOGIN + ID_PROMPT)
    s.type_line(str(client_id))


def start_removal(s, client_id: int) -> None:
    """Chooses Add/Remove Client, answers No (remove) and types the id."""
    choose(s, 5)
    expect_dialog(s, CHOICE)
    answer(s, yes=False)
    expect(s, REMOVE_LOGIN + REMOVE_PROMPT)
    s.type_line(str(client_id))


def leave(s) -> None:
    """Ends the program from the main menu with Esc; its files are closed then."""
    menu_client_line(s)
    s.key("esc")
    assert s.wait_exit() == 1


def put(data_dir, rec_type, *records):
    """Writes the records into the folder's file of their type, placed as the
    program places them; answers the model of the file."""
    table = data_dir.table(rec_type)
    for r in records:
        table.insert(r)
    data_dir.write(table)
    return table


def change(table, key: int, **changes) -> None:
    """Changes fields of the first record of key in a model."""
    slot = table.find(key)
    table.records[slot] = table.records[slot].replace(**changes)
