"""What the desk sessions share: the program's screen texts byte for byte,
the clerk's moves through the menu and the dialogs, and a model of the five
data files to prepare them and to compute the expected ones."""

from harness import Client, Date, Movie, Rent, Reserve, Saved

INFO = "\n         ******************Information Message****************** \n"
CALL_NOTICE = "\n         ******************Client Saved Movie Call Notice****************** \n"
PRESS = "\n\n Press any key to continue"
NOBODY = "No client is connected to the system\n"
INDENT = " " * 30
YES, NO, ESC = True, False, "esc"  # the answers of a yes/no dialog


def info(*lines):
    """A message screen: banner, the lines, the key prompt."""
    return INFO + "".join(lines) + PRESS


def dialog(question):
    """The yes/no dialog asking question."""
    box = INDENT + " __________\n" + INDENT
    return ("\n               ******************Information Message****************** \n"
            "\n\n                 " + question + "\n\n"
            + box + "|____yes___|\n\n" + box + "|____no____|\n\n")


def connected(name):
    return f"The client: ' {name} ' is connected to the system\n"


def open_failure(name):
    return f"Error opening input file \\{name}!  End of program..\n"


# Client login, and the return of a disk right after it.
LOGIN = "\n         ******************Client Login****************** \n"
ID_PROMPT = "\n Insert ID number \n"
NOT_FOUND_ID = " ID wasn't found search again?\n Enter Y/N"
LOGGED_IN = INFO + "\n\n\n The member subscription is ok\n The user is now logged into the system"
RENEWAL = ("\n\n\n The client has to pay for new subscription.\n"
           "Insert number of months for new subscription!\n")
MONTHS_AGAIN = "\nInsert number of months for new subscription!\n"
NOTHING_TO_RETURN = info("\n\n\n The client don't need to return movie")
MUST_RETURN = info("\n\n\n The client need to return movie")
RETURN_QUESTION = " Does the client has the movie to return? Y/N"
DISK_QUESTION = "\n What is the status of the disk(insert number from 1-10)\n"
DISK_AGAIN = "\n\n\n Insert again a number from 1 to 10\n" + DISK_QUESTION

# Adding and removing clients.
ADD_OR_REMOVE_CLIENT = (" Do you want to add client?\n\n Yes to add.\n No to remove.\n"
                        " ESC for cancel.")
INSERT_CLIENT = "\n         ******************Insert New Client****************** \n"
NEW_ID = "\n\n\n Insert identification number\n"
FIRST = "\n Insert client first name\n"
LAST = "\n Insert client last name\n"
ADDRESS = "\n Insert client adrress\n"
PHONE = "\n Insert client phone number(without bar's!)\n"
MONTHS = "\n How many months the client want to subscribe?\n"
CLIENT_ADDED = info("\n\n\n Client was added to database.")
REMOVE_LOGIN = "\n         ******************Remove Login****************** \n"
REMOVE_ID = " Insert client ID number to delete!\n"
HAS_DISK = " Do the client has the movie he has to return? Y/N"
PAID_QUESTION = (" Did the client paid the fine?\n\n Yes if the client paid\n"
                 " No or ESC if he didn't")
DELETED = info("\n\n\n The client was deleted from database.")

# Adding and removing movies.
ADD_OR_REMOVE_MOVIE = " Do you want to add movie?\n\n Yes to add.\n No to remove.\n ESC for cancel."
ADD_COPY = " Do you want to add a copy of the movie? Y/N"
INSERT_BANNER = "\n         ******************Insert New Movie****************** \n"
MOVIE_ID_PROMPT = "\n insert movie ID: \n"
NAME_PROMPT = "\n\n\n insert movie name: \n "
DAYS_PROMPT = "\n insert days to rent:\n "
STATUS_PROMPT = "\n Insert disk status: \n "
STATUS_AGAIN = INFO + DISK_AGAIN
REMOVE_BANNER = "\n         ******************Remove Existing Movie****************** \n"
REMOVE_MOVIE_ID = "\n\n\n Insert movie ID for remove:\n "
COPY_PROMPT = "\n\n\n Insert copy number to delete\n"
MOVIE_FOUND = INFO + "\n\n\n The movie is in the database\n\n Press any key to continue "
DELETE_COPY = (" Do you want to delete a copy?\n\n Yes to delete a copy.\n"
               " No or ESC to go back to manu.")
