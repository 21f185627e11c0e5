"""The release: the zip's content, and the installer under Wine, silent as an administrator
rolls it out: install (with and without the start with Windows), the installed Dorvane typing a
reading, an upgrade over the running program, and uninstall with and without the settings."""
import getpass
import subprocess
import tempfile
import time
import zipfile

import pytest

import winrig
from test_app import SETTINGS_KEY, Dorvane, set_value

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dorvane"


@pytest.fixture(scope="module")
def dist():
    """The packages scripts/package.sh writes (built once for this file)."""
    with tempfile.TemporaryFile() as out:
        subprocess.run([str(winrig.REPO / "scripts" / "package.sh")], check=True, timeout=600, stdout=out,
                       stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    folder = winrig.REPO / "dist"
    return next(folder.glob("Dorvane-*-win64.zip")), next(folder.glob("Dorvane-*-setup.exe"))


def user_folder(wine, *parts):
    return wine.path.joinpath("drive_c", "users", getpass.getuser(), *parts)


def installed(wine):
    return user_folder(wine, "AppData", "Local", "Programs", "Dorvane")


def shortcut(wine):
    return user_folder(wine, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs", "Dorvane.lnk")


def reg_values(wine, key):
    code, out = wine.reg("query", key)
    return {line.split()[0]: line.split(None, 2)[2] if len(line.split()) > 2 else ""
            for line in out.splitlines() if "REG_" in line} if code == 0 else None


def test_the_zip_holds_the_program_and_the_guide(dist):
    package, _ = dist
    with zipfile.ZipFile(package) as archive:
        assert sorted(archive.namelist()) == ["Dorvane/Dorvane.exe", "Dorvane/Dorvane.ini", "Dorvane/UserGuide.html",
                                                 "Dorvane/readings.png"]
        assert archive.read("Dorvane/Dorvane.ini") == b"\xff\xfe"  # empty, in UTF-16: the copy is portable
        # One self-contained program within the release's budget of 1 MB (PCRE2 adds 115 KB).
        assert archive.getinfo("Dorvane/Dorvane.exe").file_size <= 1024 * 1024
        assert b"CR LF types <kbd>Enter</kbd> and then <kbd>Ctrl</kbd>+<kbd>Enter</kbd>" in archive.read(
            "Dorvane/UserGuide.html")


def test_install_run_upgrade_over_the_running_program_and_uninstall(dist, wine, line, key_sink):
    _, setup = dist
    assert wine.run(setup, "/S", "/AUTOSTART=1", timeout=180) == 0
    program = installed(wine) / "Dorvane.exe"
    assert {p.name for p in installed(wine).iterdir()} == {"Dorvane.exe", "UserGuide.html", "readings.png", "Uninstall.exe"}
    assert shortcut(wine).is_file()
    user = getpass.getuser()
    assert reg_values(wine, RUN_KEY)["Dorvane"] == f'"C:\\users\\{user}\\AppData\\Local\\Programs\\Dorvane\\Dorvane.exe"'
    entry = reg_values(wine, UNINSTALL_KEY)
    assert entry["DisplayName"].endswith("Dorvane") and entry["Publisher"].endswith("Velmora")
    assert "DisplayVersion" in entry and "DisplayIcon" in entry and "EstimatedSize" in entry

    # The installed program types a reading.
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    line.wait_mapped()
    app = Dorvane(wine, "installed", exe=program)
    app.wait_trace("enable/disable dorvane, done")
    line.write(b"4711\r")
    winrig.wait_for(lambda: "".join(chr(v) for k, v in key_sink.events() if k == "char").startswith("4711"), 15,
                    "the reading typed by the installed Dorvane")

    # An upgrade over the running program ends it without a question and starts it again.
    assert wine.run(setup, "/S", timeout=180) == 0
    assert "quit requested" in app.traces()
    assert app.proc.wait(timeout=20) == 0
    winrig.wait_for(lambda: winrig.find_process("Dorvane.exe"), 20, "Dorvane started again")
    assert "Dorvane" in reg_values(wine, RUN_KEY)  # the earlier choice stays

    # Uninstall: the program ends, everything of the install goes, the settings stay.
    assert wine.run(installed(wine) / "Uninstall.exe", "/S", timeout=180) == 0
    # The uninstaller goes on as a copy of itself after Uninstall.exe returned, and takes the
    # shortcuts off after the folder.
    winrig.wait_for(lambda: not installed(wine).exists() and not shortcut(wine).exists(), 60,
                    "the install folder and the shortcut to go")
    assert "Dorvane" not in (reg_values(wine, RUN_KEY) or {})
    assert reg_values(wine, UNINSTALL_KEY) is None
    assert reg_values(wine, SETTINGS_KEY)["COMPORT"].endswith("COM12")
    with pytest.raises(LookupError):
        time.sleep(1)
        winrig.find_process("Dorvane.exe")


def test_install_without_autostart_and_uninstall_with_the_settings(dist, wine):
    _, setup = dist
    # Settings to roll out, as Dorvane.exe /export writes them; the name relative to the
    # installer's working folder.
    (wine.path / "drive_c" / "roll-out.ini").write_bytes(
        "\ufeff[Settings]\r\nCOMPORT=COM7\r\nDATA_SUFFIX={TAB}\r\nDEVICE_POLL_MS=1000\r\n".encode("utf-16-le"))
    assert wine.run(setup, "/S", r"/SETTINGS=C:\roll-out.ini", timeout=180) == 0
    stored = reg_values(wine, SETTINGS_KEY)
    assert (stored["COMPORT"], stored["DATA_SUFFIX"], stored["DEVICE_POLL_MS"]) == ("COM7", "{TAB}", "0x3e8")
    (wine.path / "drive_c" / "bad.ini").write_bytes("\ufeff[Settings]\r\nDATA_CASE=7\r\n".encode("utf-16-le"))
    assert wine.run(setup, "/S", r"/SETTINGS=C:\bad.ini", timeout=180) == 2  # refused: nothing written
    assert reg_values(wine, SETTINGS_KEY)["DATA_SUFFIX"] == "{TAB}" and "DATA_CASE" not in reg_values(wine, SETTINGS_KEY)
    assert "Dorvane" not in (reg_values(wine, RUN_KEY) or {})
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    assert wine.run(installed(wine) / "Uninstall.exe", "/S", "/REMOVESETTINGS=1", timeout=180) == 0
    winrig.wait_for(lambda: not installed(wine).exists(), 60, "the install folder to go")
    assert reg_values(wine, SETTINGS_KEY) is None
