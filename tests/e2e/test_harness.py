"""The harness itself: its record codecs and hashed-file model against files the
real programs write, and its terminal plumbing against small programs."""

import os
import random
import struct
import subprocess
from pathlib import Path

import pytest

from harness import (RECORD_TYPES, Client, Date, HashTable, Movie, Rent,
                     Reserve, Saved, SessionError, assert_table, binary, grown_slot_count,
                     next_prime)

KEYPROBE = ["/usr/bin/python3", str(Path(__file__).with_name("keyprobe.py"))]


# ---------------------------------------------------------------- records and files


@pytest.mark.parametrize("slots", [2, 12, 13, 100])
def test_init_writes_formatted_tables_the_model_reproduces(make_data_dir, slots):
    d = make_data_dir(slots)
    for rec_type in RECORD_TYPES:
        data = d.file(rec_type).read_bytes()
        assert data == HashTable.empty(rec_type, next_prime(slots)).to_bytes(), rec_type.FILE
        assert set(d.read(rec_type)) == {rec_type.blank()}


def test_records_lie_at_the_documented_offsets():
    layouts = {  # field: (offset, value), texts and dates by their first bytes
        Movie(name="Up", id=7, copy=2, diskstatus=9, rentdays=3, rented=1, saved=1):
            {"size": 44, 0: b"Up\0", 20: 7, 24: 2, 28: 9, 32: 3, 36: 1, 40: 1},
        Client(id=7, fname="Ann", lname="Lee", address="Elm", subdate=Date(2009, 3, 5),
               phone=5551234, months=2, fine=15):
            {"size": 64, 0: 7, 4: b"Ann\0", 16: b"Lee\0", 28: b"Elm\0", 40: 2009, 44: 3,
             48: 5, 52: 5551234, 56: 2, 60: 15},
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


def test_texts_are_zero_padded_and_must_leave_room_for_the_terminator():
    data = Client(id=1, fname="Zoë").encode()
    assert data[4:16] == "Zoë".encode() + bytes(8)
    assert Client(id=1, fname="a" * 11).encode()[4:16] == b"a" * 11 + b"\0"
    with pytest.raises(ValueError):
        Client(id=1, fname="a" * 12).encode()
    with pytest.raises(ValueError):
        Movie(name="ééééééééééé", id=1).encode()  # 11 letters, 22 bytes


def test_a_differing_slot_is_named_with_both_records(tmp_path):
    expected = HashTable.empty(Client, 13)
    expected.insert(Client(id=5, fname="Ann"))
    path = tmp_path / "user.txt"
    damaged = bytearray(expected.to_bytes())
    damaged[5 * 64 + 8] = ord("Z")  # a byte after the terminator of "Ann"
    damaged[7 * 64] = 0xFF          # slot 7 now reads as deleted
    path.write_bytes(bytes(damaged))
    with pytest.raises(AssertionError) as failure:
        assert_table(path, expected)
    message = str(failure.value)
    assert "user.txt: 2 slot(s) differ" in message
    assert "slot 5:" in message and "bytes 05000000416e6e00" in message
    assert "slot 7:\n    expected Client(id=0," in message
    assert "actual   Client(id=255," in message
    path.write_bytes(expected.to_bytes() + b"\0" * 64)
    with pytest.raises(AssertionError, match="14 slots\\), expected 832 bytes \\(13 slots"):
        assert_table(path, expected)


# ---------------------------------------------------------------- hashed file model


def test_probe_insert_search_and_tombstones_in_13_slots():
    t = HashTable.empty(Client, 13)
    assert list(t.probe(25)) == [12, 1, 3, 5, 7, 9, 11, 0, 2, 4, 6, 8, 10]
    assert t.insert(Client(id=25)) == 12
    assert t.insert(Client(id=12)) == 0   # probes 12 first, finds it live
    assert t.delete(25) == 12
    assert t.records[12] == Client(id=-1)
    assert t.find(12) == 0                # passes the deleted slot 12
    assert t.find(25) == -1 and t.find(0) == -1
    assert t.insert(Client(id=38)) == 12  # takes the deleted slot
    assert t.find(51) == -1               # 51 probes 12, 0, 1: stops at empty 1


def test_records_of_one_key_are_found_in_probe_order_not_slot_order():
    t = HashTable.empty(Reserve, 13)
    t.insert(Reserve(client=1, movie=5))  # slot 5
    t.insert(Reserve(client=2, movie=5))  # h2 = 6: slot 11
    t.insert(Reserve(client=3, movie=5))  # slot 4 (17 mod 13)
    assert [(s, r.client) for s, r in t.walk(5)] == [(5, 1), (11, 2), (4, 3)]
    assert t.find(5, lambda r: r.client == 3) == 4
    assert t.delete(5) == 5               # the first in probe order, whatever its client
    assert t.find(5) == 11


def test_sizes_grow_by_the_power_of_ten_of_the_digit_count():
    assert [next_prime(v) for v in (0, 1, 2, 4, 12, 24, 111, 1000, 1113)] == \
        [0, 1, 2, 5, 13, 29, 113, 1009, 1117]
    assert [grown_slot_count(n) for n in (2, 7, 13, 97, 113, 1117)] == \
        [13, 17, 113, 197, 1117, 11117]


def test_a_full_table_grows_keeping_old_slot_order_and_puts_the_newcomer_last():
    t = HashTable.empty(Movie, 13)
    t.insert(Movie(id=5, copy=1))         # slot 5
    t.insert(Movie(id=5, copy=2))         # slot 11
    t.insert(Movie(id=99, copy=1))
    t.delete(99)                          # a tombstone that the rebuild drops
    key = 100
    while any(not r.is_live for r in t.records):
        t.insert(Movie(id=key, copy=1))
        key += 1
    old_live = [r for r in t.records if r.is_live]
    assert t.insert(Movie(id=5, copy=3)) == 17  # 113 slots: 5, 11, 17 on id 5's path
    assert t.n == 113
    assert [(s, r.copy) for s, r in t.walk(5)] == [(5, 1), (11, 2), (17, 3)]
    assert len(t.live()) == 14 and all(r.key != -1 for r in t.records)
    assert t.scratch == old_live + [Movie(id=5, copy=3)]


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
    # Two slots to start with, so every table grows 2 -> 13 -> 113 along the way.
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
            d.assert_scratch(last_grown.scratch)
    assert all(t.n == 113 for t in models.values())


# ---------------------------------------------------------------- terminal plumbing


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


def test_typed_lines_are_echoed_and_end_of_input_ends_the_program(spawn):
    s = spawn(["/bin/cat"])
    s.type_line("hello there")
    assert s.wait_for("hello there\nhello there\n").text == "hello there\nhello there\n"
    s.timeout = 0.3
    with pytest.raises(SessionError, match="not waiting for a key"):
        s.key("up")
    status = s.close()
    assert (status.how, status.code) == ("eof", 0)


@pytest.mark.parametrize("no_color, on, off", [(False, b"\x1b[91m", b"\x1b[97m"),
                                               (True, b"\x1b[7m", b"\x1b[0m")])
def test_a_screen_is_the_exact_text_since_the_last_clear_with_its_highlight(
        spawn, no_color, on, off):
    s = spawn(KEYPROBE, date="2009-03-05", no_color=no_color)
    s.wait_for("|____no____|\n\n")
    s.key("down")
    screen = s.wait_for("|____no____|\n\n")
    indent = " " * 30
    assert screen.text == ("\n today 2009-03-05\n keys: down\n"
                           f"{indent} __________\n{indent}|____yes___|\n\n"
                           f"{indent} __________\n{indent}|____no____|\n\n")
    assert on + b"|____no____|\r\n\r\n" + off in screen.raw
    assert screen.highlighted() == [" __________\n", "|____no____|\n\n"]
    assert screen.highlighted_boxes() == ["no"]
    assert s.transcript().count("keys:") == 2


def test_keys_arrive_whole_even_right_after_a_lone_esc(spawn):
    s = spawn(KEYPROBE, escdelay_ms=100)
    s.wait_for("|____no____|\n\n")
    s.keys("down", "esc", "up", "esc", "esc", "enter", "left", "right", "y")
    screen = s.wait_for("keys: down esc up esc esc enter left right y\n")
    assert screen.highlighted_boxes() == ["yes"]
    s.key("l")
    s.type_line("two words")  # waits until the probe reads lines, so the echo shows
    assert s.wait_for(" got two words\n").text.endswith("\n line? two words\n got two words\n")
    s.key("q")
    assert s.wait_exit() == 1
    assert s.output.endswith(b"\x1b[0m")


def test_a_program_that_ignores_end_of_input_and_hangup_is_killed(spawn):
    s = spawn(["/usr/bin/python3", "-c",
               "import signal, sys, time\n"
               "signal.signal(signal.SIGHUP, signal.SIG_IGN)\n"
               "print('ready'); sys.stdout.flush()\n"
               "while True: time.sleep(0.05)\n"])
    s.wait_for("ready")
    status = s.close(grace=0.3)
    assert status.how == "killed" and status.signal == 9
    with pytest.raises(ProcessLookupError):
        os.kill(s.pid, 0)


def test_a_program_reading_keys_ends_on_hangup(spawn):
    s = spawn(KEYPROBE)
    s.wait_for("|____no____|\n\n")
    assert s.close().how == "hangup"
    with pytest.raises(ProcessLookupError):
        os.kill(s.pid, 0)
