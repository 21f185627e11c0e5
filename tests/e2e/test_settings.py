"""The settings sheet of the real Dorvane.exe under Wine, driven through the tray menu: loading,
storing, the port check with its retry, the line-settings and file dialogs, and the record box
greying the typing options."""
import winrig
from test_app import IDOK, MENU_TOGGLE, SETTINGS_KEY, WM_RBUTTONUP, Dorvane, set_value, start_disabled

IDCANCEL = 2
MENU_SETTING = winrig.tray_menu_keys("Setting...")
ARTIFACTS = winrig.REPO / "build" / "e2e-artifacts"


def stored(wine, name):
    """The stored value's data as `reg query` prints it ('' for an empty string)."""
    code, out = wine.reg("query", SETTINGS_KEY, "/v", name)
    assert code == 0, f"{name} is not stored"
    fields = out.split("REG_", 1)[1].split(None, 1)
    return fields[1].strip() if len(fields) > 1 else ""


def open_sheet(app):
    app.choose(MENU_SETTING)
    sheet = app.ui.find("#32770", "Setting")
    return sheet, int(app.ui("curpage", sheet)[0])


def show_page(app, sheet, index):
    before = int(app.ui("curpage", sheet)[0])
    app.ui("page", sheet, index)
    return winrig.wait_for(lambda: (lambda now: now if now != before else None)(int(app.ui("curpage", sheet)[0])),
                           10, f"page {index}")


def close_sheet(app, sheet, button):
    app.ui("click", sheet, button)
    winrig.wait_for(lambda: app.ui("find", "#32770", "Setting", 0, check=False) == ["none"], 10, "the sheet to close")


def screenshot(app, name):
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    bmp = app.wine.workdir / f"{name}.bmp"
    app.ui("screenshot", winrig.winpath(bmp))
    winrig.bmp_to_png(bmp, ARTIFACTS / f"{name}.png")


def test_cancel_keeps_defaults_and_ok_stores_every_page_value(wine, line):
    app = start_disabled(wine)
    sheet, general = open_sheet(app)
    close_sheet(app, sheet, IDCANCEL)
    assert {name: stored(wine, name) for name in (
        "SENDKB_CRLF", "SENDKB_RCVCHARSNUMBER", "AUTODISABLE", "AUTODISABLE_MINUTES", "RECORDDATA",
        "RECORDDATA_FILENAME", "BUFFERSIZE_KB", "RECORDDATA_I", "SENDKB_RCVCHARS")} == {
        "SENDKB_CRLF": "0x1", "SENDKB_RCVCHARSNUMBER": "0x8", "AUTODISABLE": "0x0", "AUTODISABLE_MINUTES": "0xa",
        "RECORDDATA": "0x0", "RECORDDATA_FILENAME": "", "BUFFERSIZE_KB": "0x1", "RECORDDATA_I": "0x0",
        "SENDKB_RCVCHARS": "0x1"}

    # A device stored with COM13: choosing another port the tree does not know stores none.
    device = r"USB\VID_0403&PID_6001\A50285BI"
    set_value(wine, "COMPORT_DEVICE", "REG_SZ", device)
    sheet, general = open_sheet(app)
    assert app.ui("text", general, 32776) == ["COM13"]
    assert app.ui("enabled", general, 1000) == ["0"]  # COM13 does not exist
    app.ui("select", general, 32776, 11)
    winrig.wait_for(lambda: app.ui("enabled", general, 1000) == ["1"], 10, "Properties for COM12")
    app.ui("settext", general, 1003, "0")
    app.ui("click", general, 1002)
    winrig.wait_for(lambda: app.ui("enabled", general, 1003) == ["0"], 10, "the count edit to grey")
    app.ui("click", general, 1001)
    screenshot(app, "settings-general")

    advanced = show_page(app, sheet, 1)
    assert app.ui("enabled", advanced, 1009) == ["0"] and app.ui("enabled", advanced, 1010) == ["0"]
    app.ui("click", advanced, 1005)
    app.ui("settext", advanced, 1006, "3")
    app.ui("settext", advanced, 1004, "100")
    app.ui("click", advanced, 1011)
    winrig.wait_for(lambda: app.ui("enabled", advanced, 1010) == ["1"], 10, "the browse button")
    assert stored(wine, "RECORDDATA_I") == "0x1"
    app.ui("settext", advanced, 1009, "C:\\scans\\readings.txt")
    screenshot(app, "settings-advanced")

    general = show_page(app, sheet, 0)
    assert [app.ui("enabled", general, c)[0] for c in (1001, 1002, 1012)] == ["0", "0", "0"]
    close_sheet(app, sheet, IDOK)
    assert {name: stored(wine, name) for name in (
        "COMPORT", "SENDKB_CRLF", "SENDKB_RCVCHARSNUMBER", "AUTODISABLE", "AUTODISABLE_MINUTES", "RECORDDATA",
        "RECORDDATA_FILENAME", "BUFFERSIZE_KB", "SENDKB_RCVCHARS", "COMPORT_DEVICE")} == {
        "COMPORT": "COM12", "COMPORT_DEVICE": "", "SENDKB_CRLF": "0x0", "SENDKB_RCVCHARSNUMBER": "0x0", "AUTODISABLE": "0x1",
        "AUTODISABLE_MINUTES": "0x3", "RECORDDATA": "0x1", "RECORDDATA_FILENAME": "C:\\scans\\readings.txt",
        "BUFFERSIZE_KB": "0x64", "SENDKB_RCVCHARS": "0x1"}

    # "Received More Than" was never stored off: it is checked again. The port kept, its device
    # is kept though Wine's device tree knows none.
    set_value(wine, "COMPORT_DEVICE", "REG_SZ", device)
    sheet, general = open_sheet(app)
    assert app.ui("check", general, 1002) == ["1"] and app.ui("text", general, 32776) == ["COM12"]
    close_sheet(app, sheet, IDOK)
    assert stored(wine, "COMPORT_DEVICE") == device


