"""The Readings window of the real Dorvane.exe under Wine: readings typed, skipped by a rule and
held for the chosen program appear with their outcomes and keep them up to date; Copy puts a
reading's text on the clipboard; Type Again types it into the user's window; Save As writes the
log's columns; the window's place is kept. A run leaves a picture of the window for the user guide."""
import re

import winrig
from test_app import IDYES, TOGGLE, WM_COMMAND, Dorvane, set_value
from test_settings import stored

READINGS = "DORVANE Readings"
LIST, RAW, HEX, COPY, TYPE_AGAIN, SAVE, DISCARD = 1050, 1052, 1053, 1054, 1055, 1056, 1057
MENU_READINGS = winrig.tray_menu_keys("Readings...")
VK_CONTROL, VK_ESCAPE = 17, 27
ID_QUIT = 32775
# The user guide's picture (docs/readings.png is a copy of the one a run leaves here).
SCREENSHOT = winrig.REPO / "build" / "e2e-artifacts" / "readings.png"

TYPED, SCALE, HELD = b"4006381333931\r\n", b"\x02ST,GS,+0012.345kg\x03\r\n", b"9780201379624\r\n"


def test_readings_appear_with_their_outcomes_and_copy_type_again_and_save_as_act_on_them(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "TARGET_PROGRAM", "REG_SZ", "KEYSINK.exe")
    set_value(wine, "DATA_EXTRACT", "REG_SZ", r"^(\d+)")  # a scale's line holds no leading number
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    ui = app.ui

    def chars():
        return "".join(chr(v) for k, v in key_sink.events() if k == "char")

    def in_front(hwnd, what):
        winrig.wait_for(lambda: ui("foreground")[0].startswith(f"{hwnd} "), 10, f"{what} in front")

    def rows(count):
        def listed():
            cells = [[winrig.unescape(c) for c in l.split("\t")] for l in ui("listview", window, LIST)]
            return cells if len(cells) == count else None
        return winrig.wait_for(listed, 10, f"{count} rows")

    def raw_field(text):
        winrig.wait_for(lambda: ui("text", window, RAW) == [text], 10, f"raw bytes {text}")

    # Typed into the key sink; skipped by the rule; held while Notepad is in front.
    line.write(TYPED)
    winrig.wait_for(lambda: chars() == TYPED.decode(), 15, "the first reading typed")
    line.write(SCALE)
    app.wait_trace("reading skipped, no match")
    wine.start("notepad.exe")
    notepad = ui.find("Notepad", "-", 20000)
    ui("activate", "Notepad")
    in_front(notepad, "Notepad")
    line.write(HELD)
    app.wait_trace("send-key held: the chosen program is not in front")

    # "Readings..." opens the window in front, the list focused, newest first.
    app.choose(MENU_READINGS)
    window = ui.find("#32770", READINGS)
    in_front(window, "the Readings window")
    assert ui("focus", window) == [str(LIST)]
    listed = rows(3)
    assert [r[1] for r in listed][1:] == ["skipped: no match", "typed"]
    assert listed[0][1].startswith("waiting: ")
    assert ui("enabled", window, DISCARD) == ["1"]  # while a reading waits
    assert [r[2] for r in listed] == ["", "", r"4006381333931\r\n"]
    assert listed[2][3].lower() == "keysink.exe"
    times = [r[0] for r in listed]
    assert all(re.fullmatch(r"\d\d:\d\d:\d\d\.\d{3}", t) for t in times) and times == sorted(times, reverse=True)
    # The newest is selected: its bytes as received. The scale's line by name and in hexadecimal.
    raw_field("9780201379624<CR><LF>")
    ui("listselect", window, LIST, 1)
    raw_field("<STX>ST,GS,+0012.345kg<ETX><CR><LF>")
    x, y, width, height = map(int, ui("rect", window)[0].split())
    SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
    bmp = wine.workdir / "readings.bmp"
    ui("screenshot", winrig.winpath(bmp))
    winrig.bmp_to_png(bmp, SCREENSHOT, crop=(x, y, width, height))
    ui("click", window, HEX)
    raw_field(" ".join(f"{b:02X}" for b in SCALE))
    ui("click", window, HEX)
    raw_field("<STX>ST,GS,+0012.345kg<ETX><CR><LF>")

    def ctrl(key):
        ui("hold", VK_CONTROL, "down")
        ui("tap", ord(key))
        ui("hold", VK_CONTROL, "up")

    # Ctrl+A and Copy: each reading's text, newest first as listed, one per line (a reading that
    # typed nothing keeps its line). Ctrl+C on the typed one: its text, without its line end.
    ctrl("A")
    winrig.wait_for(lambda: ui("listselected", window, LIST) == ["0", "1", "2"], 10, "every row selected")
    ui("click", window, COPY)
    winrig.wait_for(lambda: ui("clipboard", check=False) == [r"\r\n\r\n4006381333931"], 10, "three lines copied")
    ui("listselect", window, LIST, 2)
    ctrl("C")
    winrig.wait_for(lambda: ui("clipboard", check=False) == ["4006381333931"], 10, "the reading on the clipboard")
    app.wait_trace("readings: 1 copied")

    # The key sink in front: the waiting reading goes in, and its row says so where it is.
    ui("activate", "DorvaneKeySink")
    in_front(key_sink.hwnd, "the key sink")
    winrig.wait_for(lambda: chars() == (TYPED + HELD).decode(), 15, "the held reading typed")
    winrig.wait_for(lambda: rows(3)[0][1] == "typed", 10, "the held reading's row typed")
    winrig.wait_for(lambda: ui("enabled", window, DISCARD) == ["0"], 10, "nothing left to discard")
    assert ui("listselected", window, LIST) == ["2"]

    # A second "Readings..." brings the open window to the front.
    app.choose(MENU_READINGS)
    in_front(window, "the Readings window again")
    assert sum(l.endswith(f" {READINGS}") for l in ui("windows")) == 1

    # Type Again: the user's window comes back to the front and gets the reading once more; the
    # selection stays on the reading it was on, below the new row.
    ui("click", window, TYPE_AGAIN)
    in_front(key_sink.hwnd, "the key sink after Type Again")
    winrig.wait_for(lambda: chars() == (TYPED + HELD + TYPED).decode(), 15, "the reading typed again")
    listed = rows(4)
    assert [r[1] for r in listed] == ["typed", "typed", "skipped: no match", "typed"]
    assert listed[0][2] == r"4006381333931\r\n"
    assert ui("listselected", window, LIST) == ["3"]

    # Save As: the log's columns, oldest first, UTF-8 with its mark and CR LF.
    saved = wine.workdir / "readings.csv"
    ui("click", window, SAVE)
    dialog = ui.find("#32770", "Save As")
    ui("settext", dialog, 1148, winrig.winpath(saved))
    ui("click", dialog, 1)
    app.wait_trace("readings: 4 saved")
    data = saved.read_bytes()
    assert data.startswith(b"\xef\xbb\xbftime,profile,port,outcome,typed,raw,program\r\n")
    lines = data[3:].decode("utf-8").split("\r\n")
    assert lines[-1] == "" and "\n" not in "".join(lines)
    assert [l.split(",")[3] for l in lines[1:-1]] == ["typed", "skipped", "typed", "typed"]
    assert lines[2].split(",", 4)[4] == r',"\x02ST,GS,+0012.345kg\x03\r\n",keysink.exe'
    # Onto the file while another program holds it open (Excel does): a box says so.
    held = wine.workdir / "holdfile.out"
    holder = wine.start(winrig.tool("uidriver"), winrig.winpath(held), "holdfile", winrig.winpath(saved), 60000)
    winrig.wait_for(lambda: winrig.read_lines(held) == ["held"], 10, "the file held open")
    ui("click", window, SAVE)
    dialog = ui.find("#32770", "Save As")
    ui("settext", dialog, 1148, winrig.winpath(saved))
    ui("click", dialog, 1)
    app.answer_box("", IDYES)  # replace it?
    app.answer_box(f"The readings could not be saved to {winrig.winpath(saved)}.")
    winrig.stop_pid(holder)
    assert saved.read_bytes() == data

    # With the service off, Type Again says what it needs.
    ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("enable/disable dorvane, done", 2)
    ui("click", window, TYPE_AGAIN)
    app.answer_box("Type Again needs the service: enable it in the tray menu.")

    # Moved, closed with Esc, opened again: where it was.
    ui("move", window, 60, 40, 760, 460)
    app.choose(MENU_READINGS)
    in_front(window, "the Readings window before Esc")
    ui("tap", VK_ESCAPE)
    winrig.wait_for(lambda: ui("find", "#32770", READINGS, 0, check=False) == ["none"], 10, "the window to close")
    assert stored(wine, "READINGS_WINDOW") == "60,40,760,460,96"
    app.choose(MENU_READINGS)
    window = ui.find("#32770", READINGS)
    assert ui("rect", window) == ["60 40 760 460"]

    # Exit while the window's box is open: the window closes with the program, and no handler of
    # it goes on under the main window that is gone.
    ui("click", window, TYPE_AGAIN)
    assert ui("msgbox", 20000)[0].split(" ", 1)[1].startswith("Type Again needs the service")
    ui("post", app.hwnd, WM_COMMAND, ID_QUIT, 0)
    assert app.proc.wait(timeout=20) == 0
    assert app.traces().count("readings window closed") == 2
