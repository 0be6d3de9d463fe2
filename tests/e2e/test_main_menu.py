"""The main menu, its guards, the yes/no dialog's keys, and every way the
program ends, on the real program."""

import subprocess
import time

import pytest

from harness import Date, Movie, Saved, binary
from shop import INDENT, NOBODY, NOT_FOUND_ID, Shop, connected, dialog, log_in

PROMPT = " Please select your chiose by keyboard... exit with ESC"
LABELS = [
    "|______Client Login______|", "|___Client Disconnect____|", "|____Search For Movie____|",
    "|____Update Saved List___|", "|____Add/Remove Client___|", "|____Add/Remove Movie____|",
    "|__________Exit__________|",
]
NAMES = [label.strip("|_") for label in LABELS]


def menu_text(date_line, client_line=NOBODY, error=""):
    text = f"\n\n {date_line}        {PROMPT}\n\n"
    for label in LABELS:
        text += f"{INDENT} {'_' * 24}\n{INDENT}{label}\n\n"
    return text + client_line + (f"Error: {error}" if error else "")


@pytest.mark.parametrize("program", ["rentdesk", "rentdesk2"])
def test_first_menu_shows_date_prompt_boxes_and_nobody_connected(rentdesk, program):
    s = rentdesk(date="2009-03-05", program=program)
    screen = s.wait_for(NOBODY)
    assert screen.text == menu_text("5/3/2009")
    assert screen.highlighted() == [" " + "_" * 24 + "\n", LABELS[0] + "\n\n"]
    s.key("esc")
    assert s.wait_exit() == 1


def test_highlight_moves_with_the_arrows_stops_at_both_ends_and_exit_ends_with_1(rentdesk):
    s = rentdesk(date="2026-12-31")
    assert s.wait_for(NOBODY).text == menu_text("31/12/2026")
    s.key("up")  # already on the first entry: nothing is drawn
    s.wait_quiet(0.2)
    assert s.output_since_send() == b""
    for entry in range(1, 7):
        s.key("down")
        assert s.wait_for(NOBODY).highlighted_boxes() == [NAMES[entry]]
    s.key("down")  # already on Exit
    s.wait_quiet(0.2)
    assert s.output_since_send() == b""
    for key in ("left", "right", "y", "5"):  # keys the menu does not act on
        s.key(key)
        s.wait_quiet(0.1)
        assert s.output_since_send() == b""
    s.key("up")
    assert s.wait_for(NOBODY).highlighted_boxes() == ["Add/Remove Movie"]
    s.key("enter")  # movie maintenance opens with its dialog; Esc leaves it
    s.wait_for("|____no____|\n\n")
    s.key("esc")
    assert s.wait_for(NOBODY).highlighted_boxes() == ["Client Login"]  # each menu starts on 1
    for _ in range(6):
        s.key("down")
        screen = s.wait_for(NOBODY)
    assert screen.highlighted_boxes() == ["Exit"]
    s.key("enter")
    assert s.wait_exit() == 1


def test_refused_entries_show_their_error_under_the_next_menu_only(rentdesk, data_dir):
    shop = Shop(data_dir)
    shop.client(25, "Ann", "Lee", "2009-03-01")
    shop.write()
    s = rentdesk(date="2009-03-05")
    s.wait_for(NOBODY)
    s.keys("down", "enter")  # disconnect with nobody connected
    assert s.wait_for("Error: No client is connected!").text == menu_text(
        "5/3/2009", error="No client is connected!")
    s.keys("down", "down", "enter")  # the offline search is never refused
    s.wait_for("\n Insert movie name \n")
    s.type_line("Nothing")
    s.wait_for("\n\n\n The movie wasn't found in database\n")
    s.key("x")
    s.wait_for("|____no____|")
    s.key("esc")
    assert s.wait_for(NOBODY).text == menu_text("5/3/2009")  # the error was shown once

    log_in(s, 25, "Ann Lee")
    ann = connected("Ann Lee")
    refusals = {0: "A client is connected! disconnect to login other client",
                3: "A client is connected, disconnect to enter option",
                4: "A client is connected, disconnect to enter option",
                5: "A client is connected, disconnect to enter this option"}
    for entry, error in refusals.items():
        s.keys(*["down"] * entry)
        s.wait_for(ann)
        s.key("enter")
        assert s.wait_for("Error: " + error).text == menu_text("5/3/2009", ann, error)
    s.keys("down", "enter")  # disconnect
    assert s.wait_for(NOBODY).text == menu_text("5/3/2009")


