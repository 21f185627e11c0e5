"""The serial link on a real (pseudo-terminal) port under Wine: line settings, bursts, buffer
sizes, a missing port, clean stops and a pulled-out adapter, with a probe window receiving the
hand-offs in place of the main frame."""
import struct
import threading
import time

import pytest

import winrig

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"
ENABLE, DISABLE, CYCLES, QUIT = 0x8001, 0x8005, 0x8003, 0x8009


def set_value(wine, name, kind, data):
    assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", data, "/f")[0] == 0


class Probe:
    """The probe window under the debug-output catcher."""

    def __init__(self, wine):
        self.wine = wine
        self.log = wine.workdir / "serialprobe.log"
        self.records = wine.workdir / "records.txt"
        self.proc = wine.start(winrig.tool("dbgcatch"), winrig.winpath(self.records), winrig.tool("serialprobe"),
                               winrig.winpath(self.log))
        ready = winrig.wait_for(lambda: next((l for l in self.lines() if l.startswith("ready ")), None), 20,
                                "the probe window")
        self.hwnd = int(ready.split()[1])
        self.ui = winrig.UiDriver(wine)

    def lines(self):
        return winrig.read_lines(self.log)

    def traces(self):
        return [winrig.unescape(r).rstrip("\r\n") for r in winrig.read_lines(self.records)]

    def step(self, message, prefix, wparam=0, timeout=20):
        start = len(self.lines())
        self.ui("post", self.hwnd, message, wparam, 0)
        return winrig.wait_for(lambda: next((l for l in self.lines()[start:] if l.startswith(prefix)), None),
                               timeout, f"'{prefix}' from the probe")

    def bursts(self):
        return [(int(l.split()[1]), int(l.split()[2])) for l in self.lines() if l.startswith("burst ")]


def dcb_fields(wine):
    code, out = wine.reg("query", SETTINGS_KEY, "/v", "COM12_DCB")
    assert code == 0, out
    data = bytes.fromhex(out.split("REG_BINARY")[1].split()[0])
    length, baud, flags = struct.unpack_from("<III", data)
    size, parity, stop = data[18], data[19], data[20]
    return len(data), length, baud, flags, size, parity, stop


def test_line_settings_are_stored_once_and_bursts_respect_the_read_buffer(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "BUFFERSIZE_KB", "REG_DWORD", "1")
    probe = Probe(wine)
    assert probe.step(ENABLE, "enable") == "enable 1 buffer 1024"
    assert str(probe.wine.path) and line.dosdevice.resolve() == line.a.resolve()

    stored, length, baud, flags, size, parity, stop = dcb_fields(wine)
    assert (stored, length, baud, size, parity, stop) == (28, 28, 9600, 8, 0, 0)
    out_cts, out_dsr, dtr, out_x, in_x, rts = (flags >> 2) & 1, (flags >> 3) & 1, (flags >> 4) & 3, \
        (flags >> 8) & 1, (flags >> 9) & 1, (flags >> 12) & 3
    assert (out_cts, out_dsr, out_x, in_x) == (0, 0, 0, 0) and dtr != 2 and rts not in (2, 3)
    assert line.speed() == 9600

    line.write(b"4711\r\n")
    winrig.wait_for(lambda: probe.bursts(), 10, "the first burst")
    assert [count for count, _ in probe.bursts()] == [6]

    written = line.write(bytes(range(32, 132)) * 50)  # 5000 bytes at once
    winrig.wait_for(lambda: sum(c for c, _ in probe.bursts()) == 5006, 20, "5000 more bytes")
    bursts = [(0, written)] + probe.bursts()[1:]
    assert all(count <= 1024 for count, _ in bursts), bursts
    # A full buffer is handed on as soon as it is full: no 100 ms second chance before it.
    waits = [(at - before) / 1000 for (_, before), (count, at) in zip(bursts, bursts[1:]) if count > 1008]
    assert len(waits) >= 4 and max(waits) < 90, waits

    probe.step(DISABLE, "disable")

    # A later enable applies the stored record as it is: here a changed speed.
    stored_hex = wine.reg("query", SETTINGS_KEY, "/v", "COM12_DCB")[1].split("REG_BINARY")[1].split()[0]
    set_value(wine, "COM12_DCB", "REG_BINARY", stored_hex[:8] + struct.pack("<I", 19200).hex() + stored_hex[16:])
    assert probe.step(ENABLE, "enable") == "enable 1 buffer 1024"
    assert line.speed() == 19200


