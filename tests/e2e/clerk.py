# The counter's screens as the clerk sees them, and the clerk's moves as data:
# a session is a list of steps that play() carries out on a running program.
#
# Steps: an int chooses that main-menu entry; a str is a typed line; Scr(text)
# waits until the whole screen is text; Msg(text) does so and passes it with a
# key; See(text) waits for text in new output; Yes/No/Esc(question) check the
# dialog (yes highlighted) and answer it; Key(name) presses a key; a function
# is called with the folder the program works in (something done to it meanwhile).

from pathlib import Path

from rd import Client, Movie, Rent, Reserve, Saved

INFO = "\n         ******************Information Message****************** \n"
PRESS = "\n\n Press any key to continue"
NOBODY = "No client is connected to the system\n"
MENU_END = " is connected to the system\n"
INDENT = " " * 30


def info(*lines):
    return INFO + "".join(lines) + PRESS


def dialog(question):
    box = INDENT + " __________\n" + INDENT
    return ("\n               ******************Information Message****************** \n"
            "\n\n                 " + question + "\n\n"
            + box + "|____yes___|\n\n" + box + "|____no____|\n\n")


def connected(name):
    return f"The client: ' {name} ' is connected to the system\n"


LABELS = ["|______Client Login______|", "|___Client Disconnect____|", "|____Search For Movie____|",
          "|____Update Saved List___|", "|____Add/Remove Client___|", "|____Add/Remove Movie____|",
          "|__________Exit__________|"]


def menu(date, client=NOBODY, error=""):
    boxes = "".join(f"{INDENT} {'_' * 24}\n{INDENT}{label}\n\n" for label in LABELS)
    return (f"\n\n {date}         Please select your chiose by keyboard... exit with ESC\n\n"
            + boxes + client + (f"Error: {error}" if error else ""))


def notice(variant, phone, name, title):
    # The call notice of a copy passed to a waiting client.
    heading = ("\n\n Another client reserved the returned movie!\n The other client asked for call"
               " notice.\n Please call the client about the movie." if variant == "returned" else
               "\n\n\n While checking saved list the system found that a saved movie\n passed his"
               " 7 days of saving in list\n\n Another client reserved the overdue saved movie!\n"
               " The other client asked for call notice.\n Please call now the client about the"
               " movie.")
    return ("\n         ******************Client Saved Movie Call Notice****************** \n"
            + heading + f"\n\n The phone number of the client is:0{phone}\n"
            f"\n The name of the client is:'{name}'\n\n\n The movie name is:{title}\n"
            "\n The movie will be saved for 7 days" + PRESS)


def detail(name, movie, copy):
    return f"\n Movie Detail:\nMovie name:{name}---Movie ID:{movie}---copy number:{copy}"


LOGIN = "\n         ******************Client Login****************** \n\n Insert ID number \n"
LOGGED_IN = INFO + "\n\n\n The member subscription is ok\n The user is now logged into the system"
NO_RETURN = info("\n\n\n The client don't need to return movie")
MUST_RETURN = info("\n\n\n The client need to return movie")
RETURN_Q = " Does the client has the movie to return? Y/N"
DISK_Q = "\n What is the status of the disk(insert number from 1-10)\n"
DISK_AGAIN = INFO + "\n\n\n Insert again a number from 1 to 10\n" + DISK_Q
CLIENT_Q = " Do you want to add client?\n\n Yes to add.\n No to remove.\n ESC for cancel."
MOVIE_Q = " Do you want to add movie?\n\n Yes to add.\n No to remove.\n ESC for cancel."
REMOVE = ("\n         ******************Remove Login****************** \n"
          " Insert client ID number to delete!\n")
PAID_Q = " Did the client paid the fine?\n\n Yes if the client paid\n No or ESC if he didn't"
SEARCH = ("\n         ******************Online Search In Catalog****************** \n"
          "\n Insert movie name \n")
OFFLINE = ("\n         ******************Offline Search In Catalog****************** \n"
           "\n\n\n Insert movie name \n")
CONTINUE_Q = " Continue searching? Y/N"
CAN_RENT = info("\n\n\n The movie is not ranted ", "\n The client can rent this movie")
NOT_AVAILABLE = info("\n\n\n The Movie is not avaliable for renting! \n",
                     "\n The client can reserve the movie.")
CAN_TAKE = info("\n\n\n The movie is saved for the client!",
                "\n The client can take the movie or not.")
