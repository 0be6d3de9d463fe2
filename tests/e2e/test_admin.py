"""rentdesk-admin check, check --repair and dump on prepared data folders, and
the folder lock that keeps a second counter (or an admin command) away from
a folder a counter is working in."""

import signal
from pathlib import Path

import pytest

from harness import Client, Date, HashTable, Movie, Rent, Reserve, Saved, admin
from shop import NOBODY, Shop

SOUND = "All five data files are sound.\n"
LOCKED = "Another rentdesk program is already working in this folder.  End of program..\n"
ADMIN_LOCKED = ("rentdesk-admin: a rentdesk program is already working in this folder; "
                "try again when it has ended.\n")

ANN = Client(id=25, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 3, 1),
             phone=5551234, months=1)
BEN = Client(id=31, fname="Ben", lname="Ross", subdate=Date(2009, 3, 1), months=1)
RINA = Client(id=32, fname="Rina", lname="Katz", subdate=Date(2009, 3, 1), months=1)
DAN = Client(id=33, fname="Dan", lname="Oz", subdate=Date(2009, 3, 1), months=1)
HEAT_1 = Movie(name="Heat", id=100, copy=1, diskstatus=7, rentdays=3, rented=1)
HEAT_2 = Movie(name="Heat", id=100, copy=2, diskstatus=9, rentdays=3, saved=1)
ALIEN = Movie(name="Alien", id=200, copy=1, diskstatus=5, rentdays=2)
BEN_RENTS = Rent(client=31, rentdate=Date(2009, 3, 2), movie=100, copy=1, rentdays=3)
RINA_HOLDS = Saved(client=32, movie=100, copy=2, savedate=Date(2009, 3, 4))
ANN_WAITS = Reserve(client=25, movie=100, callnotice=1, resdate=Date(2009, 3, 3))


def lines(*problems):
    """The output of a check that found these problems."""
    count = f"{len(problems)} problem{'' if len(problems) == 1 else 's'} found.\n"
    return "".join(p + "\n" for p in problems) + count


@pytest.fixture
def shop(data_dir):
    """A consistent shop: Ben rents Heat 1, Heat 2 is held for Rina, Ann
    waits for Heat, Alien is free; client 40 was added and removed."""
    s = Shop(data_dir)
    for c in (ANN, BEN, RINA, DAN, Client(id=40, fname="Gone")):
        s.put(c)
    s.delete(Client, 40)
    for rec in (HEAT_1, HEAT_2, ALIEN, BEN_RENTS, RINA_HOLDS, ANN_WAITS):
        s.put(rec)
    s.write()
    return s


def check(shop, *args):
    """Runs check in the shop's folder; answers (exit status, stdout)."""
    done = admin(shop.dir.path, "check", *args)
    assert done.stderr == ""
    return done.returncode, done.stdout


# ---------------------------------------------------------------- a sound folder


def test_fresh_files_and_a_consistent_folder_are_sound_and_left_as_they_were(make_data_dir, shop):
    fresh = admin(make_data_dir().path, "check")
    assert (fresh.returncode, fresh.stdout) == (0, SOUND)
    before = shop.dir.snapshot()
    assert check(shop) == (0, SOUND)
    assert check(shop, "--repair") == (0, SOUND)
    shop.dir.assert_unchanged(before)


# ---------------------------------------------------------------- damage inside one table


def poke(path: Path, offset: int, data: bytes) -> None:
    """Overwrites bytes of a file in place."""
    raw = bytearray(path.read_bytes())
    raw[offset:offset + len(data)] = data
    path.write_bytes(bytes(raw))


def first_empty_slot(shop, rec_type):
    return next(s for s, r in enumerate(shop.tables[rec_type].records) if r.key == 0)


def odd_length(shop, rec_type):
    path = shop.dir.file(rec_type)
    size = path.stat().st_size
    path.write_bytes(path.read_bytes() + b"\0\0\0")
    return [f"{rec_type.FILE}: its length, {size + 3} bytes, is not a whole number of "
            f"{rec_type.SIZE}-byte records"]


