"""The harness itself, where the suite's verdicts rest on it: the record
layouts and hashed-file model that compute every expected file, checked
against the store's own operations, and the fixed clock."""

import random
import struct
import subprocess

import pytest

from harness import RECORD_TYPES, Client, Date, Movie, Rent, Reserve, Saved, binary


def test_records_lie_at_the_documented_offsets():
    layouts = {  # field: (offset, value), texts and dates by their first bytes
        Movie(name="Up", id=7, copy=2, diskstatus=9, rentdays=3, rented=1, saved=1):
            {"size": 44, 0: b"Up\0", 20: 7, 24: 2, 28: 9, 32: 3, 36: 1, 40: 1},
        Client(id=7, fname="Zoë", lname="Lee", address="Elm", subdate=Date(2009, 3, 5),
               phone=5551234, months=2, fine=15):
            {"size": 64, 0: 7, 4: "Zoë".encode() + bytes(8), 16: b"Lee\0", 28: b"Elm\0",
             40: 2009, 44: 3, 48: 5, 52: 5551234, 56: 2, 60: 15},
        Rent(client=7, rentdate=Date(2009, 3, 5), movie=4, copy=2, rentdays=3):
            {"size": 28, 0: 7, 4: 2009, 8: 3, 12: 5, 16: 4, 20: 2, 24: 3},
        Reserve(client=7, movie=4, callnotice=1, resdate=Date(2009, 3, 5)):
            {"size": 24, 0: 7, 4: 4, 8: 1, 12: 2009, 16: 3, 20: 5},
        Saved(client=7, movie=4, copy=2, savedate=Date(2009, 3, 5)):
            {"size": 24, 0: 7, 4: 4, 8: 2, 12: 2009, 16: 3, 20: 5},
    }
    for rec, fields in layouts.items():
        data = rec.encode()
        assert len(data) == fields.pop("size") == rec.SIZE
        for offset, want in fields.items():
            if isinstance(want, bytes):
                assert data[offset:offset + len(want)] == want, (rec, offset)
            else:
                assert struct.unpack_from("<i", data, offset)[0] == want, (rec, offset)
        assert type(rec).decode(data) == rec
    assert Client(id=1, fname="a" * 11).encode()[4:16] == b"a" * 11 + b"\0"
    with pytest.raises(ValueError):  # no room left for the terminator
        Movie(name="ééééééééééé", id=1).encode()


def _random_record(rec_type, rng, key):
    date = Date(rng.choice([2008, 2009]), rng.randint(1, 12), rng.randint(1, 28))
    word = rng.choice(["Ann", "Bo", "Zoë", "Christopher", "x", ""])
    small = rng.randint(0, 3)
    return {
        Movie: lambda: Movie(name=rng.choice(["Up", "Alien", "Amélie", "The Third Man"]), id=key,
                             copy=small, diskstatus=rng.randint(1, 10), rentdays=small),
        Client: lambda: Client(id=key, fname=word, lname=word[::-1], address="Elm 4",
                               subdate=date, phone=rng.randint(0, 99999999), months=small),
        Rent: lambda: Rent(client=key, rentdate=date, movie=rng.randint(1, 9), copy=small),
        Reserve: lambda: Reserve(client=small, movie=key, callnotice=small % 2, resdate=date),
        Saved: lambda: Saved(client=key, movie=rng.randint(1, 9), copy=small, savedate=date),
    }[rec_type]()


def _delete_rule(rec):
    """The fields the store's delete of each table identifies a record by."""
    if isinstance(rec, Movie):
        return lambda r: r.copy == rec.copy
    return lambda r: True


def test_the_model_places_records_exactly_where_the_store_does(make_data_dir):
    # Two slots to start with, so every table grows 2 -> 13 -> 113 along the
    # way; keys from 1 to 40, so records share keys and deletes leave
    # tombstones on other records' paths.
    d = make_data_dir(2)
    rng = random.Random(20090305)
    models = {t: d.table(t) for t in RECORD_TYPES}
    last_grown = None
    for batch in range(8):
        script = []
        for _ in range(60):
            rec_type = rng.choice(RECORD_TYPES)
            t = models[rec_type]
            live = t.live()
            if live and rng.random() < 0.35:
                rec = rng.choice(live)[1] if rng.random() < 0.8 else \
                    _random_record(rec_type, rng, rng.randint(1, 40))
                if rec_type is Reserve and rng.random() < 0.5:
                    t.delete(rec.key, lambda r: r.client == rec.client)
                    script.append(f"delete-client {rec.FILE} {rec.encode().hex()}")
                else:
                    t.delete(rec.key, _delete_rule(rec))
                    script.append(f"delete {rec.FILE} {rec.encode().hex()}")
            else:
                rec = _random_record(rec_type, rng, rng.randint(1, 40))
                n = t.n
                t.insert(rec)
                last_grown = t if t.n != n else last_grown
                script.append(f"insert {rec.FILE} {rec.encode().hex()}")
        subprocess.run([str(binary("tests/e2e_store_driver"))], cwd=d.path, check=True,
                       input="\n".join(script) + "\n", text=True, capture_output=True)
        for t in models.values():
            d.assert_table(t)
        if last_grown:
            d.assert_scratch(last_grown.scratch, last_grown.rec_type)
    assert all(t.n == 113 for t in models.values())


def test_the_clock_starts_at_the_given_moment_and_runs_on(spawn):
    # Every process that starts begins at the given moment; within one it runs on.
    probe = ("import time\n"
             "print(time.strftime('%F %T %Z')); time.sleep(1.1); print(time.strftime('%T'))\n")
    s = spawn(["/usr/bin/python3", "-c", probe], date="2009-03-05 23:59:59")
    assert s.wait_exit() == 0
    first, second = s.screen().text.split("\n")[:2]
    assert first in ("2009-03-05 23:59:59 UTC", "2009-03-06 00:00:00 UTC")
    assert second in ("00:00:00", "00:00:01", "00:00:02")


def test_timeouts_and_sleeps_keep_their_real_length_under_the_fixed_clock(spawn):
    probe = ("import datetime, select, time\n"
             "t = time.monotonic(); select.poll().poll(100); a = time.monotonic() - t\n"
             "t = time.monotonic(); time.sleep(0.1); b = time.monotonic() - t\n"
             "print(datetime.date.today(), round(a, 2), round(b, 2))\n")
    s = spawn(["/usr/bin/python3", "-c", probe], date="2009-03-05")
    assert s.wait_exit() == 0
    day, poll, sleep = s.screen().text.split()
    assert day == "2009-03-05"
    assert 0.09 <= float(poll) < 1 and 0.09 <= float(sleep) < 1
