"""The settings store on a fresh Wine prefix, checked from outside the program with
`wine reg`, as an administrator would look at a user's settings."""
import os
import shutil
import time

import winrig

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"


def exported_values(wine):
    """{name: exported data text} of the Settings key, from `wine reg export`."""
    target = wine.workdir / "settings.reg"
    code, _ = wine.reg("export", SETTINGS_KEY, winrig.winpath(target), "/y")
    assert code == 0
    text = target.read_bytes().decode("utf-16")
    values = {}
    for line in text.splitlines():
        if line.startswith('"') and "=" in line:
            name, data = line.split("=", 1)
            values[name.strip('"')] = data
    return values


def test_fresh_store_writes_defaults_with_their_types(wine):
    code, _ = wine.reg("query", r"HKCU\software\Velmora")
    assert code != 0, "a fresh prefix has no settings yet"

    out = wine.workdir / "profile.out"
    assert wine.run_tool(winrig.tool("profileprobe"), winrig.winpath(out), out=out) == 0
    results = dict(line.split(" ", 1) for line in winrig.read_lines(out) if line != "done")
    assert results == {
        "crlf": "1",
        "filename": "[]",
        "nulldefault": "[]",
        "dcb": "FALSE",
        "dcbsize": "0",
        "minusone": "4294967295",
        "deleted": "TRUE",
    }

    values = exported_values(wine)
    assert values == {
        "SENDKB_CRLF": "dword:00000001",
        "RECORDDATA_FILENAME": '""',
        "MINUS_ONE": "dword:ffffffff",
    }
    # Nothing was stored for the null default, the binary read or the deleted entry.
    code, _ = wine.reg("query", SETTINGS_KEY, "/v", "COM1_DCB")
    assert code != 0


def ini_values(path):
    """{name: text} of an INI file's [Settings] section, as the program wrote it (UTF-16)."""
    text = path.read_bytes().decode("utf-16")
    values, section = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            section = line.strip("[]")
        elif "=" in line and section == "Settings":
            name, value = line.split("=", 1)
            values[name] = value
    return values


def test_a_portable_copy_keeps_every_setting_beside_itself_and_nothing_in_the_registry(wine, line):
    from test_app import Dorvane
    from test_settings import MENU_SETTING, close_sheet, show_page, IDOK
    folder = wine.path / "drive_c" / "stick" / "Dorvane"
    folder.mkdir(parents=True)
    shutil.copy(winrig.BUILD_WIN / "Dorvane.exe", folder / "Dorvane.exe")
    ini = folder / "Dorvane.ini"
    ini.write_bytes("\ufeff[Settings]\r\nCOMPORT=COM12\r\nDATA_SUFFIX=\" kg\"\r\n".encode("utf-16-le"))
    app = Dorvane(wine, exe=folder / "Dorvane.exe")
    app.wait_trace("enable/disable dorvane, done")
    assert "open com-port [\\\\.\\COM12], success" in app.traces()  # the file's port, read back
    app.choose(winrig.tray_menu_keys("Enable Com Port"))  # off, so that the sheet opens
    app.wait_trace("enable/disable dorvane, done", 2)
    app.choose(MENU_SETTING)
    sheet = app.ui.find("#32770", "Setting")
    for page in (1, 2, 3):
        show_page(app, sheet, page)
    close_sheet(app, sheet, IDOK)  # every page stored
    values = ini_values(ini)
    assert values["COMPORT"] == "COM12" and values["DATA_SUFFIX"] == '" kg"' and "DEVICE_ACK" in values
    assert "COM12_DCB" in values
    code, _ = wine.reg("query", r"HKCU\software\Velmora")
    assert code != 0, "the portable copy wrote to the registry"

    # On a medium that cannot be written: the values are used, a box says so, nothing is stored.
    app.ui("post", app.hwnd, 0x111, 32775, 0)  # Exit; the service is off: no question
    app.proc.wait(timeout=10)
    before = ini.read_bytes()
    os.chmod(ini, 0o444)
    app = Dorvane.__new__(Dorvane)
    app.records = wine.workdir / "readonly-records.txt"
    app.proc = wine.start(winrig.tool("dbgcatch"), winrig.winpath(app.records), folder / "Dorvane.exe")
    app.ui = winrig.UiDriver(wine)
    box, text = app.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text).startswith("Setting file is read-only!")
    app.ui("answer", box, 1)
    winrig.wait_for(lambda: "enable/disable dorvane, done" in app.traces(), 20, "the enable")
    assert "open com-port [\\\\.\\COM12], success" in app.traces()
    assert ini.read_bytes() == before
    assert wine.reg("query", r"HKCU\software\Velmora")[0] != 0


