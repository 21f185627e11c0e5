"""The checks in the real Dorvane.exe under Wine: a wrong GS1 check digit is refused with the
system's sound, a double read within DATA_REPEAT_MS is typed once, group separators become Tab,
and with the defaults every one of these readings is typed as it came."""
import time

import winrig
from test_readings import chars, start

GS1 = b"0104006381333931\x1d10ABC\x1d21XYZ\r\n"


def test_a_wrong_check_digit_is_refused_with_the_critical_stop_sound(wine, line, key_sink):
    app = start(wine, ("DATA_CHECK_GTIN", "REG_DWORD", "1"), ("SIGNAL_SOUND", "REG_DWORD", "1"))
    line.write(b"4006381333931\r\n")
    line.write(b"4006381333932\r\n")
    line.write(b"ok\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "4006381333931\r\nok\r\n", 15, "the valid code and the text typed")
    traces = app.traces()
    assert traces.count("reading refused, check digit") == 1
    assert traces.count("sound: critical stop") == 1 and "sound: default beep" not in traces
    winrig.wait_for(lambda: (app.tooltip() or "").endswith(", Refused: 1"), 10, "the refusal counted in the tooltip")


def test_a_double_read_within_the_window_is_typed_once_a_later_one_again(wine, line, key_sink):
    app = start(wine, ("DATA_REPEAT_MS", "REG_DWORD", "1000"))
    line.write(b"4006381333931\r\n" * 2)  # one burst: a double read, however loaded the machine
    app.wait_trace("reading refused, repeat", timeout=10)
    time.sleep(1.5)
    line.write(b"4006381333931\r\n")
    winrig.wait_for(lambda: chars(key_sink) == "4006381333931\r\n" * 2, 15, "the first and the third typed")
    assert app.traces().count("reading refused, repeat") == 1


def test_group_separators_become_tab(wine, line, key_sink):
    start(wine, ("DATA_REPLACE", "REG_SZ", r"\x1d={TAB}"))
    line.write(GS1)
    winrig.wait_for(lambda: chars(key_sink) == "0104006381333931\t10ABC\t21XYZ\r\n", 15, "the code with a Tab at each GS")


def test_with_the_defaults_every_one_of_them_is_typed_as_it_came(wine, line, key_sink):
    app = start(wine)
    sent = b"4006381333932\r\n" + b"4006381333931\r\n" * 2
    line.write(sent[:15])
    time.sleep(0.3)
    line.write(sent[15:])
    line.write(GS1)
    # A group separator goes out as the key the layout has for it, Ctrl+], which a text field
    # takes as nothing: the separators vanish (what DATA_REPLACE is for), and no Tab is typed.
    expected = (sent + GS1.replace(b"\x1d", b"")).decode("latin-1")
    winrig.wait_for(lambda: chars(key_sink) == expected, 15, "every reading as it came")
    assert ("keydown", 0x09) not in key_sink.events()
    assert not [t for t in app.traces() if t.startswith(("reading refused", "sound:"))]
