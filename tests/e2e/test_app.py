"""The real Dorvane.exe under Wine: start-up, the service switch, the tray's menu and tooltip,
quitting, the single-instance rule and the settings it leaves, with a pty as its COM port and
the key sink holding the focus."""
import collections
import os
import threading
import time

import winrig
from test_keystrokes import expected_typing, received, split_events, type_text

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"
WM_CLOSE, WM_COMMAND, WM_MOUSEMOVE, WM_RBUTTONUP = 0x10, 0x111, 512, 517
TOGGLE = 32773
WM_SERVICE_OFF = 0x8002
WM_TRAY_NOTIFY, TRAY_ID = 1025, 131
IDOK, IDYES, IDNO = 1, 6, 7
MENU_EXIT = winrig.tray_menu_keys("Exit")
MENU_TOGGLE = winrig.tray_menu_keys("Enable Com Port")


def set_value(wine, name, kind, data):
    assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", data, "/f")[0] == 0


def stored_names(wine):
    code, out = wine.reg("query", SETTINGS_KEY)
    assert code == 0, out
    return {line.split()[0] for line in out.splitlines() if "REG_" in line}


class Dorvane:
    """Dorvane.exe run under the debug-output catcher; its hidden main window found by class."""

    def __init__(self, wine, name="dorvane", exe=None, args=()):
        self.wine = wine
        self.records = wine.workdir / f"{name}-records.txt"
        self.proc = wine.start(winrig.tool("dbgcatch"), winrig.winpath(self.records),
                               exe or winrig.BUILD_WIN / "Dorvane.exe", *args)
        self.ui = winrig.UiDriver(wine)
        self.hwnd = self.ui.find("Dorvane:*", "DORVANE", 20000, "hidden")

    def traces(self):
        return [winrig.unescape(r).rstrip("\r\n") for r in winrig.read_lines(self.records)]

    def wait_trace(self, text, count=1, timeout=20):
        return winrig.wait_for(lambda: self.traces().count(text) >= count, timeout, f"trace '{text}' x{count}")

    def wait_held(self, count=1, timeout=20):
        """The typing held `count` times; the first reason traced may be the moment of the switch
        when no window is in front."""
        return winrig.wait_for(lambda: sum(t.startswith("send-key held: ") for t in self.traces()) >= count, timeout,
                               f"typing held x{count}")

    def tray(self, mouse):
        self.ui("post", self.hwnd, WM_TRAY_NOTIFY, TRAY_ID, mouse)

    def tooltip(self):
        """The tooltip the shell shows after the mouse moves over the icon."""
        self.tray(WM_MOUSEMOVE)
        time.sleep(0.3)
        return next((winrig.unescape(t) for t in self.ui("tooltips") if t.startswith("DORVANE")), None)

    def choose(self, keys):
        self.tray(WM_RBUTTONUP)
        assert self.ui("menu", 10000, *keys)[0] != "none", "the tray menu did not open"

    def greyed_menu_items(self):
        """The tray menu's items drawn greyed, as the user sees them (Wine keeps a menu's state
        in its own process): in a screenshot of the open menu each item is a band of ink, a
        separator one pixel high, and a greyed item's darkest pixel is grey, not black."""
        self.tray(WM_RBUTTONUP)
        menu = self.ui("menu", 10000)[0]
        assert menu != "none", "the tray menu did not open"
        labels = winrig.tray_menu_labels()
        rect = tuple(map(int, self.ui("rect", menu)[0].split()))

        def drawn():  # looked at again until every item is drawn: a loaded machine paints late
            items = self._menu_items(rect)
            return items if len(items) == len(labels) else None

        items = winrig.wait_for(drawn, 10, "every item of the tray menu drawn")
        self.ui("menu", 1000, "escape")
        return {label for label, darkest in zip(labels, items) if darkest > 3 * 64}

    def _menu_items(self, rect):
        """The darkest pixel of each item in a screenshot of the menu at `rect`."""
        bmp = self.wine.workdir / "menu.bmp"
        self.ui("screenshot", winrig.winpath(bmp))
        rows = winrig.bmp_to_png(bmp, bmp.with_suffix(".png"), crop=rect)
        paper = collections.Counter(pixel for row in rows for pixel in row).most_common(1)[0][0]
        bands, band = [], []
        for row in rows + [[]]:
            ink = [sum(pixel) for pixel in row[3:-3] if pixel != paper]
            if ink:
                band.append(min(ink))
            elif band:
                bands.append(band)
                band = []
        return [min(band) for band in bands if len(band) > 3]  # separators and the frame are thinner

    def answer_box(self, expected_start, button=IDOK):
        box, text = self.ui("msgbox", 20000)[0].split(" ", 1)
        text = winrig.unescape(text)
        assert text.startswith(expected_start), text
        self.ui("answer", box, button)
        return text