def test_export_then_import_into_a_fresh_prefix_and_a_bad_file_changes_nothing(wine, tmp_path, xvfb, wine_template):
    exe = winrig.BUILD_WIN / "Dorvane.exe"
    device = r"USB\VID_0403&PID_6001\A50285BI"  # a device the fresh prefix has not: carried all the same
    for name, kind, data in (("COMPORT", "REG_SZ", "COM7"), ("COMPORT_DEVICE", "REG_SZ", device),
                             ("DATA_PREFIX", "REG_SZ", " >"),
                             ("DATA_SUFFIX", "REG_SZ", "{TAB}\u20ac"), ("DEVICE_COMMAND", "REG_SZ", r"P\r\n"),
                             ("TYPE_DELAY_MS", "REG_DWORD", "20"), ("COM7_DCB", "REG_BINARY",
                                                                     "1c000000804b000011000000000000000000"
                                                                     "08000011130000000000")):
        assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", data, "/f")[0] == 0
    exported = wine.workdir / "roll-out.ini"
    assert wine.run(exe, "/export", winrig.winpath(exported), "/quiet") == 0
    assert f"COMPORT_DEVICE={device}" in exported.read_bytes().decode("utf-16").splitlines()

    (tmp_path / "fresh").mkdir()
    fresh = winrig.WinePrefix(wine_template, tmp_path / "fresh", xvfb.display)
    try:
        # Every value comes back (native round trip); here the real files and the exit codes.
        assert fresh.run(exe, "/import", winrig.winpath(exported), "/quiet") == 0
        assert exported_values(fresh)["COMPORT"] == '"COM7"'
        bad = fresh.workdir / "bad.ini"
        bad.write_bytes("\ufeff[Settings]\r\nCOMPORT=COM9\r\nDATA_EXTRACT=(\r\n".encode("utf-16-le"))
        assert fresh.run(exe, "/import", winrig.winpath(bad), "/quiet") == 1
        assert exported_values(fresh)["COMPORT"] == '"COM7"'  # refused whole: not even the port
        # Without /quiet the outcome is a box; a profile takes the default's section.
        proc = fresh.start(exe, "/profile", "Bench", "/import", winrig.winpath(exported))
        ui = winrig.UiDriver(fresh)
        box, text = ui("msgbox", 20000)[0].split(" ", 1)
        assert winrig.unescape(text).startswith("The settings are imported from")
        ui("answer", box, 1)
        assert proc.wait(timeout=10) == 0
        code, out = fresh.reg("query", SETTINGS_KEY.rsplit("\\", 1)[0] + r"\Profiles\Bench", "/v", "DATA_SUFFIX")
        assert code == 0 and "{TAB}" in out  # (reg's console output shows the euro sign as "?")
    finally:
        fresh.close()


def portable_copy(wine, name="stick"):
    """Dorvane.exe in a folder of its own on C:, with no Dorvane.ini yet; (exe, ini, the ini's
    Windows path)."""
    folder = wine.path / "drive_c" / name / "Dorvane"
    folder.mkdir(parents=True)
    shutil.copy(winrig.BUILD_WIN / "Dorvane.exe", folder / "Dorvane.exe")
    return folder / "Dorvane.exe", folder / "Dorvane.ini", f"C:\\{name}\\Dorvane\\Dorvane.ini"


def box_of(wine, proc):
    """The one box a run shows, answered; then the run's exit code."""
    ui = winrig.UiDriver(wine)
    box, text = ui("msgbox", 20000)[0].split(" ", 1)
    ui("answer", box, 1)
    return winrig.unescape(text), proc.wait(timeout=20)


ZAEHLUNG = "Z\u00e4hlung \u20ac\u0142"  # beyond Latin-1 too
TARGET = "Kassenbuch \u2013 \u00dcbersicht*"


def test_an_import_in_utf8_with_or_without_its_mark_keeps_every_character(wine):
    exe = winrig.BUILD_WIN / "Dorvane.exe"
    for mark in (b"", b"\xef\xbb\xbf"):  # Notepad's "UTF-8" and "UTF-8 with BOM"
        suffix = f"{ZAEHLUNG} {len(mark)}"
        source = wine.workdir / f"utf8-{len(mark)}.ini"
        source.write_bytes(mark + f"[Settings]\r\nDATA_SUFFIX={suffix}\r\nTARGET_PROGRAM={TARGET}\r\n"
                                  "COMPORT=com7\r\n".encode("utf-8"))
        assert wine.run(exe, "/import", winrig.winpath(source), "/quiet") == 0
        values = exported_values(wine)
        assert (values["DATA_SUFFIX"], values["TARGET_PROGRAM"], values["COMPORT"]) == (
            f'"{suffix}"', f'"{TARGET}"', '"COM7"')