COPY_DELETED = info("\n\n\n The copy has been deleted")
COPY_NOT_FOUND = info("\n\n\n The copy wasn't found in the catalog",
                      "\n Go to offline search for information about copyes",
                      "\n Exiting to main manu")

# The offline search of the catalogue.
OFFLINE = ("\n         ******************Offline Search In Catalog****************** \n"
           "\n\n\n Insert movie name \n")
OFFLINE_NOT_FOUND = info("\n\n\n The movie wasn't found in database\n")
SEARCH_AGAIN = (" Do you want to search another movie?\n\n Yes to search again.\n"
                " No or ESC to go back to main manu.")

# The online search of a connected client.
SEARCH = ("\n         ******************Online Search In Catalog****************** \n"
          "\n Insert movie name \n")
NOT_FOUND = info("\n\n\n Copy of the movie movie not found!")
CONTINUE = " Continue searching? Y/N"
RENT_QUESTION = " The client wants to rent this movie? Y/N"
RESERVE_QUESTION = " The client can't rent this movie\n Continue reserving movie? Y/N"
CALL_QUESTION = " Is the client wants call notice? Y/N"
TAKE_QUESTION = (" Do you want to take the saved movie?\n\n Press Yes to take movie\n"
                 " Press ESC or No to cancel saving")
CAN_RENT = info("\n\n\n The movie is not ranted ", "\n The client can rent this movie")
RENTED = info("\n\n\n The movie is now ranted to the client!")
NOT_AVAILABLE = info("\n\n\n The Movie is not avaliable for renting! \n",
                     "\n The client can reserve the movie.")
RESERVED = info("\n\n\n The movie has been resereved for the client!\n ",
                "\n When the movie is avaliable it will be saved for the client.")
CAN_TAKE = info("\n\n\n The movie is saved for the client!",
                "\n The client can take the movie or not.")


def held_detail(name, movie, copy):
    return f"\n Movie Detail:\nMovie name:{name}---Movie ID:{movie}---copy number:{copy}"


def hold_notice(name, movie, copy):
    """The screen that opens the online search of a client with a hold."""
    return info("\n\n\n A movie has been saved for the client!\n ", held_detail(name, movie, copy))


# The call notices of a copy passed to the next reservation of its title.
OVERDUE_HEADING = (CALL_NOTICE
                   + "\n\n\n While checking saved list the system found that a saved movie"
                   + "\n passed his 7 days of saving in list"
                   + "\n\n Another client reserved the overdue saved movie!"
                   + "\n The other client asked for call notice."
                   + "\n Please call now the client about the movie.")
RETURNED_HEADING = (CALL_NOTICE
                    + "\n\n Another client reserved the returned movie!"
                    + "\n The other client asked for call notice."
                    + "\n Please call the client about the movie.")


def _notice(heading, phone, name, title):
    return (heading + f"\n\n The phone number of the client is:0{phone}\n"
            + f"\n The name of the client is:'{name}'\n"
            + f"\n\n The movie name is:{title}\n"
            + "\n The movie will be saved for 7 days" + PRESS)


def returned_notice(phone, name, title):
    """The call notice when a copy comes back or a hold is let go."""
    return _notice(RETURNED_HEADING, phone, name, title)


def overdue_notice(phone, name, title):
    """The call notice when a hold ran out and passed on."""
    return _notice(OVERDUE_HEADING, phone, name, title)


# ---------------------------------------------------------------- the clerk's moves


def expect(s, text):
    """Waits until the last line of text is shown, then asserts the whole
    screen is text; answers the screen."""
    body = text.rstrip("\n")
    screen = s.wait_for(body[body.rfind("\n") + 1:] + text[len(body):])
    if screen.text != text:
        screen = s.wait_quiet()  # the rest of it may still be on its way
    assert screen.text == text
    return screen


