"""The keystroke pipeline with its real Win32 pieces: settings from the registry, typing into
the focused window, the recording file on disk, and the error box of a failed open."""
import winrig

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"


def set_dword(wine, name, value):
    assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")[0] == 0


def set_text(wine, name, value):
    assert wine.reg("add", SETTINGS_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")[0] == 0


def run_probe(wine, *steps, wait=True):
    out = wine.workdir / "pipelineprobe.out"
    proc = wine.start(winrig.tool("pipelineprobe"), winrig.winpath(out), *steps)
    if not wait:
        return proc, out
    assert proc.wait(timeout=60) == 0
    return dict(line.split(" ", 1) for line in winrig.read_lines(out))


def test_readings_are_recorded_byte_exact(wine):
    target = wine.workdir / "scans.txt"
    set_dword(wine, "RECORDDATA", 1)
    set_text(wine, "RECORDDATA_FILENAME", winrig.winpath(target))
    result = run_probe(wine, "burst:AB\\r\\n", "sleep:300", "burst:C", "burst:D\\n", "sleep:500")
    assert result["handled"] == "2" and result["comread"] == "7"
    assert target.read_bytes() == "\ufeffAB\r\r\nCD\r\n".encode("utf-16-le")

    run_probe(wine, "burst:E\\n", "sleep:500")  # a second run appends without a second mark
    assert target.read_bytes() == "\ufeffAB\r\r\nCD\r\nE\r\n".encode("utf-16-le")


def record_through_a_box(wine, filename, box_start, *steps):
    """Records to filename; the error box that comes up is checked and answered. Returns the UI
    driver and the probe's results."""
    set_dword(wine, "RECORDDATA", 1)
    set_text(wine, "RECORDDATA_FILENAME", filename)
    proc, out = run_probe(wine, *steps, wait=False)
    ui = winrig.UiDriver(wine)
    box, text = ui("msgbox", 20000)[0].split(" ", 1)
    # The error reporter's frame around the text, then the system's text of the failure.
    assert winrig.unescape(text).startswith(box_start)
    ui("answer", box, 1)
    assert proc.wait(timeout=60) == 0
    return ui, dict(line.split(" ", 1) for line in winrig.read_lines(out))


def test_a_failed_open_shows_the_box_and_later_readings_are_dropped(wine, key_sink):
    _, result = record_through_a_box(wine, "", "*Error: Open recording file failed!\nRecord data has been disabled!\t\n",
                                     "burst:A\\r\\n", "until-record-disabled", "burst:B\\r\\n", "sleep:800")
    assert result["recorddisabled"] == "1" and result["handled"] == "2" and result["sentkeys"] == "0"
    assert key_sink.events() == []


def test_readings_are_typed_into_the_focused_window(wine, key_sink):
    result = run_probe(wine, "burst:4711", "burst:\\r", "sleep:800")
    assert result["sentkeys"] == "5" and result["handled"] == "1"
    assert result["icons"].split()[:3] == ["128", "140", "135"]
    chars = winrig.wait_for(lambda: [chr(v) for k, v in key_sink.events() if k == "char"] or None, 10, "typed keys")
    assert "".join(chars).startswith("4711")


def test_disabling_while_the_box_is_up_ends_the_box_instead_of_waiting(wine):
    set_dword(wine, "RECORDDATA", 1)
    set_text(wine, "RECORDDATA_FILENAME", "")
    proc, out = run_probe(wine, "burst:A\\r\\n", "sleep:1500", wait=False)
    assert winrig.UiDriver(wine)("msgbox", 20000)[0] != "none"
    assert proc.wait(timeout=30) == 0  # nobody answers: the stop closes the box itself
    assert dict(line.split(" ", 1) for line in winrig.read_lines(out))["handled"] == "1"


def test_a_full_disk_is_reported_once_and_each_reading_counts_as_handled(wine):
    # Every write to Z:\dev\full fails: no space left.
    ui, result = record_through_a_box(wine, "Z:\\dev\\full", "*Error: Write recording file failed!\t\n",
                                      "burst:A\\r\\n", "sleep:300", "burst:B\\r\\n", "until-handled:2",
                                      "sleep:300")  # the box of A is answered by the test, whenever it comes
    assert ui("msgbox", 0, check=False) == ["none"]  # the second failure is traced, not shown
    assert result["handled"] == "2" and result["recorddisabled"] == "0"