def test_an_import_refuses_a_file_over_1_mib_at_once_and_a_value_longer_than_its_field(wine):
    exe = winrig.BUILD_WIN / "Dorvane.exe"
    huge = wine.workdir / "keys.ini"
    huge.write_bytes(b"[Settings]\r\n" + b"".join(b"KEY%d=1\r\n" % i for i in range(400000)))
    assert huge.stat().st_size > 4 * 1024 * 1024
    started = time.monotonic()
    assert wine.run(exe, "/import", winrig.winpath(huge), "/quiet", timeout=30) == 1
    assert time.monotonic() - started < 15  # Wine's start included; the profile functions took > 30 s

    prefix = wine.workdir / "prefix.ini"
    prefix.write_bytes(b"[Settings]\r\nCOMPORT=COM7\r\nDATA_PREFIX=" + b"x" * 1000000 + b"\r\n")
    text, code = box_of(wine, wine.start(exe, "/import", winrig.winpath(prefix)))
    assert (text, code) == ("Import settings refused!\t\nDATA_PREFIX is longer than 256 characters!", 1)
    assert wine.reg("query", SETTINGS_KEY, "/v", "COMPORT")[0] != 0  # refused whole


def test_a_portable_copy_refuses_a_utf8_settings_file_and_gives_an_empty_one_the_utf16_mark(wine):
    exe, ini, ini_path = portable_copy(wine)
    for mark, name in ((b"", "UTF-8"), (b"\xef\xbb\xbf", "UTF-8 with BOM")):
        saved = mark + f"[Settings]\r\nCOMPORT=COM12\r\nDATA_SUFFIX={ZAEHLUNG}\r\n".encode("utf-8")
        ini.write_bytes(saved)
        text, code = box_of(wine, wine.start(exe))
        assert code == 1
        assert text.startswith(f"Setting file is saved as {name}, which Windows reads wrongly!\t{ini_path}\n"), text
        assert '"UTF-16 LE"' in text
        assert ini.read_bytes() == saved
        assert wine.run(exe, "/export", winrig.winpath(wine.workdir / "out.ini"), "/quiet") == 1  # quiet: no box
    assert wine.reg("query", r"HKCU\software\Velmora")[0] != 0

    # An empty file: marked before the first write, so every character is kept.
    ini.write_bytes(b"")
    source = wine.workdir / "in.ini"
    source.write_bytes(f"[Settings]\r\nDATA_SUFFIX={ZAEHLUNG}\r\n".encode("utf-8"))
    assert wine.run(exe, "/profile", "Bench ", "/import", winrig.winpath(source), "/quiet") == 0
    saved = ini.read_bytes()
    assert saved.startswith(b"\xff\xfe")
    assert f"[Profiles\\Bench]\r\nDATA_SUFFIX={ZAEHLUNG}\r\n" in saved.decode("utf-16")

    # An export onto the file the copy runs on (spelled another way) is refused and changes nothing.
    text, code = box_of(wine, wine.start(exe, "/profile", "Bench", "/export", ini_path.upper()))
    assert (text, code) == (f"Export settings refused!\t\n{ini_path.upper()} is the settings file DORVANE runs on.", 1)
    assert ini.read_bytes() == saved


def test_copies_importing_into_one_portable_file_at_once_lose_no_value(wine):
    exe, ini, _ = portable_copy(wine)
    ini.write_bytes(b"\xff\xfe")
    copies = 4
    sources = []
    for copy in range(copies):
        source = wine.workdir / f"copy{copy}.ini"
        source.write_bytes((f"[Settings]\r\nDATA_SUFFIX=S{copy}\r\nDATA_PREFIX=P{copy}\r\nCOMPORT=COM{copy + 1}\r\n"
                            f"TARGET_PROGRAM=T{copy}.EXE\r\nDEVICE_COMMAND=C{copy}\r\nAUTODISABLE_MINUTES={copy + 20}\r\n"
                            ).encode("utf-8"))
        sources.append(source)
    procs = [wine.start(exe, "/profile", f"P{copy}", "/import", winrig.winpath(source), "/quiet")
             for copy, source in enumerate(sources)]
    assert [proc.wait(timeout=60) for proc in procs] == [0] * copies
    text = ini.read_bytes().decode("utf-16")
    for copy in range(copies):
        section = text.split(f"[Profiles\\P{copy}]\r\n", 1)[1].split("[", 1)[0]
        assert section.splitlines() == [f"DATA_SUFFIX=S{copy}", f"DATA_PREFIX=P{copy}", f"COMPORT=COM{copy + 1}",
                                        f"TARGET_PROGRAM=T{copy}.EXE", f"DEVICE_COMMAND=C{copy}",
                                        f"AUTODISABLE_MINUTES={copy + 20}"], section
