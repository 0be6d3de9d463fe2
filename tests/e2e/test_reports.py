# rentdesk-admin report, export and import on one prepared folder that holds
# every case: a late rental across a year end, a hold that ran out, a queue of
# four on a title with two copies out (two reserved on one day, one after the
# report's day), clients owing fines, subscriptions ending on the report's day
# and on a day their month lacks, a rental of a missing copy and a hold for a
# missing client; Kim's record and rental, Heat's first copy and reservation
# and that hold sit in the first slot of their tables. The reports' CSV is compared with golden/<report>.csv.

import csv
import io
from pathlib import Path

import pytest

import rd
from clerk import NOBODY, C, H, M, R, V

DAY = "2009-02-27"
GOLDEN = Path(__file__).parent / "golden"
SAID = {  # each report's title and the totals the owner reads under its table
    "overdue": ("Overdue rentals on", "3 rentals overdue, 575 in late fines."),
    "holds": ("Held copies on", "3 holds, 1 ran out."),
    "queues": ("Reservation queues on", "5 reservations of 2 titles."),
    "fines": ("Fines owed on", "3 clients owe 285."),
    "subscriptions": ("Subscriptions ended or ending within 7 days of", "4 subscriptions."),
    "summary": ("The shop on", "fines overdue rentals would add today   575")}
REPORTS = list(SAID)
TABLES = {"clients": rd.Client, "movies": rd.Movie, "rentals": rd.Rent,
          "reservations": rd.Reserve, "holds": rd.Saved}
AMELIE = 'Amélie, "Le Film"'


def shop(folder):
    return rd.Shop(folder).put(
        C(7, "Ann", "Lee", "2009-01-27"), C(8, "Ben", "Cohen", "2008-11-30", 3, fine=120),
        C(9, "Dan", "Gold", "2008-06-01", 12), C(10, "Eve", "Adams", "2008-01-15", 6, fine=45),
        C(11, "Gil", "Katz", "2009-02-27", 1, fine=120), C(12, "Hana", "Levi", "2009-02-20", 0),
        C(14, "Bartholomew", "Abercrombie", "2009-02-01", 12),
        C(15, "Zoë", 'O"Neil, Jr', "2009-02-01", 12), C(26, "Kim", "Park", "2009-02-01", 12),
        M(13, 1, "Heat", rented=1), M(13, 2, "Heat", rented=1), M(13, 3, "Heat"),
        M(4, 1, "Alien", saved=1), M(4, 2, "Alien", saved=1),
        M(21, 1, AMELIE, saved=1, days=2), M(21, 2, AMELIE, rented=1, days=2),
        R(8, 13, 1, "2008-12-28", 5), R(7, 13, 2, "2009-01-20"), R(26, 99, 1, "2009-02-01", 2),
        R(9, 21, 2, "2009-02-26", 2),
        # Dan and Gil reserved on one day; the hand-over meets Gil last and serves him first.
        V(10, 13, "2009-02-10"), V(9, 13, "2009-02-20"), V(11, 13, "2009-02-20"),
        V(12, 13, "2009-03-02"), V(26, 21, "2009-02-25"),
        H(14, 4, 1, "2009-02-12"), H(39, 4, 2, "2009-02-27"), H(15, 21, 1, "2009-02-22"))


def report(folder, name, *args):
    run = rd.admin(folder, "report", name, "--date", DAY, *args)
    return run.returncode, run.stdout, run.stderr


def test_each_report_in_csv_and_in_80_columns_and_each_table_exported(tmp_path):
    folder = shop(tmp_path).write()
    for name in REPORTS:
        golden = (GOLDEN / f"{name}.csv").read_text()
        assert report(tmp_path, name, "--csv") == (0, golden, ""), name
        code, table, _ = report(tmp_path, name)
        lines = table.splitlines()  # title, headings, the rows, totals (but in the summary)
        assert code == 0 and len(lines) == len(golden.splitlines()) + 1 + (name != "summary")
        assert (lines[0], lines[-1]) == (SAID[name][0] + " 27/2/2009", SAID[name][1])
        assert max(map(len, lines)) <= 80, table
        # phones where every column fits whole with them: not beside the holds' long names
        assert ("Phone" in lines[1]) == (name not in ("holds", "summary")), table
        assert ("0541234567" in table) == ("Phone" in lines[1])
    for name, T in TABLES.items():
        out = io.StringIO()
        csv.writer(out, lineterminator="\n").writerows(
            [T._fields] + [r for r in folder[T].recs if rd.key(r) > 0])
        assert rd.admin(tmp_path, "export", name).stdout == out.getvalue(), name


def test_a_report_reads_a_folder_in_use_or_left_by_a_crash_and_changes_nothing(tmp_path):
    folder = shop(tmp_path).write()
    golden = (GOLDEN / "summary.csv").read_text()
    counter = rd.Session(tmp_path, date="2009-02-15")  # no hold runs out at its start
    counter.see(NOBODY)
    assert report(tmp_path, "summary", "--csv") == (0, golden, "")
    counter.key("esc")
    assert counter.status() == 1
    (tmp_path / "rentdesk.journal").write_bytes(rd.intent(  # what a crash left
        ("S", "user.txt", 13 * 64), ("W", "user.txt", 0, rd.Client.encode(rd.Client.blank()))))
    code, out, said = report(tmp_path, "summary", "--csv")
    assert (code, out) == (0, golden) and "rentdesk.journal holds a clerk's action" in said
    folder.check()


