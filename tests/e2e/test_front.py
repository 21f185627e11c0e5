"""The real Dorvane.exe under Wine with windows in front that must never take a reading: another
copy's question or error box, and the shell's Search (a stand-in window in a process named as
Windows names Search's). Typing holds and the reading goes whole into the user's window once it
is back."""
import shutil
import time

import pytest

import winrig
from test_app import IDNO, IDOK, MENU_EXIT, SETTINGS_KEY, WM_CLOSE, Dorvane, set_value

PROFILES = SETTINGS_KEY.rsplit("\\", 1)[0] + r"\Profiles"
OWN_WINDOW_HELD = "send-key held: a window of this program is in front"
SHELL_HELD = "send-key held: the taskbar or the desktop is in front"


def set_profile_port(wine, name, port):
    assert wine.reg("add", rf"{PROFILES}\{name}", "/v", "COMPORT", "/t", "REG_SZ", "/d", port, "/f")[0] == 0


def chars(key_sink):
    return "".join(chr(c) for k, c in key_sink.events() if k == "char")


def in_front(ui, hwnd):
    return ui("foreground")[0].startswith(f"{hwnd} ")


def quit_question(scanner):
    """The scanner's copy asks "Quit from DORVANE?"; No answers it."""
    scanner.choose(MENU_EXIT)
    box, text = scanner.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text).startswith("Quit from DORVANE?"), text
    return box, IDNO


def error_box(scanner):
    """The scanner's copy cannot open its port: of the two error boxes it shows at start, the
    second is the one in front (between the two, the user's window is in front for a moment,
    and Wine drops the keys a window has not read when it loses the foreground)."""
    first, text = scanner.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text).startswith("*Error: Open com-port failed!"), text
    scanner.ui("answer", first, IDOK)

    def second_box():
        found, shown = scanner.ui("msgbox", 20000)[0].split(" ", 1)
        return (found, shown) if found != first else None

    box, text = winrig.wait_for(second_box, 20, "the second box")
    assert winrig.unescape(text).startswith("Enable comm service failed!"), text
    return box, IDOK


@pytest.mark.parametrize("question", [quit_question, error_box], ids=["quit question", "error box"])
def test_another_copys_box_in_front_holds_a_reading_until_the_users_window_is_back(wine, line, line13, key_sink,
                                                                                   question):
    set_profile_port(wine, "Scale 2", "COM13")
    set_profile_port(wine, "Scanner", "COM12" if question is quit_question else "COM14")  # COM14: no such port
    # The scanner's copy first: its frame is then the only one that Dorvane() can find.
    scanner = Dorvane(wine, "scanner", args=("/profile", "Scanner"))
    if question is quit_question:  # the error boxes come before the enable is done
        scanner.wait_trace("enable/disable dorvane, done")
    scale = Dorvane(wine, "scale", args=("/profile", "Scale 2"))
    scale.wait_trace("enable/disable dorvane, done")
    box, answer = question(scanner)
    assert "tray memu, done" not in scale.traces()  # the question is the scanner's, not the scale's own
    winrig.wait_for(lambda: in_front(scale.ui, box), 10, "the scanner's box in front")

    # The scale's reading: typed into the box, its CR would answer it by itself.
    line13.write(b"12.345\r")
    scale.wait_trace(OWN_WINDOW_HELD)
    time.sleep(0.5)
    assert scanner.proc.poll() is None
    assert scanner.ui("msgbox", 0)[0].startswith(f"{box} "), "the scanner's box was answered"
    assert chars(key_sink) == ""

    scanner.ui("answer", box, answer)
    winrig.wait_for(lambda: chars(key_sink) == "12.345\r", 15, "the reading whole in the user's window")
    assert in_front(scale.ui, key_sink.hwnd)
    assert scanner.proc.poll() is None


def test_a_reading_waits_while_search_is_in_front_and_goes_whole_into_the_users_window(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    # Windows' Search: a "Windows.UI.Core.CoreWindow" of SearchHost.exe; it is the process's
    # name that tells it from a packaged app's window of the same class.
    search_host = wine.workdir / "SearchHost.exe"
    shutil.copyfile(winrig.tool("uidriver"), search_host)
    out = wine.workdir / "search.out"
    search = wine.start(search_host, winrig.winpath(out), "standin", "Windows.UI.Core.CoreWindow", "Search", 60)
    standin = int(winrig.wait_for(lambda: winrig.read_lines(out), 20, "the stand-in for Search")[0])
    winrig.wait_for(lambda: in_front(app.ui, standin), 10, "Search in front")

    # Typed into Search, the reading would run a search and its CR launch the top result.
    line.write(b"4006381333931\r")
    app.wait_trace(SHELL_HELD)
    time.sleep(0.5)
    assert chars(key_sink) == ""
    assert "send-key goes on" not in app.traces()

    app.ui("post", standin, WM_CLOSE, 0, 0)
    assert search.wait(timeout=10) == 0
    winrig.wait_for(lambda: in_front(app.ui, key_sink.hwnd), 10, "the user's window back in front")
    winrig.wait_for(lambda: chars(key_sink) == "4006381333931\r", 15, "the reading whole in the user's window")