# A pace the key sink keeps up with (it reads about 120 characters a second under Wine), for the
# tests where another window takes the front in the middle of a reading: Wine drops the keys a
# window has not read yet when it loses the foreground, and unpaced the whole reading would be
# injected, and then dropped, before the switch. On Windows a key message is posted to the window
# with the keyboard focus (WM_KEYDOWN reference) and stays in its thread's queue.
MID_READING_PACE = ("TYPE_DELAY_MS", "REG_DWORD", "10")


# The tray pictures' tell-tale colours: the prohibition sign of "disabled", the cyan of
# "sending", the magenta plug of "receiving"; the idle picture has none of them.
TRAY_COLOURS = {(255, 0, 0): "disabled", (0, 255, 255): "sending", (255, 0, 255): "receiving"}


def tray_picture(app):
    """What the shell draws in the notification area (the desktop's bottom-right corner) now."""
    bmp = app.wine.workdir / "tray.bmp"
    app.ui("screenshot", winrig.winpath(bmp))
    colours = winrig.bmp_colours(bmp, 40, 20)
    return {name for colour, name in TRAY_COLOURS.items() if colour in colours} or {"idle"}


def start_disabled(wine):
    """Dorvane started on the missing COM13: both error boxes answered, the service off."""
    set_value(wine, "COMPORT", "REG_SZ", "COM13")
    app = Dorvane(wine)
    app.answer_box("*Error: Open com-port failed!\t\n")
    app.answer_box("Enable comm service failed!\t")
    app.wait_trace("enable/disable dorvane, done")
    return app