def one_slot(shop, rec_type):
    path = shop.dir.file(rec_type)
    path.write_bytes(path.read_bytes()[:rec_type.SIZE + 5])
    return [f"{rec_type.FILE}: its length, {rec_type.SIZE + 5} bytes, is not a whole number of "
            f"{rec_type.SIZE}-byte records",
            f"{rec_type.FILE}: has 1 slot, fewer than the 2 a table needs"]


def fifteen_slots(shop, rec_type):
    """The same records placed in a table of 15 slots, where each is still
    found by its own search."""
    table = HashTable.empty(rec_type, 15)
    for _, r in shop.tables[rec_type].live():
        table.insert(r)
    shop.dir.write(table)
    return [f"{rec_type.FILE}: its slot count, 15, is not a prime number"]


def key_below_one(shop, rec_type):
    slot = first_empty_slot(shop, rec_type)
    key_offset = {Movie: 20, Reserve: 4}.get(rec_type, 0)
    poke(shop.dir.file(rec_type), slot * rec_type.SIZE + key_offset, (-7).to_bytes(4, "little",
                                                                                   signed=True))
    return [f"{rec_type.FILE}: slot {slot}: key -7 is below 1 (only 0, empty, and -1, deleted, "
            "may stand there)"]


def lost_record(shop, rec_type):
    """Moves a live record from its first probe to an empty slot: its search
    now stops at once at the emptied slot. The record is chosen so that no
    other record's search passed that slot."""
    table = shop.tables[rec_type]
    moved = first_empty_slot(shop, rec_type)
    for slot, rec in table.live():
        damaged = HashTable(rec_type, table.records)
        damaged.records[slot], damaged.records[moved] = rec_type.blank(), rec
        others_found = all(damaged.find(r.key, lambda x, r=r: x == r) == s
                           for s, r in damaged.live() if s != moved)
        if next(table.probe(rec.key)) == slot and others_found:
            break
    else:
        raise AssertionError("no record can be lost alone in this table")
    shop.dir.write(damaged)
    return [f"{rec_type.FILE}: slot {moved}: the record of key {rec.key} cannot be found by a "
            "search for its key"]


def open_text(shop, rec_type):
    """The first live record's first text filled to its last byte."""
    slot, rec = shop.tables[rec_type].live()[0]
    field, offset, width = {Movie: ("name", 0, 20), Client: ("fname", 4, 12)}[rec_type]
    poke(shop.dir.file(rec_type), slot * rec_type.SIZE + offset, b"Q" * width)
    return [f"{rec_type.FILE}: slot {slot}: the text {field} has no terminating zero"]


ALL = (Client, Movie, Rent, Reserve, Saved)
DAMAGE = ([(d, t) for d in (odd_length, one_slot, fifteen_slots, key_below_one, lost_record)
           for t in ALL] + [(open_text, Client), (open_text, Movie)])


@pytest.mark.parametrize("damage,rec_type", DAMAGE,
                         ids=[f"{d.__name__}-{t.FILE}" for d, t in DAMAGE])
def test_damage_in_each_file_is_reported_in_plain_words(shop, damage, rec_type):
    problems = damage(shop, rec_type)
    before = shop.dir.snapshot()
    assert check(shop) == (1, lines(*problems))
    assert check(shop, "--repair") == (1, lines(*problems))  # nothing there to mend
    shop.dir.assert_unchanged(before)


def test_a_missing_file_and_a_duplicate_client_are_both_reported(shop):
    (shop.dir.path / Rent.FILE).unlink()
    twin = shop.put(ANN.replace(fname="Anna"))  # a second record of key 25, behind the first
    shop.dir.write(shop.tables[Client])
    first = shop.tables[Client].find(25)
    assert check(shop) == (1, lines(
        "rentmovies.txt: is missing or cannot be opened",
        f"user.txt: slot {twin}: the record of key 25 is hidden by the same record in "
        f"slot {first}"))


# ---------------------------------------------------------------- between the tables


