"""Dorvane.exe waits for a device that was pulled out and comes back by itself: the pty rig's
line is unplugged (socat ends) and plugged in again under the running program."""
import time

import winrig
from test_app import MENU_TOGGLE, Dorvane, set_value

CYCLES = 20


def typed(key_sink, since):
    return "".join(chr(v) for k, v in key_sink.events()[since:] if k == "char")


def test_a_pulled_out_device_is_typed_from_again_once_it_is_back(wine, line, key_sink):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "DEVICE_COMMAND", "REG_SZ", r"W\r")
    set_value(wine, "DEVICE_COMMAND_AT_ENABLE", "REG_DWORD", "1")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    assert line.read(1.0) == b"W\r"
    first = None
    latencies = []
    for cycle in range(1, CYCLES + 1):
        line.unplug()
        app.wait_trace("waiting for COM12", cycle)
        if cycle == 1:
            assert app.tooltip() == "DORVANE, waiting for COM12"
        line.plug()
        back = time.monotonic()
        app.wait_trace("port COM12 is back", cycle, timeout=10)
        app.wait_trace("enable/disable dorvane, done", 1 + 2 * cycle)
        asked = []  # the request at enable goes out again with each return
        winrig.wait_for(lambda: asked.append(line.read(0.1)) or b"".join(asked) == b"W\r", 5, "the request")
        since = len(key_sink.events())
        reading = f"R{cycle:03d}"
        line.write(reading.encode() + b"\r")
        winrig.wait_for(lambda: typed(key_sink, since).startswith(reading), 10, f"{reading} typed")
        latencies.append(time.monotonic() - back)
        if cycle == 2:
            first = winrig.process_usage("Dorvane.exe")  # after a whole cycle: what waiting holds
    print(f"device back -> reading typed: max {max(latencies):.2f} s over {CYCLES} cycles")
    assert max(latencies) < 3
    descriptors, threads, private = winrig.process_usage("Dorvane.exe")
    print(f"cycle 2 / cycle {CYCLES}: descriptors {first[0]}/{descriptors}, threads {first[1]}/{threads}, "
          f"private {first[2]}/{private} KiB")
    assert threads == first[1]
    assert descriptors <= first[0] + 2
    assert private <= first[2] + 1024
    # One line per change of state, never one per try.
    traces = app.traces()
    assert traces.count("waiting for COM12") == CYCLES and traces.count("port COM12 is back") == CYCLES
    assert traces.count("com-port lost, err=21, reading stopped!") == CYCLES


def test_disable_ends_the_waiting_and_autoreconnect_0_keeps_the_service_off(wine, line):
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    line.unplug()
    app.wait_trace("waiting for COM12")
    # The settings sheet can be used while waiting; the port is not taken back under it.
    app.choose(winrig.tray_menu_keys("Setting..."))
    sheet = app.ui.find("#32770", "Setting")
    line.plug()
    time.sleep(5)
    assert "port COM12 is back" not in app.traces()
    app.ui("click", sheet, 2)  # Cancel
    app.wait_trace("port COM12 is back", timeout=10)
    app.wait_trace("enable/disable dorvane, done", 3)
    line.unplug()
    app.wait_trace("waiting for COM12", 2)
    # Waiting costs next to nothing: a quiet try every 2 s (an enabled idle port costs Wine's
    # own polling, a few percent of a core).
    before = winrig.process_cpu_seconds("Dorvane.exe")
    time.sleep(6)
    waiting_cpu = (winrig.process_cpu_seconds("Dorvane.exe") - before) / 6
    print(f"waiting: {waiting_cpu * 100:.2f} % of a core")
    assert waiting_cpu < 0.02
    app.choose(MENU_TOGGLE)  # "Disable Com Port" while waiting
    app.wait_trace("waiting for COM12 ended")
    assert app.tooltip() == "DORVANE, Disabled"
    line.plug()
    time.sleep(5)
    assert app.traces().count("port COM12 is back") == 1
    assert app.traces().count("enable dorvane") == 2

    set_value(wine, "AUTORECONNECT", "REG_DWORD", "0")
    app.choose(MENU_TOGGLE)
    app.wait_trace("enable/disable dorvane, done", 5)
    line.unplug()
    app.wait_trace("enable/disable dorvane, done", 6)
    line.plug()
    time.sleep(5)
    assert app.traces().count("waiting for COM12") == 2
    assert app.tooltip() == "DORVANE, Disabled"


def test_a_picked_device_the_device_tree_lacks_leaves_a_port_it_does_not_know_opened_by_its_name(wine, line, key_sink):
    """Under Wine the device tree lists no serial port: a stored device identity (an FTDI adapter
    by its serial number) is then absent, and COM12, a pty no device entry stands behind, is
    opened by its name as always, through a pull-out and return too."""
    set_value(wine, "COMPORT", "REG_SZ", "COM12")
    set_value(wine, "COMPORT_DEVICE", "REG_SZ", r"USB\VID_0403&PID_6001\A50285BI")
    app = Dorvane(wine)
    app.wait_trace("enable/disable dorvane, done")
    line.write(b"4711\r")
    winrig.wait_for(lambda: typed(key_sink, 0).startswith("4711"), 10, "the reading typed")
    line.unplug()
    app.wait_trace("waiting for COM12")
    assert app.tooltip() == "DORVANE, waiting for COM12"
    line.plug()
    app.wait_trace("port COM12 is back", timeout=10)
    app.wait_trace("enable/disable dorvane, done", 3)  # start, the loss, the return
    since = len(key_sink.events())
    line.write(b"0815\r")
    winrig.wait_for(lambda: typed(key_sink, since).startswith("0815"), 10, "the reading after the return")
    code, out = wine.reg("query", r"HKCU\software\Velmora\DORVANE\Settings", "/v", "COMPORT")
    assert code == 0 and out.split()[-1] == "COM12"
    assert not any(t.startswith("device ") for t in app.traces())  # neither moved nor absent