def dismiss(s, text):
    """Asserts the message screen text is shown and passes it with a key."""
    expect(s, text)
    s.key("x")


def expect_dialog(s, question):
    """Asserts the dialog asking question is shown, yes highlighted."""
    assert expect(s, dialog(question)).highlighted_boxes() == ["yes"]


def answer(s, yes, question=None):
    """Answers the dialog on the screen (asserted first when question is
    given): Enter on yes (YES), Down and Enter on no (NO), or ESC. The
    move to no is drawn in full before Enter, so that redraw cannot pass for
    the next dialog."""
    if question is not None:
        expect_dialog(s, question)
    if yes == ESC:
        s.key("esc")
    elif yes:
        s.key("enter")
    else:
        s.key("down")
        s.wait_for("|____no____|\n\n")
        s.key("enter")


def menu_client_line(s):
    """Waits for the main menu and answers its line about the connected client."""
    screen = s.wait_for(" is connected to the system\n")
    return next(line for line in screen.lines if "connected to the system" in line)


def choose(s, entry):
    """Chooses an entry of the main menu (1 Client Login ... 7 Exit). Each
    move of the highlight is drawn in full before the next key, so a late
    redraw cannot pass for the menu shown after the entry's operation."""
    menu_client_line(s)
    for _ in range(entry - 1):
        s.key("down")
        menu_client_line(s)
    s.key("enter")


def start_login(s, client_id):
    """Chooses Client Login and types the client's id at its prompt."""
    choose(s, 1)
    expect(s, LOGIN + ID_PROMPT)
    s.type_line(str(client_id))


def log_in(s, client_id, name):
    """Logs in a client whose subscription runs, through the return step
    back to the menu; a client with an open rental keeps it (Esc)."""
    start_login(s, client_id)
    finish_login(s, name)


def finish_login(s, name):
    """From the screen that logs the client in, through the return step, to
    the menu with the client connected."""
    expect(s, LOGGED_IN)
    s.key("x")
    screen = s.wait_for(PRESS)
    s.key("x")
    if screen.text == MUST_RETURN:
        answer(s, ESC, RETURN_QUESTION)
    else:
        assert screen.text == NOTHING_TO_RETURN
    assert menu_client_line(s) + "\n" == connected(name)


def start_removal(s, client_id):
    """Chooses Add/Remove Client, answers No (remove) and types the id."""
    choose(s, 5)
    answer(s, False, ADD_OR_REMOVE_CLIENT)
    expect(s, REMOVE_LOGIN + REMOVE_ID)
    s.type_line(str(client_id))


def leave(s):
    """Ends the program from the main menu with Esc; its files are closed then."""
    menu_client_line(s)
    s.key("esc")
    assert s.wait_exit() == 1


class Shop:
    """Models of the five data files: tests put records in, write the files,
    change the models as the program should change the files, and compare."""

    TYPES = (Movie, Client, Rent, Reserve, Saved)

    def __init__(self, data_dir):
        self.dir = data_dir
        self.tables = {t: data_dir.table(t) for t in self.TYPES}

    def put(self, *records):
        """Inserts the records into their models; answers the last one's slot."""
        return [self.tables[type(r)].insert(r) for r in records][-1]

    def client(self, id, fname, lname, subdate, phone=541234567):
        """A client whose subscription runs from subdate for a month."""
        return self.put(Client(id=id, fname=fname, lname=lname, address="Haifa",
                               subdate=Date.of(subdate), phone=phone, months=1))

    def at(self, rec_type, slot):
        return self.tables[rec_type].records[slot]

    def find(self, rec_type, key, match=lambda r: True):
        return self.tables[rec_type].find(key, match)

    def change(self, rec_type, slot, **fields):
        t = self.tables[rec_type]
        t.records[slot] = t.records[slot].replace(**fields)

    def delete(self, rec_type, key, match=lambda r: True):
        """Deletes as the program does (first match on key's probe path)."""
        return self.tables[rec_type].delete(key, match)

    def write(self):
        for t in self.tables.values():
            self.dir.write(t)

    def assert_files(self):
        for t in self.tables.values():
            self.dir.assert_table(t)