def set_copy(shop, copy, **flags):
    shop.change(Movie, shop.tables[Movie].find(copy.id, lambda r: r.copy == copy.copy), **flags)


def missing_client_rental(shop):
    shop.delete(Client, 31)
    return ["rentmovies.txt: a rental names client 31, who is not in user.txt"]


def missing_client_hold_and_reservation(shop):
    shop.delete(Client, 32)
    shop.delete(Client, 25)
    return ["ressavmov.txt: a hold names client 32, who is not in user.txt",
            "reservedmov.txt: a reservation names client 25, who is not in user.txt"]


def missing_copies(shop):
    shop.delete(Reserve, 100)
    shop.put(Reserve(client=25, movie=300, resdate=Date(2009, 3, 3)))
    shop.delete(Rent, 31)
    shop.put(BEN_RENTS.replace(copy=5))
    set_copy(shop, HEAT_1, rented=0)
    shop.delete(Saved, 32)
    shop.put(RINA_HOLDS.replace(movie=200, copy=9))
    set_copy(shop, HEAT_2, saved=0)
    return ["rentmovies.txt: the rental of client 31 names copy 5 of movie 100, which is not in "
            "catalogmov.txt",
            "ressavmov.txt: the hold of client 32 names copy 9 of movie 200, which is not in "
            "catalogmov.txt",
            "reservedmov.txt: the reservation of client 25 names movie 300, which is not in "
            "catalogmov.txt"]


def two_of_each(shop):
    shop.put(Rent(client=31, rentdate=Date(2009, 3, 3), movie=200, copy=1, rentdays=2))
    set_copy(shop, ALIEN, rented=1)
    shop.put(Reserve(client=25, movie=200, resdate=Date(2009, 3, 4)))
    rents = shop.tables[Rent]
    first, second = (s for s, _ in rents.walk(31))
    return [f"rentmovies.txt: slot {second}: the record of key 31 is hidden by the same record "
            f"in slot {first}",
            "rentmovies.txt: client 31 has 2 rentals; a client may have one at most",
            "reservedmov.txt: client 25 has 2 reservations; a client may have one at most"]


def one_copy_two_claims(shop):
    shop.put(Rent(client=33, rentdate=Date(2009, 3, 3), movie=100, copy=1, rentdays=3))
    shop.put(Saved(client=25, movie=100, copy=1, savedate=Date(2009, 3, 4)))
    set_copy(shop, HEAT_1, saved=1)
    shop.delete(Reserve, 100)  # Ann's reservation, now that she holds a copy
    return ["catalogmov.txt: copy 1 of movie 100 is named by 2 rentals",
            "ressavmov.txt: copy 1 of movie 100 is held for client 25 and also out on rent to "
            "client 31"]


def hold_beside_another_reservation(shop):
    shop.put(Reserve(client=32, movie=200, resdate=Date(2009, 3, 5)))
    return ["reservedmov.txt: client 32 has a reservation of movie 200 although a copy of "
            "movie 100 is held for him"]


@pytest.mark.parametrize("mismatch", [missing_client_rental, missing_client_hold_and_reservation,
                                      missing_copies, two_of_each, one_copy_two_claims,
                                      hold_beside_another_reservation])
def test_a_mismatch_repair_cannot_mend_is_reported_and_left_alone(shop, mismatch):
    problems = mismatch(shop)
    shop.write()
    before = shop.dir.snapshot()
    assert check(shop) == (1, lines(*problems))
    assert check(shop, "--repair") == (1, lines(*problems))
    shop.dir.assert_unchanged(before)


# ---------------------------------------------------------------- repair


def rented_without_rental(shop):
    shop.delete(Rent, 31)
    return (["catalogmov.txt: copy 1 of movie 100 is marked rented but no rental names it"],
            ["catalogmov.txt: copy 1 of movie 100: rented set from 1 to 0, as no rental names "
             "it"],
            lambda: set_copy(shop, HEAT_1, rented=0))