RENT_Q = " The client wants to rent this movie? Y/N"
CALL_Q = " Is the client wants call notice? Y/N"
HAS_DISK_Q = " Do the client has the movie he has to return? Y/N"
ADD_COPY_Q = " Do you want to add a copy of the movie? Y/N"
RESERVE_Q = " The client can't rent this movie\n Continue reserving movie? Y/N"
INSERT_MOVIE = "\n         ******************Insert New Movie****************** \n"
REMOVE_MOVIE = "\n         ******************Remove Existing Movie****************** \n"
PAID = " Do the client paid Y/N"
TAKE = (" Do you want to take the saved movie?\n\n Press Yes to take movie\n Press ESC or No to "
        "cancel saving")
RESERVED = info("\n\n\n The movie has been resereved for the client!\n ",
                "\n When the movie is avaliable it will be saved for the client.")


def hold_notice(name, movie, copy):
    return info("\n\n\n A movie has been saved for the client!\n ", detail(name, movie, copy))


# The kinds of step (see the top of this file).
Scr, Msg, See, Key, Yes, No, Esc = (type(n, (str,), {}) for n in "Scr Msg See Key Yes No Esc".split())


def play(s, steps):
    for st in steps:
        if callable(st):
            st(Path(s.p.cwd))
        elif isinstance(st, int):
            s.see(MENU_END)
            for _ in range(st - 1):
                s.key("down")
            s.key("enter")
        elif isinstance(st, (Yes, No, Esc)):
            s.expect(dialog(st))
            assert s.lit()[-1].rstrip() == "|____yes___|", "the dialog starts on yes"
            if isinstance(st, No):  # the move is drawn before Enter, never taken for a later screen
                s.key("down")
                s.wait(lambda whole, fresh: "|____no____|" in fresh, "no")
                assert s.lit()[-1] == "|____no____|\n\n", "Down moves the highlight to no"
            s.key("esc" if isinstance(st, Esc) else "enter")
        elif isinstance(st, (Scr, Msg)):
            s.expect(st)
            if isinstance(st, Msg):
                s.key("x")
        elif isinstance(st, See):
            s.see(st)
        elif isinstance(st, Key):
            s.key(st)
        else:
            s.line(st)


def login(id, name, rental=False):
    # Steps that log in a client whose subscription runs, keeping any disk.
    return [1, Scr(LOGIN), str(id), Scr(LOGGED_IN), Key("x"),
            *([Msg(MUST_RETURN), Esc(RETURN_Q)] if rental else [Msg(NO_RETURN)]),
            See(connected(name))]


# Steps that add a client (Lee of Main street, phone 5, one month) or a movie
# (3 days to rent, disk status 8; a further copy when no name is given).
def add_client(id, name, months="1"):
    return [5, Yes(CLIENT_Q), See("number\n"), str(id), See("first name\n"), name,
            See("last name\n"), "Lee", See("adrress\n"), "Main", See("bar's!)\n"), "5",
            See("subscribe?\n"), months, See("added"), Key("x")]


def add_movie(id, name=None):
    answers = [See("name: \n "), name, See("rent:\n "), "3"] if name else [
        See("exists!..."), Key("x"), Yes(ADD_COPY_Q)]
    return [6, Yes(MOVIE_Q), See("movie ID: \n"), str(id), *answers, See("status: \n "), "8"]


# Records as the sessions write them: a client whose subscription runs from
# the date given, a copy on the shelf unless flagged, a rental, a
# reservation (with call notice unless told) and a hold.
T = "2009-03-05"  # the day of most sessions
PHONE = 541234567
C = lambda id, first, last, sub="2009-03-01", months=1, fine=0: Client(  # noqa: E731
    id, first, last, "Haifa", sub, PHONE, months, fine)
M = lambda id, copy, name, rented=0, saved=0, days=3, status=8: Movie(  # noqa: E731
    name, id, copy, status, days, rented, saved)
R = lambda client, movie, copy, date="2009-03-01", days=3: Rent(  # noqa: E731
    client, date, movie, copy, days)
V = lambda client, movie, date="2009-03-01", call=1: Reserve(client, movie, call, date)  # noqa
H = lambda client, movie, copy, date="2009-03-01": Saved(client, movie, copy, date)  # noqa
of = lambda client: lambda r: r.client == client  # noqa: E731 (matches a client's record)
copy = lambda c: lambda r: r.copy == c  # noqa: E731 (matches a copy number)
ANN, BEN, DAN = C(7, "Ann", "Lee"), C(8, "Ben", "Cohen"), C(13, "Dan", "Gold", fine=20)