def test_a_port_that_cannot_be_opened_sends_the_user_round_again(wine, line):
    app = start_disabled(wine)
    sheet, general = open_sheet(app)
    app.ui("settext", general, 1003, "25")
    app.ui("click", sheet, IDOK)  # the page refuses COM13 while the sheet is still up
    app.answer_box("Com port is not available!\t")
    app.answer_box("Setting has error!")
    sheet = app.ui.find("#32770", "Setting")
    general = int(app.ui("curpage", sheet)[0])
    assert app.ui("text", general, 1003) == ["8"]  # rebuilt from the store: the edit is gone
    assert stored(wine, "SENDKB_RCVCHARSNUMBER") == "0x8"

    # Line settings of an available port: stored at once, whatever becomes of the sheet.
    app.ui("select", general, 32776, 11)
    winrig.wait_for(lambda: app.ui("enabled", general, 1000) == ["1"], 10, "Properties for COM12")
    app.ui("click", general, 1000)
    dialog = winrig.wait_for(
        lambda: next((int(l.split()[0]) for l in app.ui("windows")
                      if " #32770 " in l and not l.endswith((" Setting", " DORVANE")) and l.split()[2] == "1"), None),
        10, "the comm configuration dialog")
    app.ui("answer", dialog, IDOK)
    winrig.wait_for(lambda: wine.reg("query", SETTINGS_KEY, "/v", "COM12_DCB")[0] == 0, 10, "COM12_DCB")
    close_sheet(app, sheet, IDCANCEL)
    data = stored(wine, "COM12_DCB")
    assert len(bytes.fromhex(data)) == 28