def rental_without_rented(shop):
    shop.put(Rent(client=33, rentdate=Date(2009, 3, 5), movie=200, copy=1, rentdays=2))
    return (["catalogmov.txt: copy 1 of movie 200 is not marked rented but the rental of client "
             "33 names it"],
            ["catalogmov.txt: copy 1 of movie 200: rented set from 0 to 1, as the rental of "
             "client 33 names it"],
            lambda: set_copy(shop, ALIEN, rented=1))


def saved_without_hold(shop):
    shop.delete(Saved, 32)
    return (["catalogmov.txt: copy 2 of movie 100 is marked saved but no hold names it"],
            ["catalogmov.txt: copy 2 of movie 100: saved set from 1 to 0, as no hold names it"],
            lambda: set_copy(shop, HEAT_2, saved=0))


def hold_without_saved(shop):
    shop.put(Saved(client=33, movie=200, copy=1, savedate=Date(2009, 3, 5)))
    return (["catalogmov.txt: copy 1 of movie 200 is not marked saved but the hold of client 33 "
             "names it"],
            ["catalogmov.txt: copy 1 of movie 200: saved set from 0 to 1, as the hold of client "
             "33 names it"],
            lambda: set_copy(shop, ALIEN, saved=1))


def flag_neither_0_nor_1(shop):
    set_copy(shop, HEAT_2, saved=7)
    return (["catalogmov.txt: copy 2 of movie 100 has saved 7, neither 0 nor 1"],
            ["catalogmov.txt: copy 2 of movie 100: saved set from 7 to 1, as the hold of client "
             "32 names it"],
            lambda: set_copy(shop, HEAT_2, saved=1))


def hand_over_cut_short(shop):
    """Ann's reservation served by a hold for her, written just before the
    reservation was to be deleted and the copy marked."""
    shop.put(Saved(client=25, movie=100, copy=1, savedate=Date(2009, 3, 5)))
    shop.delete(Rent, 31)
    return (["catalogmov.txt: copy 1 of movie 100 is marked rented but no rental names it",
             "catalogmov.txt: copy 1 of movie 100 is not marked saved but the hold of client 25 "
             "names it",
             "reservedmov.txt: client 25 has a reservation of movie 100 although a copy of "
             "movie 100 is held for him"],
            ["reservedmov.txt: deleted the reservation of movie 100 by client 25, for whom a "
             "copy of it is already held",
             "catalogmov.txt: copy 1 of movie 100: rented set from 1 to 0, as no rental names "
             "it",
             "catalogmov.txt: copy 1 of movie 100: saved set from 0 to 1, as the hold of client "
             "25 names it"],
            lambda: (set_copy(shop, HEAT_1, rented=0, saved=1), shop.delete(Reserve, 100)))


def pick_up_cut_short(shop):
    """Rina takes the copy held for her: the rental written, the hold not yet
    deleted nor the copy marked."""
    shop.put(Rent(client=32, rentdate=Date(2009, 3, 5), movie=100, copy=2, rentdays=3))
    return (["catalogmov.txt: copy 2 of movie 100 is not marked rented but the rental of client "
             "32 names it",
             "ressavmov.txt: copy 2 of movie 100 is held for client 32 and also out on rent to "
             "client 32"],
            ["ressavmov.txt: deleted the hold of copy 2 of movie 100 for client 32, who already "
             "rents it",
             "catalogmov.txt: copy 2 of movie 100: rented set from 0 to 1, as the rental of "
             "client 32 names it",
             "catalogmov.txt: copy 2 of movie 100: saved set from 1 to 0, as no hold names it"],
            lambda: (set_copy(shop, HEAT_2, rented=1, saved=0), shop.delete(Saved, 32)))


@pytest.mark.parametrize("mismatch", [rented_without_rental, rental_without_rented,
                                      saved_without_hold, hold_without_saved,
                                      flag_neither_0_nor_1, hand_over_cut_short,
                                      pick_up_cut_short])
