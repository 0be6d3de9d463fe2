# The counter program itself: the main menu and its guards, an answer typed
# ahead, every way out, a run that passes midnight, bad answers at every kind
# of prompt, and its command line.

import os
import signal
import subprocess
import time

import pytest

import rd
from clerk import *  # noqa: F403


def test_menu_moves_refuses_and_exits(tmp_path):
    rd.Shop(tmp_path).put(ANN).write()
    s = rd.Session(tmp_path)
    s.expect(menu("5/3/2009"))
    assert s.lit() == [" " + "_" * 24 + "\n", LABELS[0] + "\n\n"]
    for key, draws in [(k, False) for k in ("up", "left", "right", "y", "5")] + [
            ("down", True)] * 6 + [("down", False)]:  # no wrapping at either end
        s.key(key)
        time.sleep(0.1)
        s.pump(0.05)
        assert (len(s.out) > s.mark) == draws, key
    assert s.screen() == menu("5/3/2009") and s.lit()[-1] == LABELS[6] + "\n\n"
    play(s, [Key("up")] * 5 + [Key("enter")])  # disconnect with nobody connected
    s.expect(menu("5/3/2009", error="No client is connected!"))
    play(s, login(7, "Ann Lee"))
    for entry, error in ((1, "A client is connected! disconnect to login other client"),
                         (4, "A client is connected, disconnect to enter option"),
                         (5, "A client is connected, disconnect to enter option"),
                         (6, "A client is connected, disconnect to enter this option"), (2, "")):
        play(s, [entry])
        s.expect(menu("5/3/2009", connected("Ann Lee") if entry != 2 else NOBODY, error))
    play(s, [7])
    assert s.status() == 1


def test_an_answer_typed_ahead_is_shown_when_its_prompt_comes_and_taken(tmp_path):
    rd.Shop(tmp_path).put(ANN).write()
    s = rd.Session(tmp_path)
    s.see(MENU_END)
    s.key("\r7\r")  # Enter on Client Login and the id, before the login screen is there
    s.see("The user is now logged into the system")
    assert b"Insert ID number \r\n7\r\n" in s.out
    play(s, [Key("x"), Msg(NO_RETURN), See(connected("Ann Lee")), Key("esc")])
    assert s.status() == 1


@pytest.mark.parametrize("how, typing", [("esc", 0), ("eof", 1), ("TERM", 0), ("INT", 1),
                                         ("INT", 0), ("HUP", 0)])
def test_every_way_out_ends_with_1_and_restores_the_terminal(tmp_path, how, typing):
    rd.Shop(tmp_path).write()
    s = rd.Session(tmp_path, prog="/bin/sh", args=["-c", f"stty -a > before; {rd.BUILD}/rentdesk; "
                                                         "echo $? > status; stty -a > after"])
    # at a prompt with half a line typed, or at the menu under a refused entry's error line
    play(s, [See(MENU_END)] + ([1, See(LOGIN)] if typing else [2, See("Error: No client")]))
    if typing:
        s.line("12", end="")
    if how in ("esc", "eof"):
        s.key("esc") if how == "esc" else s.send(b"\x04\x04")
    else:
        pid = subprocess.run(["pgrep", "-P", str(s.p.pid)], capture_output=True, text=True).stdout
        os.kill(int(pid.split()[0]), getattr(signal, "SIG" + how))
    assert s.status() == 0 and (tmp_path / "status").read_text() == "1\n"
    # colours reset, the cursor on a line of its own (Esc leaves a cleared screen)
    assert s.out.endswith(b"\x1b[2J\x1b[0m" if how == "esc" else b"\x1b[0m\r\n")
    assert (tmp_path / "before").read_text() == (tmp_path / "after").read_text()


def test_input_that_ends_or_cannot_be_read_ends_the_program(tmp_path):
    rd.Shop(tmp_path).write()
    for stdin in (subprocess.DEVNULL, os.open(tmp_path, os.O_RDONLY)):
        run = subprocess.run([rd.BUILD / "rentdesk"], cwd=tmp_path, stdin=stdin, timeout=10,
                             capture_output=True)
        assert run.returncode == 1


