# The day log over the scripted weeks (week.py): a folder set up and filled
# by rentdesk-admin and backed up, then the clerk's errands, with each
# payment's receipt handed to a command. The log, the cash-up, a client's and
# a copy's history and the receipts come out as golden/week*, and restore
# --until at three moments gives back the tables as they stood then, byte for
# byte. Then the ways the log can be damaged, as check reports them, and a
# receipt command that fails.

import shutil
import struct
import subprocess
from pathlib import Path

import pytest

import rd
from clerk import *  # noqa: F403
from week import WEEK, clock, pay, session

GOLDEN = Path(__file__).parent / "golden"
LOG = "daylog-2009-03.log"
# The three moments, each the start of an errand: the tables then are those
# the errand before it left.
MOMENTS = ["2009-03-02 10:00", "2009-03-09 10:02", "2009-03-19 09:02"]


def admin(folder, when, *args):
    return subprocess.run([str(rd.BUILD / "rentdesk-admin"), *args], cwd=folder, text=True,
                          capture_output=True, env=rd.env(when.split()[0], clock(when)),
                          timeout=120)


def tables(folder):
    return [(folder / T.FILE).read_bytes() for T in rd.TYPES]


@pytest.fixture(scope="module")
def week(tmp_path_factory):
    # The folder after the weeks, its backup from before them, and the tables
    # after each errand, by the errand's minute.
    root = tmp_path_factory.mktemp("week")
    folder, backups = root / "shop", root / "backups"
    folder.mkdir()
    backups.mkdir()
    # Thirty clients brought in after the backup: the table grows twice in
    # that one action, which restore --until replays.
    (root / "clients.csv").write_text("id,fname,lname,address,subdate,phone,months,fine\n" + "".join(
        f"{id},Eve,Lee,Main,2009-03-01,5,1,0\n" for id in range(101, 131)))
    for when, args in [("2009-03-01 08:00", ["init", "2"]),
                       ("2009-03-01 08:01", ["backup", "../backups"]),
                       ("2009-03-01 08:02", ["import", "clients", "../clients.csv"])]:
        assert admin(folder, when, *args).returncode == 0, args
    assert sum(c.id > 0 for c in rd.read(folder / "user.txt", rd.Client)) == 30
    after = {}
    for when, prog, steps in WEEK:
        s = session(folder, when, prog, args=["--receipts", "cat >> receipts.txt"])
        play(s, steps + [See(MENU_END), Key("esc")])
        assert s.status() == 1
        after[when] = tables(folder)
    return folder, next(backups.iterdir()), after


def test_the_log_cash_up_history_and_receipts_of_the_weeks(week):
    folder, _, _ = week
    assert (folder / LOG).read_text() == (GOLDEN / "week.log").read_text()
    assert (folder / "receipts.txt").read_text() == (GOLDEN / "week-receipts.txt").read_text()
    for name, args in [("week-cashup.txt", ["day", "--from", "2009-03-01", "--to", "2009-03-19"]),
                       ("week-day.csv", ["day", "--date", "2009-03-09", "--csv"]),
                       ("week-client.txt", ["history", "--client", "4"]),
                       ("week-copy.csv", ["history", "--movie", "10", "--copy", "1", "--csv"])]:
        run = rd.admin(folder, "report", *args)
        assert (run.returncode, run.stdout, run.stderr) == (0, (GOLDEN / name).read_text(), ""), name
    assert rd.admin(folder, "check").returncode == 0


@pytest.mark.parametrize("moment", MOMENTS)
def test_restore_until_a_moment_gives_the_tables_of_that_moment(week, tmp_path, moment):
    folder, backup, after = week
    trial = tmp_path / "shop"
    shutil.copytree(folder, trial)
    run = rd.admin(trial, "restore", str(backup), "--until", moment)
    assert run.returncode == 0, run.stderr
    errands = [when for when, _, _ in WEEK]
    assert tables(trial) == after[errands[errands.index(moment) - 1]]
    last = sorted(trial.glob("daylog-*.log"))[-1].read_text().splitlines()[-1].split("\t")
    assert last[2:5] + last[-1:] == ["rentdesk-admin restore", "restore", f"backup={backup.name}",
                                     f"until={moment}"]
    assert rd.admin(trial, "check").returncode == 0