def test_repair_mends_a_mismatch_says_what_it_did_and_loses_no_record(shop, mismatch):
    problems, mended, mend_model = mismatch(shop)
    shop.write()
    assert check(shop) == (1, lines(*problems))
    assert check(shop, "--repair") == (0, "".join(f"mended: {m}\n" for m in mended) + SOUND)
    mend_model()
    shop.assert_files()  # every client, copy, rental and hold still there, byte for byte
    assert check(shop) == (0, SOUND)


def test_repair_mends_what_it_can_and_reports_the_rest(shop):
    shop.delete(Rent, 31)              # Heat 1 left marked rented
    shop.delete(Client, 32)            # Rina's hold names nobody
    shop.write()
    assert check(shop, "--repair") == (1, (
        "mended: catalogmov.txt: copy 1 of movie 100: rented set from 1 to 0, as no rental "
        "names it\n"
        + lines("ressavmov.txt: a hold names client 32, who is not in user.txt")))
    set_copy(shop, HEAT_1, rented=0)
    shop.assert_files()


def test_check_takes_only_repair(shop):
    for args in (["--fix"], ["--repair", "--repair"]):
        done = admin(shop.dir.path, "check", *args)
        assert done.returncode == 2 and done.stdout == ""
        assert done.stderr.startswith("rentdesk-admin: check takes only --repair\nusage:")


# ---------------------------------------------------------------- dump


def test_dump_prints_the_key_of_every_slot_in_slot_order_and_refuses_other_names(shop, tmp_path):
    for rec_type in ALL:
        done = admin(shop.dir.path, "dump", rec_type.FILE)
        keys = "".join(f" {r.key} " for r in shop.tables[rec_type].records)
        assert (done.returncode, done.stdout, done.stderr) == (0, keys + "\n", "")
    done = admin(tmp_path, "dump", str(shop.dir.file(Client)))  # a file in another folder
    assert done.stdout == "".join(f" {r.key} " for r in shop.tables[Client].records) + "\n"
    assert " -1 " in done.stdout and " 25 " in done.stdout
    done = admin(tmp_path, "dump", "notes.txt")
    assert done.returncode == 2 and done.stdout == ""
    assert done.stderr.startswith("rentdesk-admin: FILE must be one of the five data files\n")
    done = admin(tmp_path, "dump", "user.txt")  # none in tmp_path itself
    assert (done.returncode, done.stdout) == (1, "Error opening input file \\user.txt!  End of "
                                                 "program..\n")


# ---------------------------------------------------------------- the folder lock


def test_a_second_counter_is_refused_while_the_first_works(shop, rentdesk):
    first = rentdesk()
    first.wait_for(NOBODY)
    before = shop.dir.snapshot()
    for program in ("rentdesk", "rentdesk2"):
        second = rentdesk(program=program)
        assert second.wait_exit(timeout=2) == 1
        assert second.screen().text == LOCKED
    for args in (["check"], ["check", "--repair"], ["dump", "user.txt"],
                 ["init", "13", "--force"]):
        done = admin(shop.dir.path, *args)
        assert (done.returncode, done.stdout, done.stderr) == (1, "", ADMIN_LOCKED), args
    shop.dir.assert_unchanged(before)
    assert first.screen().text.endswith(NOBODY)  # the first counter never noticed

    first.key("esc")
    assert first.wait_exit() == 1
    third = rentdesk()
    third.wait_for(NOBODY)
    third.key("esc")
    assert third.wait_exit() == 1
    assert check(shop) == (0, SOUND)


def test_a_killed_counter_leaves_no_lock_behind(shop, rentdesk):
    first = rentdesk()
    first.wait_for(NOBODY)
    first.child.kill(signal.SIGKILL)
    assert first.close().signal == signal.SIGKILL
    second = rentdesk()
    second.wait_for(NOBODY)
    assert (shop.dir.path / "rentdesk.lock").exists()
    assert admin(shop.dir.path, "check").stderr == ADMIN_LOCKED
    second.key("esc")
    assert second.wait_exit() == 1
    assert check(shop) == (0, SOUND)
