"""What the desk tests share: a model of the five data files to prepare them
and to compute the expected ones, the screen texts every desk uses, and the
login of a client."""

from harness import Client, Date, Movie, Rent, Reserve, Saved

INFO = "\n         ******************Information Message****************** \n"
CALL_NOTICE = "\n         ******************Client Saved Movie Call Notice****************** \n"
PRESS = "\n\n Press any key to continue"
NOBODY = "No client is connected to the system\n"
INDENT = " " * 30

YES, NO, ESC = ("enter",), ("down", "enter"), ("esc",)  # answers in the yes/no dialog


# The movie desk: adding a movie or a copy.
ADD_OR_REMOVE = " Do you want to add movie?\n\n Yes to add.\n No to remove.\n ESC for cancel."
ADD_COPY = " Do you want to add a copy of the movie? Y/N"
INSERT_BANNER = "\n         ******************Insert New Movie****************** \n"
MOVIE_ID_PROMPT = "\n insert movie ID: \n"
NAME_PROMPT = "\n\n\n insert movie name: \n "
DAYS_PROMPT = "\n insert days to rent:\n "
STATUS_PROMPT = "\n Insert disk status: \n "

# The online search of a connected client.
SEARCH = ("\n         ******************Online Search In Catalog****************** \n"
          "\n Insert movie name \n")
RENT_QUESTION = " The client wants to rent this movie? Y/N"
RESERVE_QUESTION = " The client can't rent this movie\n Continue reserving movie? Y/N"
CALL_QUESTION = " Is the client wants call notice? Y/N"
TAKE_QUESTION = (" Do you want to take the saved movie?\n\n Press Yes to take movie\n"
                 " Press ESC or No to cancel saving")

# The call notice of a hold that ran out and passed to the next reservation.
OVERDUE_HEADING = (CALL_NOTICE
                   + "\n\n\n While checking saved list the system found that a saved movie"
                   + "\n passed his 7 days of saving in list"
                   + "\n\n Another client reserved the overdue saved movie!"
                   + "\n The other client asked for call notice."
                   + "\n Please call now the client about the movie.")


def info(*lines):
    """A message screen: banner, the lines, the key prompt."""
    return INFO + "".join(lines) + PRESS


def dialog(question):
    """The yes/no dialog asking question, yes highlighted or not."""
    box = INDENT + " __________\n" + INDENT
    return ("\n               ******************Information Message****************** \n"
            "\n\n                 " + question + "\n\n"
            + box + "|____yes___|\n\n" + box + "|____no____|\n\n")


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


def overdue_notice(phone, name, title):
    """The call notice printed when a hold ran out and passed on."""
    return (OVERDUE_HEADING
            + f"\n\n The phone number of the client is:0{phone}\n"
            + f"\n The name of the client is:'{name}'\n"
            + f"\n\n The movie name is:{title}\n"
            + "\n The movie will be saved for 7 days" + PRESS)


def connected(name):
    return f"The client: ' {name} ' is connected to the system\n"


def open_failure(name):
    return f"Error opening input file \\{name}!  End of program..\n"


class Shop:
    """Models of the five data files: tests put records in, write the files,
    change the models as the program should change the files, and compare."""

    TYPES = (Movie, Client, Rent, Reserve, Saved)

    def __init__(self, data_dir):
        self.dir = data_dir
        self.tables = {t: data_dir.table(t) for t in self.TYPES}

    def put(self, rec):
        """Inserts rec into its model; answers its slot."""
        return self.tables[type(rec)].insert(rec)

    def client(self, id, fname, lname, subdate, phone=541234567):
        """A client whose subscription runs from subdate for a month."""
        return self.put(Client(id=id, fname=fname, lname=lname, address="Haifa",
                               subdate=Date.of(subdate), phone=phone, months=1))

    def at(self, rec_type, slot):
        return self.tables[rec_type].records[slot]

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


def login(s, client_id, name):
    """Entry 1 with a client whose subscription is valid, through the return
    step back to the menu. A client with an open rental keeps it: Esc at the
    return question."""
    s.key("enter")
    s.wait_for("\n Insert ID number \n")
    s.type_line(str(client_id))
    s.wait_for("\n The user is now logged into the system")
    s.key("x")
    screen = s.wait_for(PRESS)
    if screen.text == info("\n\n\n The client need to return movie"):
        s.key("x")
        assert s.wait_for("|____no____|\n\n").text == dialog(
            " Does the client has the movie to return? Y/N")
        s.key("esc")
    else:
        assert screen.text == info("\n\n\n The client don't need to return movie")
        s.key("x")
    s.wait_for(connected(name))