CLIENTS = ("id,fname,lname,address,subdate,phone,months,fine\r\n"
           '1,Bartholomew,Smithsonié,"St 5, Haifa",2008-02-29,2147483647,3,0\r\n'
           "2,Zoë😀,-Lee,@Haifa,2009-01-31,0,0,15\r\n")  # a spreadsheet would run these
MOVIES = "name,id,copy,diskstatus,rentdays,rented,saved\n" + "".join(
    f"Title {i % 4},{100 + i % 4},{i},5,3,0,0\n" for i in range(1, 16)) + (
    '"Amélie, the Film",7,1,8,2,0,0\n')
# The same as the desks store them, texts whole up to 11 and 19 bytes; 16
# copies grow the catalogue from 2 slots, twice in the one action.
IMPORTED = [rd.Client(1, "Bartholomew", "Smithsonié", "St 5, Haifa", "2008-02-29", 2147483647, 3),
            rd.Client(2, "Zoë😀", "-Lee", "@Haifa", "2009-01-31", 0, 0, 15),
            *(M(100 + i % 4, i, f"Title {i % 4}", status=5) for i in range(1, 16)),
            M(7, 1, "Amélie, the Film", days=2)]


def test_import_inserts_a_good_file_as_the_desks_do_and_takes_its_export_back(tmp_path):
    a, b = rd.Shop(tmp_path / "a", slots=2).write(), rd.Shop(tmp_path / "b").write()
    for table, text, said in (("clients", CLIENTS, "Added 2 clients to user.txt.\n"),
                              ("movies", MOVIES, "Added 16 copies to catalogmov.txt.\n")):
        (tmp_path / "in.csv").write_bytes(text.encode())
        run = rd.admin(a.dir, "import", table, str(tmp_path / "in.csv"))
        assert (run.returncode, run.stdout) == (0, said)
    a.put(*IMPORTED).check()
    for args in (["export", "clients"], ["report", "subscriptions", "--csv"]):  # text, not formulas
        assert ",\"'-Lee\"," in rd.admin(a.dir, *args).stdout
    for table in ("clients", "movies"):
        (tmp_path / "in.csv").write_text(rd.admin(a.dir, "export", table).stdout)
        assert rd.admin(b.dir, "import", table, str(tmp_path / "in.csv")).returncode == 0
    b.put(*(r for T in (rd.Client, rd.Movie) for r in a[T].recs if rd.key(r) > 0)).check()


GUARDED = [  # a client as stored, and his row as export writes it
    (rd.Client(1, "=1+2", "'=x", "-", "2009-01-05", -2147483648, 10, 9),
     "1,\"'=1+2\",\"''=x\",\"'-\",2009-01-05,-2147483648,10,9"),
    (rd.Client(2, "-12", "-1a", "''", "10000-01-05", -7, 0, 2147483647),
     "2,-12,\"'-1a\",'',10000-01-05,-7,0,2147483647"),
    (rd.Client(3, "'-12", 'a"b', "a,b", "0005-123-07", 0, -1, 0),
     "3,\"''-12\",\"a\"\"b\",\"a,b\",0005-123-07,0,-1,0"),
    (rd.Client(4, "@x", "+", "a=b", "2026-00-00", 5, 99, 100),
     "4,\"'@x\",\"'+\",a=b,2026-00-00,5,99,100"),
]


def test_export_quotes_and_guards_each_field_and_writes_any_date_and_number_stored(tmp_path):
    rd.Shop(tmp_path).put(*(c for c, _ in GUARDED)).write()
    rows = rd.admin(tmp_path, "export", "clients").stdout.splitlines()
    assert rows[0] == "id,fname,lname,address,subdate,phone,months,fine"
    assert sorted(rows[1:]) == [row for _, row in GUARDED]