NO_SHOP = "Error opening input file \\ressavmov.txt!  End of program..\n"  # and no stray colours
HINT = "rentdesk: this data folder holds no shop. To make one: {0} init 101; to try a demo shop: {0} demo\n"
COMMAND_LINE = [  # arguments, in a folder without a shop but "user.txt"; status; output; errors
    (["--help"], 0, "rentdesk-admin --data DIR init", ""), (["--version"], 0, "rentdesk 1.0.0\n", ""),
    (["rentdesk2", "--version"], 0, "rentdesk2 1.0.0\n", ""),
    (["--bad"], 2, "", "usage"), (["--data"], 2, "", "rentdesk: --data needs a folder\n"),
    (["--data", "my $hop`s"], 1, NO_SHOP, HINT.format('rentdesk-admin --data "my \\$hop\\`s"')),
    (["--data", "nowhere"], 1, "", "rentdesk: the data folder nowhere cannot be used: No such file "
                                   "or directory\n"),
    (["--data", "a"], 1, NO_SHOP, HINT.format("rentdesk-admin --data a")),
    ([], 1, NO_SHOP, "")]  # a shop with files missing gets no advice to make one


@pytest.mark.parametrize("args, status, out, err", COMMAND_LINE)
def test_command_line(tmp_path, args, status, out, err):
    for folder in ("my $hop`s", "a"):
        (tmp_path / folder).mkdir()
    (tmp_path / "user.txt").write_bytes(bytes(64 * 13))
    prog = args.pop(0) if args[:1] == ["rentdesk2"] else "rentdesk"
    run = subprocess.run([rd.BUILD / prog, *args], cwd=tmp_path, capture_output=True, text=True,
                         stdin=subprocess.DEVNULL)
    assert run.returncode == status and out in run.stdout and err in run.stderr
    assert run.stderr.count("usage: ") == (status == 2)  # every refusal of its arguments
    assert status != 1 or (run.stdout, run.stderr) == (out, err)


def test_a_run_that_passes_midnight_releases_the_holds_that_ran_out(tmp_path):
    shop = rd.Shop(tmp_path).put(ANN, M(4, 1, "Up", saved=1), H(7, 4, 1, "2009-03-01")).write()
    s = rd.Session(tmp_path, date="2009-03-08 23:59:59")
    s.see(MENU_END)
    shop.check()  # still the 8th: the hold stands
    time.sleep(1.5)
    play(s, [6, Esc(MOVIE_Q), See(MENU_END)])  # the last entry but Exit takes the new day too
    shop[rd.Saved].delete(7)
    shop[rd.Movie].set(4, saved=0)
    shop.check()


ADD = [5, Yes(CLIENT_Q), See("Insert identification number\n")]
NEW_MOVIE = [6, Yes(MOVIE_Q), See("\n insert movie ID: \n")]
BAD_INPUT = [  # how to reach the prompt, the prompt asked again, answers it refuses
    ([1], "\n Insert ID number \n", ["", "abc", "2147483648", "-2147483649", "   "]),
    ([1, "8", See("subscription!\n")], "\nInsert number of months for new subscription!\n",
     ["-1", "1201", "x"]),
    (ADD, "\n\n\n Insert identification number\n", ["0", "-3", "x1"]),
    (ADD + ["21", See("first name\n")], "\n Insert client first name\n", ["", "\x01\x02", "\x1b[A"]),
    (ADD + ["21", "Ann", "Lee", "Main"], "phone number(without bar's!)\n", ["-5", "2147483648"]),
    ([5, No(CLIENT_Q), See(REMOVE)], " Insert client ID number to delete!\n", ["0", "abc"]),
    (NEW_MOVIE, "\n insert movie ID: \n", ["0", "", "x"]),
    (NEW_MOVIE + ["30", See("name: \n ")], "\n\n\n insert movie name: \n ", ["", "   "]),
    (NEW_MOVIE + ["30", See("name: \n "), "Jaws"], "\n insert days to rent:\n ", ["-1", "x"]),
    ([6, No(MOVIE_Q), See("for remove:\n ")], "\n\n\n Insert movie ID for remove:\n ", ["0", "x"]),
]


@pytest.mark.parametrize("path, prompt, answers", BAD_INPUT)
def test_bad_answers_are_asked_again_and_store_nothing(tmp_path, path, prompt, answers):
    shop = rd.Shop(tmp_path).put(C(8, "Ben", "Cohen", "2009-01-10"), M(4, 1, "Alien")).write()
    s = rd.Session(tmp_path)
    play(s, path)
    for answer in answers:
        s.line(answer)
        s.see(prompt)
    s.p.close(force=True)
    shop.check()
