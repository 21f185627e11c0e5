"""The log file in the real Dorvane.exe under Wine: each reading is one CSV line Excel can open
(UTF-8 with its mark, RFC 4180 quoting, CR LF), a log that cannot be written never holds the
typing and catches up once it can, and with the defaults nothing is written anywhere."""
import os
import re
import time

import winrig
from test_app import stored_names
from test_readings import chars, start

HEADER = "time,profile,port,outcome,typed,raw,program"
TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}")


def private_documents(wine):
    """The prefix user's Documents folder, where a log path without a folder goes. Wine links
    it to the host user's home: the test makes it a folder of the prefix's own first."""
    found = [d for d in (wine.path / "drive_c" / "users").glob("*/Documents") if d.parent.name != "Public"]
    assert len(found) == 1, found
    if found[0].is_symlink():
        found[0].unlink()
        found[0].mkdir()
    return found[0]


def log_rows(path):
    data = path.read_bytes()
    assert data.startswith(b"\xef\xbb\xbf")  # the mark: Excel reads UTF-8 only with it
    text = data[3:].decode("utf-8")
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", "")
    return text[:-2].split("\r\n")


def test_each_reading_is_a_csv_line_excel_opens_with_its_time_outcome_and_raw_bytes(wine, line, key_sink):
    log = private_documents(wine) / "scans.csv"
    app = start(wine, ("LOG_FILE", "REG_SZ", "scans.csv"), ("DATA_EXTRACT", "REG_SZ", r"^([^!]*)$"))
    line.write(b'a,"b"\r\n')
    line.write(b"caf\xe9!\r\n")  # é in the prefix's code page, 1252
    line.write(b"x\ty\r\n")
    winrig.wait_for(lambda: chars(key_sink) == 'a,"b"\r\nx\ty\r\n', 15, "two readings typed")
    rows = winrig.wait_for(lambda: log.exists() and len(log_rows(log)) == 4 and log_rows(log), 10, "four lines")
    assert rows[0] == HEADER
    times = [row[:23] for row in rows[1:]]
    assert all(TIME.fullmatch(t) for t in times) and times == sorted(times)
    assert [row[23:] for row in rows[1:]] == [
        ',,COM12,typed,"a,""b""\\r\\n","a,""b""\\r\\n",keysink.exe',
        ",,COM12,skipped,,caf\\xE9!\\r\\n,keysink.exe",
        ",,COM12,typed,x\\ty\\r\\n,x\\ty\\r\\n,keysink.exe",
    ]
    assert app.proc.poll() is None


def test_a_log_that_cannot_be_written_never_holds_typing_and_catches_up(wine, line, key_sink):
    folder = wine.path / "drive_c" / "logs"  # not there yet
    app = start(wine, ("LOG_FILE", "REG_SZ", r"C:\logs\scans.csv"))
    line.write(b"one\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "one\r\n", 15, "the reading typed")
    app.wait_trace(r"log: writing C:\logs\scans.csv failed, err=3")  # ERROR_PATH_NOT_FOUND
    winrig.wait_for(lambda: "log file not written" in (app.tooltip() or ""), 10, "the fault in the tooltip")
    assert app.traces().count("notice: DORVANE") == 1

    folder.mkdir()
    line.write(b"two\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "one\r\ntwo\r\n", 15, "the next reading typed")
    log = folder / "scans.csv"
    rows = winrig.wait_for(lambda: log.exists() and log_rows(log), 10, "the log written")
    assert [row.split(",")[3:6] for row in rows[1:]] == [["typed", "one\\r\\n", "one\\r\\n"],
                                                          ["typed", "two\\r\\n", "two\\r\\n"]]
    winrig.wait_for(lambda: "log file not written" not in (app.tooltip() or ""), 10, "the fault gone")


def test_with_the_defaults_no_log_is_written_and_the_store_gains_no_value(wine, line, key_sink):
    private_documents(wine)
    start(wine)
    line.write(b"12345\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "12345\r\n", 15, "the reading typed")
    time.sleep(0.5)
    written = [name for _, _, names in os.walk(wine.path / "drive_c") for name in names if name.endswith(".csv")]
    assert written == []
    assert "LOG_FILE" not in stored_names(wine)