def test_the_program_to_type_into_is_picked_from_the_open_windows_and_stored(wine, line, key_sink):
    app = start_disabled(wine)
    sheet, general = open_sheet(app)
    assert app.ui("text", general, 1014) == [""]
    app.ui("select", general, 32776, 11)
    winrig.wait_for(lambda: app.ui("enabled", general, 1000) == ["1"], 10, "Properties for COM12")
    app.ui("settext", general, 1014, "EXCEL.EXE;")
    app.ui("click", general, 1015)
    app.ui("menu", 10000, "down", "return")  # the first program, in name order
    winrig.wait_for(lambda: app.ui("text", general, 1014) != ["EXCEL.EXE;"], 10, "the picked program in the field")
    assert app.ui("text", general, 1014) == ["EXCEL.EXE;keysink.exe"]
    close_sheet(app, sheet, IDOK)
    assert stored(wine, "TARGET_PROGRAM") == "EXCEL.EXE;keysink.exe"

    # Recording chosen: the field does not apply and is greyed.
    sheet, general = open_sheet(app)
    assert app.ui("text", general, 1014) == ["EXCEL.EXE;keysink.exe"]
    advanced = show_page(app, sheet, 1)
    app.ui("click", advanced, 1011)
    winrig.wait_for(lambda: app.ui("enabled", advanced, 1010) == ["1"], 10, "the browse button")
    general = show_page(app, sheet, 0)
    assert [app.ui("enabled", general, c)[0] for c in (1014, 1015)] == ["0", "0"]
    close_sheet(app, sheet, IDCANCEL)


def test_stored_port_names_the_list_cannot_show_and_the_file_dialog(wine):
    app = start_disabled(wine)
    for stored_port, shown in (("LPT1", ""), ("COM", "COM1")):
        set_value(wine, "COMPORT", "REG_SZ", stored_port)
        sheet, general = open_sheet(app)
        assert app.ui("text", general, 32776) == [shown]
        if not shown:
            assert app.ui("enabled", general, 1000) == ["0"]
        close_sheet(app, sheet, IDCANCEL)

    target = wine.workdir / "scan.log"
    sheet, _ = open_sheet(app)
    advanced = show_page(app, sheet, 1)
    app.ui("click", advanced, 1011)
    winrig.wait_for(lambda: app.ui("enabled", advanced, 1010) == ["1"], 10, "the browse button")
    app.ui("click", advanced, 1010)
    dialog = app.ui.find("#32770", "Save As")
    app.ui("settext", dialog, 1148, winrig.winpath(target))
    app.ui("click", dialog, 1)
    winrig.wait_for(lambda: app.ui("text", advanced, 1009) == [winrig.winpath(target).replace("\\", "\\\\")], 10,
                    "the chosen path in the edit")
    assert stored(wine, "RECORDDATA_FILENAME_FILTERINDEX") == "0x1"
    close_sheet(app, sheet, IDCANCEL)


def test_setting_does_nothing_while_the_service_runs(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    app.choose(MENU_SETTING)
    assert app.ui("find", "#32770", "Setting", 1500, check=False) == ["none"]


def owner_of(app, hwnd):
    line = next(l for l in app.ui("windows") if l.startswith(f"{hwnd} "))
    return int(line.split()[3])


def test_while_the_sheet_is_open_the_tray_only_brings_it_to_the_front(wine):
    app = start_disabled(wine)
    sheet, general = open_sheet(app)
    for mouse in (WM_RBUTTONUP, 515):  # a click would offer a second sheet or Enable; a double click About
        app.tray(mouse)
        assert app.ui("nomenu", 1000) == ["none"]
        assert app.ui("foreground")[0].startswith(f"{sheet} ")
    assert app.ui("find", "#32770", "About Dorvane", 0, check=False) == ["none"]
    assert app.traces().count("enable dorvane") == 1  # only the start's

    # A box raised by the sheet is modal to it: the sheet's OK cannot be pressed again under it.
    app.ui("click", sheet, IDOK)
    box, text = app.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text) == "Com port is not available!\t"
    assert owner_of(app, box) == sheet
    assert app.ui("enabled", sheet, "self") == ["0"]
    app.ui("answer", box, IDOK)
    app.answer_box("Setting has error!")
    sheet = app.ui.find("#32770", "Setting")  # comes back from the store
    close_sheet(app, sheet, IDCANCEL)
    app.choose(("escape",))  # the menu is back once nothing of ours is open


