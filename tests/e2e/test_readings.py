"""Whole readings in the real Dorvane.exe under Wine: a reading that arrives in pieces is shaped
and acknowledged once, costly or broken expressions cost neither the program nor the readings
after them, NUL bytes from the device are left out, and with the defaults a long reading is
typed piece by piece as it arrives."""
import re
import time

import winrig
from test_app import TOGGLE, WM_COMMAND, Balance, Dorvane, set_value
from test_settings import stored

NOT_VALID = "DATA_EXTRACT: the expression is not valid!"
SKIPPED = ("reading skipped, expression too costly", "reading skipped, no match")
TAB = 0x09


def chars(key_sink):
    return "".join(chr(v) for k, v in key_sink.events() if k == "char")


def start(wine, *settings):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    for name, kind, data in settings:
        set_value(wine, name, kind, data)
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    return app


def test_a_scale_reading_in_two_pieces_is_shaped_typed_and_acknowledged_once(wine, line, key_sink):
    balance = Balance(line)  # records what the program sends to the device
    try:
        app = start(wine, ("DATA_NUMBER", "REG_DWORD", "2"), ("DATA_SUFFIX", "REG_SZ", "{TAB}"),
                    ("DATA_TERMINATOR", "REG_DWORD", "0"), ("DEVICE_ACK", "REG_SZ", r"\x06"))
        # The device pauses in the middle of its line: the reader hands on two bursts.
        line.write(b"ST,GS,+001")
        time.sleep(0.3)
        line.write(b"2.345kg\r\n")
        winrig.wait_for(lambda: [v for k, v in key_sink.events() if k == "keydown"][-1:] == [TAB], 15, "the Tab")
        winrig.wait_for(lambda: b"\x06" in balance.received, 10, "the acknowledgement")
        time.sleep(1.0)  # room for a second Tab or acknowledgement
        assert [t for t in app.traces() if re.fullmatch(r"comm read: \d+", t)] == ["comm read: 10", "comm read: 9"]
        assert chars(key_sink) == "12.345\t"
        assert [v for k, v in key_sink.events() if k == "keydown"].count(TAB) == 1
        assert balance.received == b"\x06"
    finally:
        balance.close()


def test_a_long_reading_the_expression_cannot_match_leaves_the_program_typing(wine, line, key_sink):
    app = start(wine, ("BUFFERSIZE_KB", "REG_DWORD", "32"), ("DATA_EXTRACT", "REG_SZ", r"^W:(\d+)X$"))
    line.write(b"W:" + b"7" * 20000 + b"\r\n")
    winrig.wait_for(lambda: any(t in SKIPPED for t in app.traces()), 30, "the long reading skipped")
    line.write(b"W:42X\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "42\r\n", 15, f"the next reading typed, not {chars(key_sink)!r}")
    assert app.proc.poll() is None and winrig.find_process("Dorvane.exe")


def test_a_costly_expression_skips_its_reading_the_next_is_typed_and_disable_ends_at_once(wine, line, key_sink):
    app = start(wine, ("DATA_EXTRACT", "REG_SZ", r"^(\w+\s?)+$"))
    costly = b"a" * 40 + b"!\r\n"  # every way of cutting the a's into words is tried before it fails
    line.write(costly)
    line.write(b"ok\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "ok\r\n", 5, f"'ok' typed, not {chars(key_sink)!r}")
    assert sum(t in SKIPPED for t in app.traces()) == 1

    # Disabled while a row of such readings is being shaped: the stop does not wait for them.
    line.write(costly * 20)
    app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
    app.wait_trace("disable dorvane")
    asked = time.monotonic()
    app.wait_trace("remove service, done", timeout=10)
    assert time.monotonic() - asked < 1.0
    app.wait_trace("enable/disable dorvane, done", 2)
    assert chars(key_sink) == "ok\r\n"
    assert app.proc.poll() is None


def test_an_expression_nested_too_deep_is_refused_at_enable_and_at_import(wine, line, key_sink):
    nested = "(" * 2000 + "a" + ")" * 2000  # within the field's 4096 characters, nested far too deep
    app = start(wine, ("DATA_EXTRACT", "REG_SZ", nested))
    assert app.traces().count(f"reading rules refused: {NOT_VALID}") == 1
    balloons = winrig.wait_for(lambda: [t for t in map(winrig.unescape, app.ui("tooltips")) if NOT_VALID in t], 10,
                               "the balloon")
    assert "Readings are not typed until the setting is mended." in balloons[0]

    # The tooltip says it for as long as it lasts; a second enable (a reconnection) meets it
    # again without a second notice.
    tip = f"DORVANE [Send], Enabled @ COM12, not typing: {NOT_VALID[:-1]}\nCOM read: 0"
    winrig.wait_for(lambda: (app.tooltip() or "").startswith(tip), 5, "the fault in the tooltip")
    for done in (2, 3):
        app.ui("post", app.hwnd, WM_COMMAND, TOGGLE, 0)
        app.wait_trace("enable/disable dorvane, done", done)
    winrig.wait_for(lambda: (app.tooltip() or "").startswith(tip), 5, "the fault in the tooltip, enabled again")
    assert app.traces().count(f"reading rules refused: {NOT_VALID}") == 2
    assert app.traces().count("notice: DORVANE") == 1
    line.write(b"12345\r\n")
    app.wait_trace("send-key: a reading not typed, the reading rules cannot work")
    time.sleep(0.5)
    assert key_sink.events() == []
    assert app.proc.poll() is None and winrig.find_process("Dorvane.exe")

    # The Data page refuses it as it refuses any expression that does not compile (test_settings).
    bad = wine.workdir / "nested.ini"
    bad.write_bytes(f"\ufeff[Settings]\r\nCOMPORT=COM9\r\nDATA_EXTRACT={nested}\r\n".encode("utf-16-le"))
    assert wine.run(winrig.BUILD_WIN / "Dorvane.exe", "/import", winrig.winpath(bad), "/quiet") == 1
    assert stored(wine, "COMPORT") == "COM12"  # refused whole
    assert app.proc.poll() is None


def test_with_the_defaults_a_long_reading_is_typed_piece_by_piece_as_it_arrives(wine, line, key_sink):
    start(wine)
    reading = "".join(f"{i:04d}," for i in range(120))  # numbered tokens: a lost or doubled piece shows
    line.write(reading[:200].encode())
    time.sleep(0.4)
    line.write(reading[200:400].encode())
    time.sleep(0.4)
    # Asked before the line has been quiet for the flush time-out (1 s), which would hand on the
    # start of an unfinished reading too.
    early = winrig.wait_for(lambda: chars(key_sink), 0.3, "the first piece typed before the line ends")
    assert reading.startswith(early)
    line.write(reading[400:].encode() + b"\r\n")
    winrig.wait_for(lambda: chars(key_sink) == reading + "\r\n", 60,
                    f"the whole reading, not {len(chars(key_sink))} characters")


def test_nul_bytes_from_the_device_are_left_out_and_the_rest_is_typed(wine, line, key_sink):
    app = start(wine)
    line.write(b"ab\x00cd\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "abcd\r\n", 15, f"the reading without its NUL, not {chars(key_sink)!r}")
    line.write(b"\x00\x00ef\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "abcd\r\nef\r\n", 15, f"the next reading, not {chars(key_sink)!r}")
    assert app.traces().count("comm read: NUL bytes from the device are left out") == 1