def test_dialog_answers_with_enter_down_enter_and_esc_and_ignores_y_and_n(rentdesk, data_dir):
    s = rentdesk()
    s.wait_for(NOBODY)
    s.key("enter")
    s.wait_for("\n Insert ID number \n")
    s.type_line("999")  # nobody has that id: the search-again dialog
    screen = s.wait_for("|____no____|\n\n")
    assert screen.text == dialog(NOT_FOUND_ID)
    assert screen.highlighted_boxes() == ["yes"]
    for key in ("y", "n", "Y", "N", "left", "right", "up"):
        s.key(key)
        s.wait_quiet(0.1)
        assert s.output_since_send() == b"", key
    s.key("down")
    assert s.wait_for("|____no____|\n\n").highlighted_boxes() == ["no"]
    s.key("down")  # already on no
    s.wait_quiet(0.1)
    assert s.output_since_send() == b""
    s.key("up")
    assert s.wait_for("|____no____|\n\n").highlighted_boxes() == ["yes"]
    s.key("enter")  # yes: the login screen again
    s.wait_for("\n Insert ID number \n")
    s.type_line("999")
    s.wait_for("|____no____|\n\n")
    s.keys("down", "enter")  # no: back to the menu
    s.wait_for(NOBODY)
    s.key("enter")
    s.wait_for("\n Insert ID number \n")
    s.type_line("0")  # ids below 1 are never found
    s.wait_for("|____no____|\n\n")
    s.key("esc")  # Esc: back to the menu
    assert s.wait_for(NOBODY).highlighted_boxes() == ["Client Login"]
    s.key("esc")
    assert s.wait_exit() == 1


def test_no_color_shows_the_chosen_box_in_reverse_video(rentdesk):
    s = rentdesk(no_color=True)
    screen = s.wait_for(NOBODY)
    assert b"\x1b[7m " + b"_" * 24 in screen.raw
    assert b"\x1b[91m" not in screen.raw and b"\x1b[97m" not in screen.raw
    assert screen.highlighted_boxes() == ["Client Login"]


@pytest.mark.parametrize("ending", ["esc", "end of input at a typed line", "SIGTERM at a key",
                                    "SIGTERM at a typed line", "SIGINT at a typed line",
                                    "SIGHUP at a key"])
def test_every_way_out_ends_with_status_1_and_the_terminal_restored(spawn, data_dir, ending):
    """The program's status, and stty's view of the terminal before the
    program and after it ended."""
    sh = spawn(["/bin/sh", "-c", f"stty -a > before; {binary('rentdesk')}; echo $? > status; "
                "stty -a > after"], cwd=data_dir.path)
    sh.wait_for(NOBODY)
    if "typed line" in ending:
        sh.key("enter")
        sh.wait_for("\n Insert ID number \n")
        sh.type_line("12", end="")  # half a line typed
    if ending == "esc":
        sh.key("esc")
    elif ending.startswith("end of input"):
        sh.send("\x04\x04")  # the half line, then end of input
    else:
        pid = subprocess.run(["pgrep", "-P", str(sh.pid)], capture_output=True,
                             text=True).stdout.split()[0]
        subprocess.run(["kill", "-" + ending.split()[0][3:], pid], check=True)
    assert sh.wait_exit() == 0
    assert (data_dir.path / "status").read_text() == "1\n"
    assert sh.output.endswith(b"\x1b[0m")  # colours reset on the way out
    assert (data_dir.path / "before").read_text() == (data_dir.path / "after").read_text()


def test_end_of_piped_input_ends_the_program(data_dir):
    for keys in (b"", b"\x1b[B\x1b[B", b"\r12\n", b"\x1b[B\x1b[B\x1b[B\r"):
        run = subprocess.run([str(binary("rentdesk"))], cwd=data_dir.path, input=keys,
                             capture_output=True, timeout=10)
        assert run.returncode == 1, keys


def test_arguments_other_than_help_and_version_are_refused(data_dir):
    for program in ("rentdesk", "rentdesk2"):
        helped = subprocess.run([str(binary(program)), "--help"], capture_output=True, text=True)
        assert helped.returncode == 0 and "rentdesk-admin init" in helped.stdout
        version = subprocess.run([str(binary(program)), "--version"], capture_output=True,
                                 text=True)
        assert version.returncode == 0 and version.stdout.startswith(program + " ")
        bad = subprocess.run([str(binary(program)), "--data"], capture_output=True, text=True,
                             cwd=data_dir.path)
        assert bad.returncode == 2 and "usage" in bad.stderr


def test_a_run_that_passes_midnight_releases_the_holds_that_ran_out(rentdesk, data_dir):
    """A hold dated 1 March stands through 8 March; a run started just before
    midnight on the 8th releases it at the first choice made on the 9th."""
    shop = Shop(data_dir)
    shop.client(25, "Ann", "Lee", "2009-03-01")
    copy = shop.put(Movie(name="Up", id=4, copy=1, diskstatus=8, rentdays=3, saved=1))
    shop.put(Saved(client=25, movie=4, copy=1, savedate=Date(2009, 3, 1)))
    shop.write()
    s = rentdesk(date="2009-03-08 23:59:59")
    s.wait_for(NOBODY)
    shop.assert_files()  # still the 8th: the hold stands
    time.sleep(1.5)
    s.keys("down", "enter")  # any entry after midnight
    s.wait_for("Error: No client is connected!")
    shop.delete(Saved, 25)
    shop.change(Movie, copy, saved=0)
    shop.assert_files()