BAD = [  # a row of a file to import into the prepared folder, what is said of it
    ("clients", "0,Ann,Lee,Haifa,2009-01-01,5,1,0", "id must be a whole number 1 or more"),
    ("clients", "7,Ann,Lee,Haifa,2009-01-01,5,1,0", "client 7 is already in user.txt"),
    *(("clients", f"30,Ann,Lee,Haifa,{day},5,1,0", "subdate must be a day of the calendar "
       "written YYYY-MM-DD") for day in ("2009-02-29", "2009-12-32")),
    ("clients", '31," ",Lee,Haifa,2009-01-01,-5,1,0',
     "fname is empty; phone must be a whole number 0 or more"),
    ("clients", "32,Ann,Lee,Haifa,2009-01-01,5,1",
     "there are 7 fields where id,fname,lname,address,subdate,phone,months,fine needs 8"),
    ("clients", '33,"A\x01",Lee,Haifa,2009-01-01,5,1,0',
     "fname holds a control character or bytes that are not UTF-8"),
    ("clients", "38,Ann,L\udc80e,Haifa,2009-01-01,5,1,0",
     "lname holds a control character or bytes that are not UTF-8"),
    ("clients", "35,Ann,Lee,Main Street 5,2009-01-01,5,1,0",
     "address is 13 bytes, longer than the 11 its field holds"),
    ("clients", "36,Ann,Lee,Haifa,2009-01-01,2147483648,1,00000000000000000000000000001",
     "phone 2147483648 is above 2147483647, the largest number the file can hold"),
    ("clients", "37;Ann;Lee;Haifa;2009-01-01;5;1;0",
     "there are 1 fields where id,fname,lname,address,subdate,phone,months,fine needs 8; this "
     "file seems to separate its fields by semicolons, where import takes commas"),
    ("clients", "34,Ann,Lee,Haifa,2009-01-01,5,1,0", None),
    ("clients", "34,Ann,Lee,Haifa,2009-01-01,5,1,0", "client 34 is on line 13 already"),
    *(("clients", f"35,{name},Lee,Haifa,2009-01-01,5,1,0", "fname holds a control character or "
       "bytes that are not UTF-8") for name in ("\udced\udca0\udc80", "\udce0\udc80\udc80",
                                                "\udcf4\udc90\udc80\udc80")),
    ("movies", "A" * 300 + ",42,1,8,3,0,0", "a field is longer than 256 bytes, or the row than "
     "4096, which no row to import can be"),
    ("movies", "Heat,13,1,8,3,0,0", "copy 1 of movie 13 is already in catalogmov.txt"),
    ("movies", "Heat,13,9,8,4,0,0", 'the copies of movie 13 are named "Heat" with 3 rent days'),
    ("movies", "New,40,1,11,3,0,0", "diskstatus must be a whole number from 1 to 10"),
    ("movies", "New,41,1,8,3,1,0", "rented must be 0: a copy comes in on the shelf"),
    ("movies", "The Good the Bad and the Ugly,42,1,8,3,0,0",
     "name is 29 bytes, longer than the 19 its field holds"),
]


def test_import_refuses_a_file_with_bad_rows_whole_naming_every_one(tmp_path):
    folder = shop(tmp_path).write()
    for table in ("clients", "movies"):
        rows = [(row, why) for t, row, why in BAD if t == table]
        path = tmp_path / "in.csv"
        path.write_bytes((",".join(TABLES[table]._fields) + "\n" + "".join(
            r + "\n" for r, _ in rows)).encode("utf-8", "surrogateescape"))  # \udc80: a lone byte
        said = [f"{path} line {n}: {why}\n" for n, (_, why) in enumerate(rows, 2) if why]
        run = rd.admin(tmp_path, "import", table, str(path))
        assert (run.returncode, run.stderr) == (2, "".join(said) + f"rentdesk-admin: {len(said)} "
                                                "bad lines; nothing was imported.\n")
    folder.check()


def poke_key(folder, file, offset, key):
    raw = bytearray((folder / file).read_bytes())
    raw[offset:offset + 4] = key.to_bytes(4, "little", signed=True)
    (folder / file).write_bytes(bytes(raw))


FAULTS = [  # damage done to the prepared folder, the command, its status, what it says
    (lambda f: (f / "ressavmov.txt").unlink(), "report holds", 1,
     "ressavmov.txt: is missing or cannot be opened\n"),
    (lambda f: open(f / "user.txt", "ab").write(b"\0"), "export clients", 1,
     "user.txt: its length, 833 bytes, is not a whole number of 64-byte records\n"),
    (lambda f: poke_key(f, "rentmovies.txt", 3 * 28, -7), "report overdue --csv", 1,
     "rentmovies.txt: holds a damaged record in slot 3 (key -7)\n"),
    (lambda f: poke_key(f, "user.txt", 8 * 64, -7), "report overdue --csv", 1,  # Ben's, late
     "user.txt: holds a damaged record in slot 8 (key -7)\n"),
    *((None, args, 2, "usage: ") for args in (
        "report", "report late", "report overdue holds", "report overdue --date 2009-02-29",
        "report overdue --date=2009-2-1", "report fines --within 3", "report subscriptions "
        "--within -1", "report summary --date", "export users", "import rentals x.csv")),
    (None, "import clients missing.csv", 2, "missing.csv cannot be read"),
    (lambda f: (f / "semi.csv").write_text("id;fname;lname;address;subdate;phone;months;fine\n"),
     "import clients semi.csv", 2, "semi.csv line 1: the first line must be the header id,fname,"
     "lname,address,subdate,phone,months,fine; this file seems to separate its fields by "
     "semicolons, where import takes commas\n"),
]


@pytest.mark.parametrize("damage, args, status, said", FAULTS)
def test_damage_ends_a_report_as_check_words_it_and_bad_arguments_are_refused(
        tmp_path, damage, args, status, said):
    shop(tmp_path).write()
    if damage:
        damage(tmp_path)
    run = rd.admin(tmp_path, *args.split())
    assert (run.returncode, run.stdout) == (status, "")
    assert run.stderr == said if status == 1 else said in run.stderr
