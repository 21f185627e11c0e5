"""The settings store on a fresh Wine prefix, checked from outside the program with
`wine reg`, as an administrator would look at a user's settings."""
import os
import shutil

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
    assert wine.run(winrig.tool("profileprobe"), winrig.winpath(out)) == 0
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


def test_export_then_import_into_a_fresh_prefix_gives_every_value_and_a_bad_file_changes_nothing(wine, tmp_path, xvfb,
                                                                                                 wine_template):
    exe = winrig.BUILD_WIN / "Dorvane.exe"
    for name, kind, data in (("COMPORT", "REG_SZ", "COM7"), ("DATA_PREFIX", "REG_SZ", " >"),
                             ("DATA_SUFFIX", "REG_SZ", "{TAB}\u20ac"), ("DEVICE_COMMAND", "REG_SZ", r"P\r\n"),
                             ("TYPE_DELAY_MS", "REG_DWORD", "20"), ("COM7_DCB", "REG_BINARY",
                                                                     "1c000000804b000011000000000000000000"
                                                                     "08000011130000000000")):
        assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", data, "/f")[0] == 0
    exported = wine.workdir / "roll-out.ini"
    assert wine.run(exe, "/export", winrig.winpath(exported), "/quiet") == 0
    source = exported_values(wine)

    (tmp_path / "fresh").mkdir()
    fresh = winrig.WinePrefix(wine_template, tmp_path / "fresh", xvfb.display)
    try:
        assert fresh.run(exe, "/import", winrig.winpath(exported), "/quiet") == 0
        assert exported_values(fresh) == source
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