def test_restore_until_redoes_a_compaction_on_the_way(week, tmp_path):
    # The weeks' tables compacted, then clients added into the compacted user.txt.
    folder, backup, _ = week
    trial = tmp_path / "shop"
    shutil.copytree(folder, trial)
    (tmp_path / "new.csv").write_text("id,fname,lname,address,subdate,phone,months,fine\n" +
                                      "".join(f"{id},Al,Bo,Oak,2009-03-20,5,1,0\n" for id in (901, 902)))
    assert admin(trial, "2009-03-20 08:00", "compact").returncode == 0
    assert tables(trial) != tables(folder)
    assert admin(trial, "2009-03-20 08:01", "import", "clients", "../new.csv").returncode == 0
    now = tables(trial)
    run = admin(trial, "2009-03-20 08:05", "restore", str(backup), "--until", "2009-03-20 08:02")
    assert run.returncode == 0, run.stderr
    assert tables(trial) == now


def other_history(backup):
    # The backup's last event as another shop would have it.
    log = next(backup.glob("daylog-*.log"))
    log.write_text(log.read_text().replace("slots=2", "slots=3"))


@pytest.mark.parametrize("until, tamper, why", [
    ("2009-03-01 08:00", None, "the backup was taken after that moment"),
    *((moment, None, "--until needs a moment") for moment in ("2009-03-02 9:00",
                                                             "2009-03-02 10:60")),
    ("2009-03-02 10:00", other_history, "(1) is not in this folder's day log"),
    ("2009-03-02 10:00", lambda b: next(b.glob("daylog-*.log")).unlink(),
     "the backup holds no day log"),
])
def test_restore_until_refuses_what_the_log_cannot_reach(week, tmp_path, until, tamper, why):
    folder, backup, _ = week
    trial, copy = tmp_path / "shop", tmp_path / backup.name
    shutil.copytree(folder, trial)
    shutil.copytree(backup, copy)
    if tamper:
        tamper(copy)
    run = rd.admin(trial, "restore", str(copy), "--until", until)
    assert run.returncode != 0 and why in run.stderr, run.stderr
    assert tables(trial) == tables(folder)


def cut_line(n):
    # Drops the n-th line of the log (1 is the first, -1 the last).
    def damage(folder):
        lines = (folder / LOG).read_text().splitlines(keepends=True)
        del lines[n - 1 if n > 0 else n]
        (folder / LOG).write_text("".join(lines))
    return damage


def drop_action(n):
    # Drops the n-th action of the after-images (1 is the first).
    def damage(folder):
        redo, at, records = (folder / LOG).with_suffix(".redo"), 0, []
        data = redo.read_bytes()
        while at < len(data):
            size = 48 + struct.unpack_from("<Q", data, at + 20)[0]
            records.append(data[at:at + size])
            at += size
        redo.write_bytes(b"".join(records[:n - 1] + records[n:]))
    return damage


@pytest.mark.parametrize("damage, said", [
    (cut_line(5), "line 5 holds event 6 where 5 was due (events 5 to 5 are missing)"),
    (lambda f: (f / LOG).write_text((f / LOG).read_text()[:-3]), "ends in the middle of a line"),
    (lambda f: (f / LOG).write_text("torn\n" + (f / LOG).read_text()),
     "line 1 is not a readable event"),
    (cut_line(-1), "the after-images end at event 32 but the log at event 31"),
    (drop_action(5), "the after-images (daylog-*.redo) miss events 5 to 5"),
    (lambda f: (f / LOG).unlink(), "the log ends at event 0: its newest lines are missing"),
])
def test_check_names_a_damaged_or_missing_piece_of_the_log(week, tmp_path, damage, said):
    folder, _, _ = week
    trial = tmp_path / "shop"
    shutil.copytree(folder, trial)
    damage(trial)
    run = rd.admin(trial, "check")
    assert run.returncode == 1 and said in run.stdout, run.stdout


def test_a_failing_receipt_command_loses_no_payment_and_is_told_at_the_next_start(tmp_path):
    rd.Shop(tmp_path).put(C(4, "Dan", "Lee", "2009-01-01")).write()
    s = session(tmp_path, "2009-03-05 10:00", "rentdesk", args=["--receipts", "exit 3"])
    play(s, [*pay(4, "1"), See(MENU_END), Key("esc")])
    assert s.status() == 1
    assert [(c.months, c.subdate) for c in rd.read(tmp_path / "user.txt", rd.Client)
            if c.id == 4] == [(1, "2009-03-05")]
    s = session(tmp_path, "2009-03-05 10:05", "rentdesk")
    s.expect(info("\n\n\n Receipts that could not be printed (receipt number: why):\n",
                  " 1: it ended with status 3\n", "\n Print them with: rentdesk-admin receipt "
                  "NUMBER"))
    s.key("x")
    s.see(MENU_END)
    s.key("esc")
    assert s.status() == 1 and not (tmp_path / "receipts-unprinted.txt").exists()
    assert rd.admin(tmp_path, "receipt", "1").stdout.splitlines()[-2] == "TOTAL" + " " * 32 + "200"