def test_the_road_of_one_reading_and_the_service_switch(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    lookups, _ = type_text(wine, "12345\r\n")  # the layout's keys for the reading, as typing sees them
    expected_keys, expected_chars = expected_typing(lookups)
    received(key_sink, len(expected_keys))
    typed_before = len(key_sink.events())
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    traces = app.traces()
    start = traces.index("start app instance")
    assert traces[start:start + 3] == ["start app instance", "create main window", "create frame"]
    assert "start app instance, done" in traces and "set service, done" in traces

    line.write(b"12345\r\n")
    keys = winrig.wait_for(lambda: (lambda k: k if len(k) >= len(expected_keys) else None)(
        split_events(key_sink.events()[typed_before:])[0]), 15, "the reading in the key sink")
    assert keys == expected_keys
    assert split_events(key_sink.events()[typed_before:])[1] == expected_chars
    assert app.tooltip() == "DORVANE [Send], Enabled @ COM12\nCOM read: 7, Sent Key: 7"

    # Off and on again from the menu's default item: the counters survive.
    app.choose(MENU_TOGGLE)
    app.wait_trace("enable/disable dorvane, done", 2)
    assert app.tooltip() == "DORVANE, Disabled"
    app.choose(MENU_TOGGLE)
    app.wait_trace("enable/disable dorvane, done", 3)
    assert app.tooltip() == "DORVANE [Send], Enabled @ COM12\nCOM read: 7, Sent Key: 7"

    # Exit while enabled asks; No keeps it running, Yes ends it and takes the icon away.
    app.choose(MENU_EXIT)
    app.answer_box("Quit from DORVANE?\t", IDNO)
    assert app.tooltip().startswith("DORVANE [Send]")
    assert app.ui("trayicon", app.hwnd, TRAY_ID) == ["1"]
    app.choose(MENU_EXIT)
    app.answer_box("Quit from DORVANE?\t", IDYES)
    assert app.proc.wait(timeout=20) == 0
    assert app.ui("trayicon", app.hwnd, TRAY_ID) == ["0"]


def test_a_start_without_the_device_and_a_second_copy(wine):
    set_value(wine, "COMPORT", "REG_SZ", "COM13")
    set_value(wine, "SENDKB_RCVCHARS", "REG_DWORD", "0")
    first = Dorvane(wine, "first")
    first.answer_box("*Error: Open com-port failed!\t\n")
    first.answer_box("Enable comm service failed!\t")
    first.wait_trace("enable/disable dorvane, done")
    assert first.tooltip() == "DORVANE, Disabled"
    # The failed enable read the port and the buffer size; start-up wrote the count rule on.
    assert stored_names(wine) == {"COMPORT", "BUFFERSIZE_KB", "SENDKB_RCVCHARS"}
    assert wine.reg("query", SETTINGS_KEY, "/v", "SENDKB_RCVCHARS")[1].split()[-1] == "0x1"

    second = wine.start(winrig.BUILD_WIN / "Dorvane.exe")
    first.answer_box("DORVANE is already running")
    assert second.wait(timeout=20) == 0
    assert first.tooltip() == "DORVANE, Disabled"  # the first copy is unaffected

    first.choose(MENU_EXIT)  # disabled: no question
    assert first.proc.wait(timeout=20) == 0
    third = Dorvane(wine, "third")
    third.answer_box("*Error: Open com-port failed!\t\n")
    third.answer_box("Enable comm service failed!\t")
    third.wait_trace("start app instance, done")


def test_a_box_at_start_keeps_the_menu_closed_and_an_off_request_keeps_a_disabled_service_off(wine):
    set_value(wine, "COMPORT", "REG_SZ", "COM13")
    app = Dorvane(wine)
    box = app.ui("msgbox", 20000)[0].split(" ", 1)[0]
    # Exit chosen under the start-up box would end the frame under the running enable.
    app.tray(WM_RBUTTONUP)
    assert app.ui("nomenu", 1000) == ["none"]
    assert app.ui("foreground")[0].startswith(f"{box} ")
    app.answer_box("*Error: Open com-port failed!\t\n")
    app.answer_box("Enable comm service failed!\t")
    app.wait_trace("enable/disable dorvane, done")

    # A lost device or auto-disable asks for "off" after the user turned the service off: it stays off.
    app.ui("post", app.hwnd, WM_SERVICE_OFF, 0, 0)
    time.sleep(1)
    assert app.traces().count("enable dorvane") == 1 and app.ui("msgbox", 0, check=False) == ["none"]
    app.choose(MENU_EXIT)
    assert app.proc.wait(timeout=20) == 0


def test_an_off_request_turns_a_running_service_off_and_a_second_one_leaves_it_off(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    app.ui("post", app.hwnd, WM_SERVICE_OFF, 0, 0)
    app.wait_trace("disable dorvane")
    app.wait_trace("enable/disable dorvane, done", 2)
    app.ui("post", app.hwnd, WM_SERVICE_OFF, 0, 0)  # a toggle would switch it on again
    time.sleep(1)
    traces = app.traces()
    assert traces.count("enable dorvane") == 1 and traces.count("disable dorvane") == 1
    assert app.tooltip() == "DORVANE, Disabled"


def test_a_reading_waits_while_the_quit_question_is_open(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    app.choose(MENU_EXIT)
    box = app.ui("msgbox", 20000)[0].split(" ", 1)[0]
    typed_before = len(key_sink.events())
    # Typed into the question, its CR would press Yes and the reading would be lost.
    line.write(b"12345\r\n")
    app.wait_trace("send-key held: a window of this program is in front")
    time.sleep(0.5)
    assert app.proc.poll() is None
    assert app.ui("msgbox", 0)[0].startswith(f"{box} ")
    assert key_sink.events()[typed_before:] == []
    app.ui("answer", box, IDNO)
    winrig.wait_for(lambda: [c for k, c in key_sink.events()[typed_before:] if k == "char"][:5] == list(b"12345"), 15,
                    "the reading in the user's window after No")
    assert app.ui("foreground")[0].startswith(f"{key_sink.hwnd} ")


def test_after_a_real_click_on_the_tray_typing_still_reaches_the_users_window(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    sink = f"{key_sink.hwnd} "

    def click_makes_the_taskbar_foreground():
        taskbar = app.ui("activate", "Shell_TrayWnd")[0]
        winrig.wait_for(lambda: app.ui("foreground")[0].startswith(f"{taskbar} "), 10, "the taskbar in front")

    click_makes_the_taskbar_foreground()
    app.choose(("escape",))
    winrig.wait_for(lambda: app.ui("foreground")[0].startswith(sink), 10, "the user's window after the menu")
    click_makes_the_taskbar_foreground()
    app.tray(515)  # About
    about = app.ui.find("#32770", "About Dorvane")
    app.ui("post", about, WM_CLOSE, 0, 0)
    winrig.wait_for(lambda: app.ui("foreground")[0].startswith(sink), 10, "the user's window after About")

    typed_before = len(key_sink.events())
    line.write(b"12345\r\n")
    winrig.wait_for(lambda: [c for k, c in key_sink.events()[typed_before:] if k == "char"][:5] == list(b"12345"), 15,
                    "the reading in the user's window")


def test_two_copies_started_together_leave_one_running(wine):
    set_value(wine, "COMPORT", "REG_SZ", "COM13")
    copies = [wine.start(winrig.BUILD_WIN / "Dorvane.exe") for _ in range(2)]
    ui = winrig.UiDriver(wine)
    texts = []
    while len(texts) < 3:  # the refusal, and the running copy's two start-up boxes
        box, text = ui("msgbox", 20000)[0].split(" ", 1)
        texts.append(winrig.unescape(text))
        ui("answer", box, IDOK)
        winrig.wait_for(lambda: not any(l.startswith(f"{box} ") for l in ui("windows")), 10, "the box to close")
    assert texts.count("DORVANE is already running") == 1, texts
    ended = winrig.wait_for(lambda: [c for c in copies if c.poll() is not None], 20, "the refused copy to end")
    time.sleep(1)
    assert len(ended) == 1 and ended[0].returncode == 0
    assert sum(c.poll() is None for c in copies) == 1


def test_a_shell_not_ready_at_start_leaves_typing_working_and_the_icon_comes_later(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    ui = winrig.UiDriver(wine)
    # As at logon: the shell refuses icons for a while, then announces itself ("TaskbarCreated").
    wine.start(winrig.tool("uidriver"), winrig.winpath(wine.workdir / "faketray.out"), "faketray", 8)
    winrig.wait_for(lambda: winrig.read_lines(wine.workdir / "faketray.out"), 20, "the shell that is not ready")
    app = Dorvane(wine)
    app.wait_trace("Failed to create tray icon")
    app.wait_trace("enable/disable dorvane, done")
    assert ui("trayicon", app.hwnd, TRAY_ID) == ["0"]
    line.write(b"4711\r")
    winrig.wait_for(lambda: "".join(chr(v) for k, v in key_sink.events() if k == "char").startswith("4711"), 15,
                    "the reading typed while the icon is not there")
    app.wait_trace("tray add, retry")  # every 2 s, traced
    app.wait_trace("tray add, done", timeout=20)
    assert ui("trayicon", app.hwnd, TRAY_ID) == ["1"]


def test_auto_disable_turns_the_service_off_after_a_quiet_minute(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "AUTODISABLE", "REG_DWORD", "1")
    set_value(wine, "AUTODISABLE_MINUTES", "REG_DWORD", "1")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    enabled = time.monotonic()
    app.wait_trace("disable dorvane", timeout=75)
    assert 59 < time.monotonic() - enabled < 63
    app.wait_trace("enable/disable dorvane, done", 2)
    assert app.tooltip() == "DORVANE, Disabled"


def test_the_tray_picture_follows_the_service_state_with_no_mouse_over_it(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    # Every picture is drawn for the small and large icon at 100, 125 and 150 % scaling.
    sizes = {l.split()[0]: sorted(map(int, l.split()[1:]))
             for l in app.ui("iconsizes", winrig.winpath(winrig.BUILD_WIN / "Dorvane.exe"))}
    assert {icon: sizes.get(icon) for icon in ("128", "132", "134", "135", "140", "141", "142")} == {
        icon: [16, 20, 24, 32, 40, 48] for icon in ("128", "132", "134", "135", "140", "141", "142")}
    assert tray_picture(app) == {"idle"}
    for count, picture in ((2, {"disabled"}), (3, {"idle"})):
        app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)  # the command alone, as auto-disable gives it
        app.wait_trace("enable/disable dorvane, done", count)
        winrig.wait_for(lambda: tray_picture(app) == picture, 10, f"the tray to show {picture}")
    line.write(b"a" * 20000 + b"\r")
    winrig.wait_for(lambda: "sending" in tray_picture(app), 15, "the sending picture")
    winrig.wait_for(lambda: tray_picture(app) == {"idle"}, 60, "the idle picture after the reading")


def test_no_menu_opens_while_a_long_reading_is_typed(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    # Long enough that injecting it keeps the worker busy for a while (Wine then delivers the
    # keys to the window far more slowly than they were injected).
    line.write(b"a" * 20000 + b"\r")
    winrig.wait_for(lambda: len(key_sink.events()) > 20, 15, "typing to start")
    app.tray(WM_RBUTTONUP)
    assert app.ui("nomenu", 1000) == ["none"]
    # Ignored altogether: the tooltip still holds its text from the start.
    assert [t for t in app.ui("tooltips") if t.startswith("DORVANE")] == ["DORVANE"]


def test_the_hidden_frame_about_help_and_close_box(wine):
    app = start_disabled(wine)
    assert app.ui("rect", app.hwnd) == ["683 0 341 512"]  # top right of the 1024 x 768 desktop

    def visible():
        return next(l for l in app.ui("windows") if l.startswith(f"{app.hwnd} ")).split()[2] == "1"

    app.tray(515)  # a double click runs About; with no keys held the frame stays hidden
    about = app.ui.find("#32770", "About Dorvane")
    assert not visible()
    app.ui("post", about, WM_CLOSE, 0, 0)

    for open_help in (lambda: app.ui("post", app.hwnd, 0x100, 0x70, 1),  # F1
                      lambda: app.choose(winrig.tray_menu_keys("Help..."))):
        open_help()
        help_box = app.ui.find("#32770", "Dorvane Help")
        assert "WHEN A READING IS TYPED" in app.ui.children(help_box)[1020][1]
        app.ui("answer", help_box, IDOK)
        winrig.wait_for(lambda: app.ui("find", "#32770", "Dorvane Help", 0, check=False) == ["none"], 10,
                        "the help page to close")

    app.ui("post", app.hwnd, WM_CLOSE, 0, 0)  # the close box only hides
    time.sleep(0.5)
    assert app.proc.poll() is None and not visible()
    app.choose(MENU_EXIT)
    assert app.proc.wait(timeout=20) == 0


def test_a_click_on_the_taskbar_mid_reading_holds_the_rest_for_the_users_window(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, *MID_READING_PACE)
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    sink = f"{key_sink.hwnd} "
    # Numbered tokens: a lost, doubled or reordered character shows.
    reading = "".join(f"{i:04d}," for i in range(200))

    def chars():
        return "".join(chr(c) for k, c in key_sink.events() if k == "char")

    line.write(reading.encode() + b"\r")
    winrig.wait_for(lambda: len(chars()) > 20, 15, "typing to start")
    taskbar = app.ui("activate", "Shell_TrayWnd")[0]
    winrig.wait_for(lambda: app.ui("foreground")[0].startswith(f"{taskbar} "), 10, "the taskbar in front")
    app.wait_held()
    time.sleep(0.5)
    during = chars()
    time.sleep(1.0)
    assert chars() == during, "keys reached the user's window while the taskbar was in front"
    assert "send-key goes on" not in app.traces()

    app.ui("activate", "DorvaneKeySink")
    winrig.wait_for(lambda: app.ui("foreground")[0].startswith(sink), 10, "the user's window in front")
    app.wait_trace("send-key goes on")
    winrig.wait_for(lambda: chars().endswith(reading[-10:] + "\r"), 60, "the end of the reading")
    got = chars()[:-1]
    # Wine drops keys a window had not yet read when it lost the foreground (Windows keeps them
    # in its queue): what arrived is the reading with at most one gap, at the switch.
    assert got.startswith(during)
    head = len(os.path.commonprefix([got, reading]))
    assert reading.endswith(got[head:]), (head, len(got))


def test_readings_go_only_to_the_chosen_program_and_whole_into_one_window(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "TARGET_PROGRAM", "REG_SZ", "KEYSINK.exe")
    set_value(wine, *MID_READING_PACE)
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    wine.start("notepad.exe")
    notepad = app.ui.find("Notepad", "-", 20000)
    edit = next(ident for ident, (cls, _, _) in app.ui.children(notepad).items() if cls.lower() == "edit")

    def chars():
        return "".join(chr(c) for k, c in key_sink.events() if k == "char")

    def to_front(cls, hwnd):
        app.ui("activate", cls)
        winrig.wait_for(lambda: app.ui("foreground")[0].startswith(f"{hwnd} "), 10, f"{cls} in front")

    def notepad_text():
        return (app.ui("text", notepad, edit) + [""])[0]

    # Notepad in front: the readings wait, counted in the tooltip, and notepad gets none.
    to_front("Notepad", notepad)
    line.write(b"12345\r")
    app.wait_trace("send-key held: the chosen program is not in front")
    line.write(b"678\r")
    winrig.wait_for(lambda: app.tooltip() == "DORVANE, 2 readings waiting for KEYSINK.exe", 10, "the waiting tooltip")
    time.sleep(0.5)
    assert notepad_text() == "" and chars() == ""
    to_front("DorvaneKeySink", key_sink.hwnd)
    winrig.wait_for(lambda: chars() == "12345\r678\r", 15, "the waiting readings in the sink")
    assert app.tooltip().startswith("DORVANE [Send], Enabled @ COM12")

    # Notepad takes the focus in the middle of a long reading: it gets none of it.
    reading = "".join(f"{i:04d}," for i in range(200))
    before = len(chars())
    line.write(reading.encode() + b"\r")
    winrig.wait_for(lambda: len(chars()) > before + 20, 15, "typing to start")
    to_front("Notepad", notepad)
    app.wait_held(2)  # for the rest of the reading, or for the next part of it (a burst of its own)
    time.sleep(1.0)
    assert notepad_text() == ""
    during = chars()[before:]
    to_front("DorvaneKeySink", key_sink.hwnd)
    winrig.wait_for(lambda: chars().endswith(reading[-10:] + "\r"), 60, "the end of the reading")
    got = chars()[before:-1]
    head = len(os.path.commonprefix([got, reading]))
    assert got.startswith(during) and reading.endswith(got[head:]), (head, len(got))  # Wine's one gap at the switch

    # A reading waiting for the sink is dropped from the tray menu, and only then.
    to_front("Notepad", notepad)
    line.write(b"dropped\r")
    winrig.wait_for(lambda: app.tooltip() == "DORVANE, 1 reading waiting for KEYSINK.exe", 10, "the reading waiting")
    app.choose(("up", "up", "return"))  # "Discard Waiting Readings", just above Exit
    app.wait_trace("send-key: 1 waiting reading discarded")
    to_front("DorvaneKeySink", key_sink.hwnd)
    time.sleep(1.0)
    assert "dropped" not in chars() and notepad_text() == ""


def test_caps_lock_switched_while_dorvane_runs_is_followed(wine, line, key_sink):
    CAPITAL = 0x14
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, *MID_READING_PACE)
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")

    def chars():
        return "".join(chr(c) for k, c in key_sink.events() if k == "char")

    line.write(b"Ab1\r")
    winrig.wait_for(lambda: chars() == "Ab1\r", 15, "the first reading")
    app.ui("tap", CAPITAL)
    try:
        # Not followed, "Ab" would come out as "aB": Shift is pressed for the wrong letter.
        line.write(b"Ab1\r")
        winrig.wait_for(lambda: chars() == "Ab1\r" * 2, 15, "the reading typed with Caps Lock on")
    finally:
        app.ui("tap", CAPITAL)
    line.write(b"Ab1\r")
    winrig.wait_for(lambda: chars() == "Ab1\r" * 3, 15, "the reading typed with Caps Lock off again")

    # Pressed while a long reading goes out (the hook is off then and the key is sampled): the
    # next reading follows it. The keys typed before the press was seen are not checked.
    before = len(key_sink.events())
    line.write(b"ab" * 150 + b"\r")
    winrig.wait_for(lambda: len(chars()) > 12 + 20, 15, "the long reading to start")
    app.ui("hold", CAPITAL, "down")
    time.sleep(0.1)
    app.ui("hold", CAPITAL, "up")
    try:
        winrig.wait_for(lambda: chars().count("\r") == 4, 30, "the end of the long reading")
        long_reading = key_sink.events()[before:]
        press = long_reading.index(("keydown", CAPITAL))
        assert any(k == "char" for k, _ in long_reading[:press]) and any(k == "char" for k, _ in long_reading[press:-2])
        line.write(b"Ab1\r")
        winrig.wait_for(lambda: chars().endswith("\rAb1\r"), 15, "the next reading typed with Caps Lock on")
    finally:
        app.ui("tap", CAPITAL)


def test_keys_are_typed_at_the_pace_asked_for(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "TYPE_DELAY_MS", "REG_DWORD", "20")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    line.write(b"123456\r")
    winrig.wait_for(lambda: [v for k, v in key_sink.events() if k == "char"][-1:] == [0x0D], 15, "the reading")
    # The sink's stamps are when it read each key, which varies by a few milliseconds from key to
    # key, so the span of them all is checked (unpaced, the seven keys arrive within a few
    # milliseconds).
    stamps = [int(l.split()[0]) for l in winrig.read_lines(key_sink.log) if l.split()[1] == "keydown"]
    assert stamps[-1] - stamps[0] >= (len(stamps) - 1) * 20000 - 5000  # microseconds


def test_a_character_the_layout_lacks_is_typed_as_unicode_when_asked(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "TYPE_UNICODE", "REG_DWORD", "1")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    VK_PACKET = 0xE7
    line.write(b"a\x80b\r")  # the euro sign in the ANSI code page; the US layout has no key for it
    winrig.wait_for(lambda: [v for k, v in key_sink.events() if k == "char"][-1:] == [0x0D], 15, "the reading")
    assert [v for k, v in key_sink.events() if k == "char"] == [ord(c) for c in "a\u20acb\r"]
    assert [v for k, v in key_sink.events() if k == "keydown"].count(VK_PACKET) == 1


def test_private_messages_with_junk_parameters_from_another_program_change_nothing(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    WM_COMM_READ, WM_STATUS_ICON, WM_TRAY_NOTICE = 0x403, 0x8001, 0x8003
    junk = [(WM_COMM_READ, 100, 0x12345678), (WM_COMM_READ, 3, 0), (WM_STATUS_ICON, 9999, 77),
            (WM_TRAY_NOTICE, 1, 0x12345678), (WM_SERVICE_OFF, 77, 0), (WM_SERVICE_OFF, 0, 0x5555)]
    for message, wparam, lparam in junk:
        app.ui("post", app.hwnd, message, wparam, lparam)
        app.ui("post", 65535, message, wparam, lparam)  # a broadcast
        if message == WM_COMM_READ:
            # Sent, as the reader does: a pointer into another process must not be read.
            assert app.ui("send", app.hwnd, message, wparam, lparam) != ["timeout"]
    time.sleep(1.0)
    assert app.proc.poll() is None
    assert app.traces().count("enable/disable dorvane, done") == 1  # no off request was taken
    assert not any(t.startswith("comm read:") for t in app.traces())
    typed_before = len(key_sink.events())
    line.write(b"12345\r\n")
    winrig.wait_for(lambda: [c for k, c in key_sink.events()[typed_before:] if k == "char"][:5] == list(b"12345"), 15,
                    "the next reading in the user's window")


def test_a_german_layout_types_altgr_characters_without_a_language_hotkey_chord(wine_template, tmp_path):
    """'@' is AltGr+Q (Ctrl + right Alt) on a German layout: between Shift characters the
    releases come first, so Shift and Ctrl or Alt are never let go together with no key between
    (Windows' default hotkeys switch the input language on that)."""
    display = winrig.Xvfb(tmp_path)
    try:
        display.use_layout("de")
        wine = winrig.WinePrefix(wine_template, tmp_path, display.display)
        try:
            line = winrig.SerialLine(wine)
            key_sink = winrig.KeySink(wine)
            text = "A@Bz\r"
            lookups, _ = type_text(wine, text)
            scans = dict(lookups)
            assert scans["@"] >> 8 == 6, hex(scans["@"])  # Ctrl+Alt: the German layout is in force
            expected, chars = expected_typing(lookups)
            received(key_sink, len(expected))  # what the probe itself typed
            before = len(key_sink.events())

            set_value(wine, "COMPORT", "REG_SZ", "COM12")
            app = Dorvane(wine)
            app.wait_trace("enable/disable dorvane, done")
            line.write(text.encode())

            def typed():
                keys, got = split_events(key_sink.events()[before:])
                return (keys, got) if len(keys) >= len(expected) else None

            keys, got = winrig.wait_for(typed, 15, "the reading in the sink")
            assert keys == expected
            # Wine 8 gives no character for an injected Ctrl+Alt+key; the others arrive as text.
            assert got == [c for c in chars if c != "@"]
            shift, control, alt = 0x10, 0x11, 0x12
            at = keys.index(("keydown", scans["@"] & 0xFF))
            assert keys[at - 3:at] == [("keyup", shift), ("keydown", control), ("keydown", alt)]
            line.close()
        finally:
            wine.close()
    finally:
        display.stop()


ID_SEND_COMMAND, ID_QUIT = 32780, 32775


class Balance:
    """A device stand-in on the line's device end: it records what it receives and answers each
    "P" CR LF request with a weight line (1.5, 2.5, ...)."""

    def __init__(self, line):
        self.line = line
        self.received = b""
        self.request_times = []
        self.answers = 0
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        pending = b""
        while not self.stop:
            data = self.line.read(0.05)
            self.received += data
            pending += data
            while b"P\r\n" in pending:
                pending = pending.split(b"P\r\n", 1)[1]
                self.request_times.append(time.monotonic())
                self.answers += 1
                self.line.write(f"{self.answers}.5\r\n".encode())

    def close(self):
        self.stop = True
        self.thread.join()


def test_a_polled_balance_has_its_weights_typed_and_acknowledged_and_the_poll_stops_at_disable(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "DEVICE_COMMAND", "REG_SZ", r"P\r\n")
    set_value(wine, "DEVICE_POLL_MS", "REG_DWORD", "500")
    set_value(wine, "DEVICE_ACK", "REG_SZ", r"\x06")
    balance = Balance(line)
    try:
        app = Dorvane(wine)
        app.wait_trace("enable/disable dorvane, done")
        start = time.monotonic()
        winrig.wait_for(lambda: balance.answers >= 7, 10, "seven requests")
        # Twice a second: seven requests 3 s apart from the first, give or take a tick.
        assert 2.6 < balance.request_times[6] - balance.request_times[0] < 3.6, balance.request_times
        assert balance.request_times[0] - start < 1.0
        chars = lambda: "".join(chr(v) for k, v in key_sink.events() if k == "char")
        weights = "".join(f"{n}.5\r\n" for n in range(1, 7))
        winrig.wait_for(lambda: chars().startswith(weights), 15, f"the weights typed, not {chars()!r}")
        # An acknowledgement after each reading: an ACK between the requests for each weight.
        winrig.wait_for(lambda: balance.received.count(b"\x06") >= 6, 10, "the acknowledgements")
        assert set(balance.received.replace(b"P\r\n", b"").replace(b"\x06", b"")) == set()
        app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
        app.wait_trace("enable/disable dorvane, done", 2)
        time.sleep(1.5)  # three ticks, were the timer still running
        assert app.traces().count("device poll tick after the stop") <= 1
    finally:
        balance.close()


def test_with_the_defaults_nothing_is_written_and_send_command_sends_once(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    app.ui("post", app.hwnd, WM_COMMAND, ID_SEND_COMMAND, 0)  # no request set: nothing to send
    assert line.read(2.0) == b""
    assert "thread comm-write is running" not in app.traces()
    assert "Send Command" in app.greyed_menu_items()

    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 2)
    set_value(wine, "DEVICE_COMMAND", "REG_SZ", r"W\r")
    set_value(wine, "DEVICE_HOTKEY", "REG_SZ", "F9")
    assert "Send Command" in app.greyed_menu_items()  # off
    app.ui("post", app.hwnd, WM_COMMAND, ID_SEND_COMMAND, 0)  # nothing either
    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 3)
    assert line.read(1.0) == b""
    assert "Send Command" not in app.greyed_menu_items()
    app.choose(winrig.tray_menu_keys("Send Command"))
    assert line.read(1.5) == b"W\r"
    app.ui("send", app.hwnd, WM_COMMAND, ID_SEND_COMMAND, 0)
    assert line.read(1.5) == b"W\r"
    VK_F9 = 0x78
    f9_in_window = lambda: [v for k, v in key_sink.events() if k == "keydown"].count(VK_F9)
    app.ui("tap", VK_F9)  # the hotkey, pressed in the user's window: Dorvane's, not the window's
    assert line.read(1.5) == b"W\r"
    assert f9_in_window() == 0
    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 4)
    app.ui("tap", VK_F9)  # released at disable: the user's key again
    winrig.wait_for(lambda: f9_in_window() == 1, 5, "F9 in the user's window")


def test_a_device_that_stops_reading_costs_no_hang_of_disable_or_exit(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "DEVICE_ACK", "REG_SZ", "A" * 256)
    # 300 baud: each write may take about 10 s, far beyond what a stop may, so the bounds below
    # leave room for a loaded machine and still fail on a stop that waits for the write.
    set_value(wine, "COM12_DCB", "REG_BINARY", "1c0000002c01000011000000000000000000" "08000011130000000000")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    # Nobody reads the device end: the acknowledgements fill the line's buffers until a write
    # cannot end in time.
    for _ in range(16):
        line.write(b"1\r" * 50)
        time.sleep(0.5)
    winrig.wait_for(lambda: any(t.startswith("com-port write, error!") for t in app.traces()), 60,
                    "a write that timed out")
    # The stop ends the writer's wait at once, and after the reader's stop and the write's cancel
    # the close waits half a second at most for the write: about a second, whatever the driver
    # does (the post itself takes a few tenths of a second).
    started = time.monotonic()
    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 2, timeout=10)
    assert time.monotonic() - started < 3.0
    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 3)
    line.write(b"2\r")
    app.wait_trace("thread comm-write is running", 2)
    app.ui("post", app.hwnd, WM_COMMAND, ID_QUIT, 0)
    app.answer_box("Quit from DORVANE?", IDYES)
    started = time.monotonic()
    app.proc.wait(timeout=20)
    assert time.monotonic() - started < 2.5


def test_two_profiles_on_two_ports_type_their_own_readings_whole_never_mixed(wine, line, line13, key_sink):
    profiles = SETTINGS_KEY.rsplit("\\", 1)[0] + r"\Profiles"
    for name, port in (("Scanner", "COM12"), ("Scale 2", "COM13")):
        assert wine.reg("add", rf"{profiles}\{name}", "/v", "COMPORT", "/t", "REG_SZ", "/d", port, "/f")[0] == 0
        # A pace that makes each reading take a second or more: the two certainly overlap, and
        # only the typing lock keeps them apart.
        assert wine.reg("add", rf"{profiles}\{name}", "/v", "TYPE_DELAY_MS", "/t", "REG_DWORD", "/d", "8", "/f")[0] == 0
    scanner = Dorvane(wine, "scanner", args=("/profile", "Scanner"))
    scanner.wait_trace("enable/disable dorvane, done")
    scale = Dorvane(wine, "scale", args=("/profile", "Scale 2"))
    scale.wait_trace("enable/disable dorvane, done")
    assert "profile Scale 2" in scale.traces()
    # The same profile twice: the second copy says so and ends.
    again = Dorvane.__new__(Dorvane)
    again.proc = wine.start(winrig.tool("dbgcatch"), winrig.winpath(wine.workdir / "again.txt"),
                            winrig.BUILD_WIN / "Dorvane.exe", "/profile", "scale 2")
    again.ui = scanner.ui
    box, text = again.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text) == "DORVANE is already running"
    again.ui("answer", box, IDOK)
    assert again.proc.wait(timeout=10) == 0

    chars = lambda: "".join(chr(v) for k, v in key_sink.events() if k == "char")
    scanner_line, scale_line = "4006381333931" * 8 + "\r", "12.345" * 16 + "\r"
    for _ in range(3):  # both devices at the same moment
        before = len(chars())
        writers = [threading.Thread(target=l.write, args=(t.encode(),)) for l, t in
                   ((line, scanner_line), (line13, scale_line))]
        for writer in writers:
            writer.start()
        for writer in writers:
            writer.join()
        winrig.wait_for(lambda: len(chars()) - before >= len(scanner_line) + len(scale_line), 30, "both readings")
        typed = chars()[before:]
        assert typed in (scanner_line + scale_line, scale_line + scanner_line), typed
    # Each copy's tooltip starts with its profile's name.
    frames = [int(w.split()[0]) for w in scanner.ui("windows") if w.split()[4].startswith("Dorvane:")]
    assert len(frames) == 2
    for frame in frames:
        scanner.ui("post", frame, WM_TRAY_NOTIFY, TRAY_ID, WM_MOUSEMOVE)
    time.sleep(0.5)
    tips = [winrig.unescape(t) for t in scanner.ui("tooltips")]
    for tip in ("Scanner: DORVANE [Send], Enabled @ COM12", "Scale 2: DORVANE [Send], Enabled @ COM13"):
        assert any(t.startswith(tip) for t in tips), tips


def test_a_hotkey_another_program_holds_is_reported_once_and_send_command_still_works(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "DEVICE_COMMAND", "REG_SZ", r"W\r")
    set_value(wine, "DEVICE_HOTKEY", "REG_SZ", "F9")
    held = wine.workdir / "hotkey.out"
    holder = wine.start(winrig.tool("uidriver"), winrig.winpath(held), "hotkey", 0, 0x78, 60000)
    winrig.wait_for(lambda: winrig.read_lines(held) == ["held"], 20, "the other program's hotkey")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    assert app.traces().count("hotkey F9 not registered: another program holds it!") == 1
    winrig.wait_for(lambda: [t for t in map(winrig.unescape, app.ui("tooltips")) if "Another program already uses F9" in t],
                    10, "the balloon")
    assert app.tooltip().startswith("DORVANE [Send], Enabled @ COM12, hotkey F9 taken by another program\n")
    app.ui("post", app.hwnd, WM_COMMAND, ID_SEND_COMMAND, 0)
    assert line.read(1.5) == b"W\r"
    winrig.stop_pid(holder)
