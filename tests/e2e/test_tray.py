"""The window layer on the program's own resources: a host frame owning the tray icon, the
child view and the About box, driven from outside as the shell and a user would."""
import time

import pytest

import winrig

WM_CLOSE, WM_KEYDOWN, WM_COMMAND = 0x10, 0x100, 0x111
WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_MOUSEMOVE = 514, 515, 517, 512
WM_TRAY_NOTIFY = 1025
TRAY_ID = 131
WM_APP = 0x8000
PROBE, SHELL_FORGETS, HIDE_HIDE_SHOW, REMOVE, SHOW, SIZES = (WM_APP + n for n in range(1, 7))
ARTIFACTS = winrig.REPO / "build" / "e2e-artifacts"


class TrayHost:
    def __init__(self, wine, *args):
        self.log = wine.workdir / "trayhost.log"
        self.proc = wine.start(winrig.tool("trayhost"), winrig.winpath(self.log), *args)
        created = self.wait_line(lambda line: line.startswith("created "))
        _, ok, hwnd = created.split()
        assert ok == "1", "the tray icon was not added"
        self.hwnd = int(hwnd)
        self.ui = winrig.UiDriver(wine)
        self.seen = 0

    def lines(self):
        return winrig.read_lines(self.log)

    def wait_line(self, match, timeout=10):
        return winrig.wait_for(lambda: next((l for l in winrig.read_lines(self.log) if match(l)), None), timeout,
                               "a line in the host's log")

    def post(self, message, wparam=0, lparam=0):
        self.ui("post", self.hwnd, message, wparam, lparam)

    def step(self, message, prefix, wparam=0, lparam=0):
        """Posts a message and returns the first new log line starting with prefix."""
        start = len(self.lines())
        self.post(message, wparam, lparam)
        return winrig.wait_for(lambda: next((l for l in self.lines()[start:] if l.startswith(prefix)), None), 10,
                               f"'{prefix}' in the host's log")

    def click(self, mouse, keys=("escape",)):
        """A mouse message from the shell; keys go to the menu it opens. Returns the host's log lines."""
        start = len(self.lines())
        self.post(WM_TRAY_NOTIFY, TRAY_ID, mouse)
        assert self.ui("menu", 10000, *keys)[0] != "none", "no pop-up menu opened"
        winrig.wait_for(lambda: any(l.startswith("tray ") for l in self.lines()[start:]), 10, "the menu to close")
        return self.lines()[start:]


@pytest.fixture
def host(wine):
    return TrayHost(wine)


def test_clicks_open_the_tray_menu_and_a_double_click_opens_about(host):
    for mouse in (WM_RBUTTONUP, WM_LBUTTONUP):
        lines = host.click(mouse)
        # The update handler ran before the pop-up showed, and position 0 is the bold default.
        assert "popup default 0 first Disable Com Port" in lines
        assert f"tray {TRAY_ID} {mouse} -> 1" in lines

    # Choosing an item by position: Enable, Send Command, Setting, Help, About, Exit (separators
    # are skipped).
    host.click(WM_RBUTTONUP, winrig.tray_menu_keys("Exit"))
    host.wait_line(lambda l: l == "command 32775")

    # A message about another icon is answered 0 and opens nothing; mouse moves do nothing.
    assert host.step(WM_TRAY_NOTIFY, "tray ", 99, WM_RBUTTONUP) == f"tray 99 {WM_RBUTTONUP} -> 0"
    assert host.step(WM_TRAY_NOTIFY, "tray ", TRAY_ID, WM_MOUSEMOVE) == f"tray {TRAY_ID} {WM_MOUSEMOVE} -> 1"
    assert host.ui("nomenu", 1000) == ["none"]

    host.post(WM_TRAY_NOTIFY, TRAY_ID, WM_LBUTTONDBLCLK)
    about = host.ui.find("#32770", "About Dorvane")
    host.wait_line(lambda l: l == "command 57664")
    texts = host.ui.texts(about)
    assert "Dorvane" in texts
    controls = host.ui.children(about)
    assert controls[1007][1] == "Version 3.4 (160923) d"
    assert "Velmora" in controls[1008][1]
    host.ui("post", about, WM_CLOSE, 0, 0)
    line = host.wait_line(lambda l: l.startswith("tray ") and f" {WM_LBUTTONDBLCLK} " in l)
    assert line == f"tray {TRAY_ID} {WM_LBUTTONDBLCLK} -> 1"
    host.wait_line(lambda l: l == "about closed")


def test_the_icon_comes_back_after_hiding_and_after_the_shell_restarts(host):
    assert host.step(PROBE, "probe") == "probe present 1 tip DORVANE icon128 1"

    assert host.step(HIDE_HIDE_SHOW, "hide-hide-show") == "hide-hide-show calls 2"
    assert host.step(PROBE, "probe") == "probe present 1 tip DORVANE icon128 1"

    # The shell forgets every icon when its notification area is rebuilt, then broadcasts.
    assert host.step(SHELL_FORGETS, "forgotten") == "forgotten 1"
    assert host.step(PROBE, "probe") == "probe present 0 tip DORVANE icon128 1"
    host.ui("broadcast", "TaskbarCreated")
    winrig.wait_for(lambda: host.step(PROBE, "probe") == "probe present 1 tip DORVANE icon128 1", 10,
                    "the icon to be added again")

    assert host.step(REMOVE, "after-remove") == "after-remove tip 0 icon 0 calls 0"
    assert host.step(PROBE, "probe") == "probe present 0 tip  icon128 0"