@pytest.mark.parametrize("kb, size", [(100, 65536), (4294967295, 65536), (0, 0)])
def test_buffer_size_setting(wine, line, kb, size):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "BUFFERSIZE_KB", "REG_DWORD", str(kb))
    probe = Probe(wine)
    assert probe.step(ENABLE, "enable") == f"enable 1 buffer {size}"


def test_a_missing_port_is_traced_and_reported(wine):
    set_value(wine, "COMPORT", "REG_SZ", "COM13")
    probe = Probe(wine)
    probe.ui("post", probe.hwnd, ENABLE, 0, 0)
    box, text = probe.ui("msgbox", 20000)[0].split(" ", 1)
    assert winrig.unescape(text).startswith("*Error: Open com-port failed!\t\n")
    probe.ui("answer", box, 1)
    winrig.wait_for(lambda: "enable 0 buffer 1024" in probe.lines(), 10, "the failed enable")
    assert "open com-port [\\\\.\\COM13], failed!" in probe.traces()


def test_stopping_is_clean_a_hundred_times_while_readings_stream_in(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    probe = Probe(wine)
    writing = True

    def device():  # a reading every 100 ms: the reader hands each on after its second chance
        while writing:
            line.write(b"4006381333931\r\n")
            time.sleep(0.1)

    writer = threading.Thread(target=device)
    writer.start()
    try:
        result = probe.step(CYCLES, "cycles", 100, timeout=120)
    finally:
        writing = False
        writer.join()
    max_stop_ms = int(result.split()[3]) / 1000
    print(f"longest of 100 stops: {max_stop_ms:.1f} ms")
    assert max_stop_ms < 500
    assert not [l for l in probe.lines() if l.startswith("late ")]
    dropped = [l for l in probe.lines() if l.startswith("dropped ")]
    print(f"{len(probe.bursts())} bursts received, {len(dropped)} dropped while stopping")
    assert probe.bursts(), "readings should have arrived between the stops"
    assert dropped, "some stops should have met the reader blocked in its hand-off"


def test_a_pulled_out_adapter_turns_the_service_off_once_and_a_replug_works(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    probe = Probe(wine)
    assert probe.step(ENABLE, "enable").startswith("enable 1")
    quiet_start = winrig.process_cpu_seconds("serialprobe.exe")
    time.sleep(10)
    idle = (winrig.process_cpu_seconds("serialprobe.exe") - quiet_start) / 10
    print(f"idle reader: {idle * 100:.2f} % of a core")
    # Wine's own serial wait polls the line (a few percent); a spinning reader would take a core.
    assert idle < 0.15
    # A stop on the quiet line (the reader waiting) does not wait for the device.
    stop_ms = int(probe.step(DISABLE, "stop_us").split()[1]) / 1000
    print(f"stop on a quiet line: {stop_ms:.1f} ms")
    assert stop_ms < 100
    assert probe.step(ENABLE, "enable").startswith("enable 1")

    line.unplug()
    winrig.wait_for(lambda: probe.lines().count("disable") == 2, 20, "the service to be turned off")
    assert probe.lines().count("off request") == 1
    lost = [t for t in probe.traces() if t.startswith("com-port lost")]
    assert len(lost) == 1, lost
    before = winrig.process_cpu_seconds("serialprobe.exe")
    time.sleep(3)
    assert winrig.process_cpu_seconds("serialprobe.exe") - before < 0.15

    line.plug()
    assert probe.step(ENABLE, "enable").startswith("enable 1")
    line.write(b"back\r\n")
    winrig.wait_for(lambda: probe.bursts(), 10, "a burst after the replug")
