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


def info(*lines):
    """A message screen: banner, the lines, the key prompt."""
    return INFO + "".join(lines) + PRESS


def dialog(question):
    """The yes/no dialog asking question, yes highlighted or not."""
    box = INDENT + " __________\n" + INDENT
    return ("\n               ******************Information Message****************** \n"
            "\n\n                 " + question + "\n\n"
            + box + "|____yes___|\n\n" + box + "|____no____|\n\n")


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