def test_typing_reaches_the_users_window_after_the_tray_menu_and_about(wine, key_sink):
    host = TrayHost(wine)
    sink = f"{key_sink.hwnd} "

    def typed_after(text):
        before = len(key_sink.events())
        (wine.workdir / "text.txt").write_text(text)
        out = wine.workdir / "typeprobe.out"
        assert wine.run_tool(winrig.tool("typeprobe"), winrig.winpath(wine.workdir / "text.txt"), winrig.winpath(out),
                             out=out) == 0
        winrig.wait_for(lambda: [c for k, c in key_sink.events()[before:] if k == "char"] == [ord(c) for c in text],
                        10, f"'{text}' in the key sink")

    host.click(WM_RBUTTONUP)
    assert host.ui("foreground")[0].startswith(sink)
    typed_after("ab")

    host.post(WM_TRAY_NOTIFY, TRAY_ID, WM_LBUTTONDBLCLK)
    about = host.ui.find("#32770", "About Dorvane")
    host.ui("post", about, WM_CLOSE, 0, 0)
    host.wait_line(lambda l: l == "about closed")
    winrig.wait_for(lambda: host.ui("foreground")[0].startswith(sink), 5, "the key sink in front again")
    typed_after("cd")


def test_the_view_fills_the_frame_when_resized_and_clear_and_f1_are_commands(host):
    host.post(SHOW)
    for width, height in ((400, 300), (700, 520)):
        host.ui("move", host.hwnd, 50, 50, width, height)
        line = host.step(SIZES, "sizes")
        _, _, view, _, edit = line.split()
        assert view == edit, line
        assert int(view.split("x")[0]) > width - 40

    frame = next(l.split() for l in host.ui("windows") if l.startswith(f"{host.hwnd} "))
    assert frame[2:] == ["1", "none", frame[4], "DORVANE"]  # shown, no owner, caption

    # The edit control is the view's child with id 1; Clear empties it, and an empty one stays empty.
    edit = f"{0xE900}/1"
    for text in ("", "reading 4711"):
        host.ui("settext", host.hwnd, edit, text)
        assert host.step(WM_COMMAND, "command", 32778) == "command 32778"
        assert host.ui("text", host.hwnd, edit) == [""]

    assert host.step(WM_KEYDOWN, "command", 0x70, 1) == "command 57670"  # F1 is Help


def test_a_window_timer_ticks_until_killed(host):
    assert host.step(WM_APP + 8, "timer started") == "timer started 1"
    host.wait_line(lambda l: l == "timer killed 1")
    time.sleep(0.4)  # a timer still running would tick again meanwhile
    ticks = [int(l.split()[2]) for l in host.lines() if l.startswith("tick 1 ")]
    assert len(ticks) == 3
    assert all(later - earlier >= 80 for earlier, later in zip(ticks, ticks[1:])), ticks


def test_screenshot_of_every_tray_state_and_the_about_box(wine):
    host = TrayHost(wine, "gallery")
    host.post(WM_TRAY_NOTIFY, TRAY_ID, WM_LBUTTONDBLCLK)
    host.ui.find("#32770", "About Dorvane")
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    bmp = wine.workdir / "screen.bmp"
    host.ui("screenshot", winrig.winpath(bmp))
    rows = winrig.bmp_to_png(bmp, ARTIFACTS / "tray-and-about.png")
    colours = {pixel for row in rows for pixel in row}
    # The state pictures are on screen: magenta and cyan plugs, the red prohibition sign.
    for colour in ((255, 0, 255), (0, 255, 255), (255, 0, 0)):
        assert colour in colours, colour


def test_property_sheet_pages_take_their_values_and_refuse_a_non_number(host):
    SHEET = WM_APP + 7
    IDOK, IDCANCEL, APPLY = 1, 2, 0x3021
    host.post(SHEET)
    sheet = host.ui.find("#32770", "Setting")
    buttons = host.ui.children(sheet)
    assert buttons[IDOK][2] and buttons[IDCANCEL][2]
    assert APPLY not in buttons or not buttons[APPLY][2]
    general = int(host.ui("curpage", sheet)[0])
    assert host.ui("text", general, "self") == ["General"]
    assert host.ui("text", general, 1003) == ["3"] and host.ui("check", general, 1001) == ["1"]

    # Leaving the page with text that is no number: a message, and the page stays.
    host.ui("settext", general, 1003, "12x")
    host.ui("page", sheet, 1)
    box, text = host.ui("msgbox", 10000)[0].split(" ", 1)
    assert winrig.unescape(text) == "Please enter a whole number!"
    host.ui("answer", box, IDOK)
    assert int(host.ui("curpage", sheet)[0]) == general

    host.ui("settext", general, 1003, " 25 ")
    host.ui("setcheck", general, 1001, 0)
    host.ui("page", sheet, 1)
    advanced = winrig.wait_for(lambda: int(host.ui("curpage", sheet)[0]) != general and int(host.ui("curpage", sheet)[0]),
                               10, "the Advanced page")
    assert host.ui("text", advanced, "self") == ["Advanced"]
    assert host.ui("text", advanced, 1009) == ["start.txt"]
    host.ui("settext", advanced, 1009, "C:\\data\\scan log.txt")
    host.ui("setcheck", advanced, 1011, 1)
    host.ui("click", sheet, IDOK)
    line = host.wait_line(lambda l: l.startswith("sheet "))
    assert line == "sheet 1 count 25 crlf 0 record 1 file " + "C:\\data\\scan log.txt".replace("\\", "\\\\")

    lines_before = len(host.lines())
    host.post(SHEET)
    sheet = host.ui.find("#32770", "Setting")
    host.ui("settext", int(host.ui("curpage", sheet)[0]), 1003, "99")
    host.ui("click", sheet, IDCANCEL)
    winrig.wait_for(lambda: len(host.lines()) > lines_before, 10, "the sheet to close")
    assert host.lines()[-1].startswith("sheet 2 count 3 crlf 1 record 0")