def test_the_ports_this_pc_has_and_our_own_line_settings_dialog(wine, line):
    SERIALCOMM = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"
    assert wine.reg("add", SERIALCOMM, "/v", r"\Device\Serial12", "/t", "REG_SZ", "/d", "COM12", "/f")[0] == 0
    app = start_disabled(wine)
    sheet, general = open_sheet(app)
    shown = winrig.unescape(app.ui("text", general, 1013)[0])
    assert shown.startswith("On this PC: ") and "COM12" in shown, shown
    # A port plugged in while the page is open appears (Windows tells every top-level window).
    assert wine.reg("add", SERIALCOMM, "/v", r"\Device\Serial20", "/t", "REG_SZ", "/d", "COM20", "/f")[0] == 0
    app.ui("post", app.hwnd, 0x219, 7, 0)  # WM_DEVICECHANGE, DBT_DEVNODES_CHANGED
    winrig.wait_for(lambda: "COM20" in app.ui("text", general, 1013)[0], 10, "COM20 on the page")

    # Shift + Properties: our dialog; its record is stored at once and applied at the next enable.
    app.ui("select", general, 32776, 11)
    winrig.wait_for(lambda: app.ui("enabled", general, 1000) == ["1"], 10, "Properties for COM12")
    app.ui("hold", 16, "down")
    app.ui("click", general, 1000)
    dialog = app.ui.find("#32770", "Line Settings")
    app.ui("hold", 16, "up")
    assert app.ui("text", dialog, 1021) == [str(line.speed())]  # nothing stored: seeded from the port
    # Owned by the sheet: the sheet cannot be answered while it is open.
    assert app.ui("enabled", sheet, "self") == ["0"]
    screenshot(app, "line-settings")
    app.ui("settext", dialog, 1021, "19200")
    # 7 bits, even, 2 stop (with 7 data bits only 1 and 2 are offered), RTS/CTS
    for control, index in ((1022, 2), (1023, 2), (1024, 1), (1025, 2)):
        app.ui("select", dialog, control, index)
    app.ui("click", dialog, IDOK)
    winrig.wait_for(lambda: app.ui("find", "#32770", "Line Settings", 0, check=False) == ["none"], 10,
                    "the dialog to close")
    close_sheet(app, sheet, IDCANCEL)
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app.choose(MENU_TOGGLE)  # Enable Com Port
    app.wait_trace("enable/disable dorvane, done", 2)
    # The record as stored: 7 data bits, even parity, 2 stop bits, RTS/CTS (fOutxCtsFlow, RTS handshake).
    data = bytes.fromhex(wine.reg("query", SETTINGS_KEY, "/v", "COM12_DCB")[1].split("REG_BINARY")[1].split()[0])
    flags = int.from_bytes(data[8:12], "little")
    assert (len(data), int.from_bytes(data[4:8], "little"), data[18], data[19], data[20]) == (28, 19200, 7, 2, 2)
    assert flags & 0x4 and (flags >> 12) & 3 == 2
    # What the next enable applied to the line. (A Linux pty keeps the speed, stop bits and flow
    # control it is given but always reports 8 bits without parity.)
    assert line.speed() == 19200
    assert {"cstopb", "crtscts"} <= line.settings()


def shown(app, page, control):
    """A control's text as the user reads it (the driver escapes what it prints)."""
    return winrig.unescape(app.ui("text", page, control)[0])


def test_the_data_page_previews_the_last_reading_and_refuses_a_broken_expression(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    line.write(b"ST,GS,+0012.345kg\r\n")
    winrig.wait_for(lambda: [v for k, v in key_sink.events() if k == "char"][-2:] == [0x0D, 0x0A], 15, "the reading")
    app.choose(MENU_TOGGLE)
    app.wait_trace("enable/disable dorvane, done", 2)

    sheet, _ = open_sheet(app)
    data = show_page(app, sheet, 2)
    sample = "ST,GS,+0012.345kg\\r\\n"  # the line end shown as escapes
    assert shown(app, data, 1040) == sample
    assert shown(app, data, 1041) == sample  # every rule off: typed as received
    app.ui("select", data, 1032, 2)  # the number without "+" and leading zeros
    app.ui("select", data, 1033, 1)  # a decimal comma
    app.ui("settext", data, 1036, "{TAB}")
    app.ui("click", data, 1037)  # the line end not typed
    app.ui("settext", data, 1040, "W -000.50\\r")
    winrig.wait_for(lambda: shown(app, data, 1041) == "-0,50{TAB}", 10, "the preview to follow the edits")
    screenshot(app, "settings-data")

    app.ui("settext", data, 1031, "(")  # the preview shows the refusal (native preview test)
    app.ui("click", sheet, IDOK)
    app.answer_box("DATA_EXTRACT: ")
    assert int(app.ui("curpage", sheet)[0]) == data  # the sheet stays, on the page at fault
    winrig.wait_for(lambda: app.ui("focus", sheet) == ["1031"], 5, "the focus on the expression")
    assert stored(wine, "DATA_EXTRACT") == ""
    app.ui("settext", data, 1031, "")
    app.ui("settext", data, 1039, "1001")
    app.ui("click", sheet, IDOK)
    app.answer_box("TYPE_DELAY_MS must be 0 to 1000!")
    app.ui("settext", data, 1039, "20")
    close_sheet(app, sheet, IDOK)
    assert {name: stored(wine, name) for name in ("DATA_NUMBER", "DATA_DECIMAL", "DATA_SUFFIX", "DATA_TERMINATOR",
                                                  "DATA_EXTRACT", "TYPE_DELAY_MS")} == {
        "DATA_NUMBER": "0x2", "DATA_DECIMAL": ",", "DATA_SUFFIX": "{TAB}", "DATA_TERMINATOR": "0x0",
        "DATA_EXTRACT": "", "TYPE_DELAY_MS": "0x14"}


def test_the_device_page_refuses_what_cannot_be_sent_and_stores_the_requests(wine, line):
    app = start_disabled(wine)
    set_value(wine, "COMPORT", "REG_SZ", "COM12")  # a port that opens, so that OK can store
    sheet, _ = open_sheet(app)
    device = show_page(app, sheet, 3)
    screenshot(app, "settings-device")
    IDC_COMMAND, IDC_AT_ENABLE, IDC_POLL, IDC_HOTKEY, IDC_ACK = 1042, 1043, 1044, 1045, 1046
    refusals = [
        (IDC_COMMAND, r"P\q", "DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!"),
        (IDC_COMMAND, "S" * 257, "DEVICE_COMMAND is longer than 256 bytes!"),
        (IDC_POLL, "50", "DEVICE_POLL_MS must be 0 or 100 to 3600000!"),
        (IDC_HOTKEY, "W", 'DEVICE_HOTKEY: "W" cannot be a hotkey!'),
        (IDC_HOTKEY, "CTRL+ALT+Q", 'DEVICE_HOTKEY: "CTRL+ALT+Q" is AltGr on many keyboards'),
        (IDC_ACK, r"\x6", "DEVICE_ACK: \\x needs two hexadecimal digits!"),
        # Longer than the field takes (a stored text is shown whole; typing stops at the limit).
        (IDC_HOTKEY, "CTRL+SHIFT+" + "W" * 54, "DEVICE_HOTKEY is longer than 64 characters!"),
    ]
    good = {IDC_COMMAND: r"P\r\n", IDC_POLL: "1000", IDC_HOTKEY: "CTRL+SHIFT+W", IDC_ACK: r"\x06"}
    for control, text, refusal in refusals:
        app.ui("settext", device, control, text)
        app.ui("click", sheet, IDOK)
        assert app.answer_box(refusal).endswith("!")
        assert int(app.ui("curpage", sheet)[0]) == device  # the sheet stays, on the page at fault
        winrig.wait_for(lambda: app.ui("focus", sheet) == [str(control)], 5, "the focus on the field at fault")
        app.ui("settext", device, control, good[control])
    app.ui("click", device, IDC_AT_ENABLE)
    close_sheet(app, sheet, IDOK)
    assert {name: stored(wine, name) for name in ("DEVICE_COMMAND", "DEVICE_COMMAND_AT_ENABLE", "DEVICE_POLL_MS",
                                                  "DEVICE_HOTKEY", "DEVICE_ACK")} == {
        "DEVICE_COMMAND": r"P\r\n", "DEVICE_COMMAND_AT_ENABLE": "0x1", "DEVICE_POLL_MS": "0x3e8",
        "DEVICE_HOTKEY": "CTRL+SHIFT+W", "DEVICE_ACK": r"\x06"}
