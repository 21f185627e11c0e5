#!/usr/bin/env python3
"""End-to-end figures of the real Dorvane.exe under Wine with a pty as COM12, the modem-line
shim and the key sink holding the focus: latency from a reading's last byte to its first key,
typing and recording throughput with a byte-exact check, idle cost, start-up, memory and size,
and the time from a pulled-out device's return to its first typed key.
Prints one table and writes it as JSON to build/bench/e2e.json (merged with the native
pipeline's figures when build/bench/pipeline.json exists)."""
import difflib
import json
import os
import random
import select
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import winrig  # noqa: E402
from test_keystrokes import expected_typing, type_text  # noqa: E402

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"
WM_COMMAND, TOGGLE, SEND_COMMAND = 0x111, 32773, 32780
FLOOR_MS = 100.0  # a reading is handed on only after the 100 ms second-chance read finds nothing


def raw_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p * len(ordered)))]


class Run:
    """One Wine prefix with the serial line, the key sink and Dorvane under the debug catcher."""

    def __init__(self, template, display, work, settings, exe=None):
        work.mkdir(parents=True, exist_ok=True)
        self.prefix = winrig.WinePrefix(template, work, display)
        self.line = winrig.SerialLine(self.prefix)
        for name, kind, data in [("COMPORT", "REG_SZ", "COM12")] + settings:
            assert self.prefix.reg("add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", data, "/f")[0] == 0
        self.sink = winrig.KeySink(self.prefix)
        self.stamps = work / "stamps.txt"
        self.prefix.env["DBGCATCH_STAMPS"] = winrig.winpath(self.stamps)
        self.launched = raw_us()
        self.proc = self.prefix.start(winrig.tool("dbgcatch"), winrig.winpath(work / "records.txt"),
                                      exe or winrig.BUILD_WIN / "Dorvane.exe")
        winrig.wait_for(lambda: self.stamp("enable/disable dorvane, done"), 30, "Dorvane to enable COM12")

    def stamp(self, text):
        for line in winrig.read_lines(self.stamps):
            at, record = line.split(" ", 1)
            if winrig.unescape(record).rstrip("\r\n") == text:
                return int(at)
        return None

    def stamps_of(self, text):
        return sum(1 for line in winrig.read_lines(self.stamps)
                   if winrig.unescape(line.split(" ", 1)[1]).rstrip("\r\n") == text)

    def close(self):
        self.line.close()
        self.prefix.close()


def wineserver_cpu_seconds():
    """CPU seconds of the running wineservers (the bench runs one prefix at a time)."""
    ticks, total = os.sysconf("SC_CLK_TCK"), 0.0
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and (entry / "comm").read_text().strip().startswith("wineserver"):
                fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
                total += (int(fields[11]) + int(fields[12])) / ticks
        except OSError:
            continue
    return total


def sink_key_stamps(sink):
    """(stamp us, kind, value) of every event in the key sink's log."""
    result = []
    for line in winrig.read_lines(sink.log):
        stamp, kind, value = line.split()
        result.append((int(stamp), kind, int(value, 16)))
    return result


def first_key_since(sink, offset):
    """The stamp of the first key-down logged after byte `offset` of the key sink's log, or None.
    Only the new part is read: parsing the whole log at every poll would take a core of its own
    once thousands of keys were logged, and slow down the program being measured."""
    try:
        with open(sink.log, "rb") as log:
            log.seek(offset)
            data = log.read()
    except FileNotFoundError:
        return None
    for line in data.decode("utf-8").split("\n")[:-1]:
        stamp, kind, _ = line.split()
        if kind in ("keydown", "syskeydown"):
            return int(stamp)
    return None


def log_size(sink):
    return sink.log.stat().st_size if sink.log.exists() else 0


def bench_latency(run, count):
    latencies = []
    reading = b"4006381333931\r\n"
    for _ in range(count):
        time.sleep(random.uniform(0.3, 1.5))
        before = log_size(run.sink)
        written = run.line.write(reading)
        first = winrig.wait_for(lambda: first_key_since(run.sink, before), 10, "the first key")
        latencies.append((first - written) / 1000)
    return latencies


def bench_request(run, count):
    """Milliseconds from a request reaching the device ("Send Command") to the first key of the
    weight the device answers with at once."""
    ui = winrig.UiDriver(run.prefix)
    hwnd = ui.find("Dorvane:*", "DORVANE", 20000, "hidden")
    latencies = []
    for _ in range(count):
        time.sleep(random.uniform(0.3, 1.0))
        before = log_size(run.sink)
        ui("post", hwnd, WM_COMMAND, SEND_COMMAND, 0)
        received = b""
        while not received.endswith(b"P\r\n"):
            ready, _, _ = select.select([run.line.fds[1]], [], [], 10)
            assert ready, "no request reached the device"
            received += os.read(run.line.fds[1], 64)
        asked = raw_us()
        run.line.write(b"ST,GS,+0012.345kg\r\n")
        first = winrig.wait_for(lambda: first_key_since(run.sink, before), 10, "the first key")
        latencies.append((first - asked) / 1000)
    return latencies


def bench_reconnect(run, cycles):
    """Seconds from the device's return (the line plugged in again) to the first typed key, the
    device sending its reading every 100 ms from its return on, as a scanner being tried does."""
    times = []
    for cycle in range(1, cycles + 1):
        run.line.unplug()
        winrig.wait_for(lambda: run.stamps_of("waiting for COM12") >= cycle, 20, "the waiting")
        before = len(winrig.read_lines(run.sink.log))
        run.line.plug()
        back = raw_us()

        def first_key():
            run.line.write(b"1\r")
            return next((s for s, kind, _ in sink_key_stamps(run.sink)[before:] if kind in ("keydown", "syskeydown")),
                        None)
        first = winrig.wait_for(lambda: first_key() or time.sleep(0.1), 20, "the first key after the return")
        times.append((first - back) / 1e6)
        time.sleep(1.5)  # the readings sent meanwhile are typed before the next unplug
    return times


def bench_typing(run, chars):
    alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,;:-+/=*#"
    random.seed(9)
    text = "".join(random.choice(alphabet) if i % 40 else "\r" for i in range(1, chars + 1))
    def chars_so_far():
        return [chr(v) for _, kind, v in sink_key_stamps(run.sink) if kind == "char"]

    def quiet_count():
        """The character count once the sink has received nothing for a second."""
        last = -1
        while True:
            now = len(chars_so_far())
            if now == last:
                return now
            last = now
            time.sleep(1.0)

    # The layout's keys for every character, as the typing thread sees them (typed once first).
    before_probe = quiet_count()
    lookups, probe_sent = type_text(run.prefix, "".join(sorted(set(text))))
    layout = dict(lookups)
    _, expected_chars = expected_typing([(ch, layout[ch]) for ch in text])
    base = winrig.wait_for(lambda: (lambda n: n if n >= before_probe + probe_sent else None)(len(chars_so_far())),
                           60, "the layout probe's characters")
    start = raw_us()
    run.line.write(text.encode("ascii"))

    def received():
        chars_now = chars_so_far()[base:]
        return chars_now if len(chars_now) >= len(expected_chars) else None

    try:
        got = winrig.wait_for(received, 420, "every character in the key sink")
    except TimeoutError:
        got = chars_so_far()[base:]
    last = max(s for s, kind, _ in sink_key_stamps(run.sink) if kind == "char")
    seconds = (last - start) / 1e6
    if got == expected_chars:
        lost_or_doubled = 0
    else:  # characters missing or extra, wherever they are
        matched = sum(block.size for block in difflib.SequenceMatcher(None, got, expected_chars, False).get_matching_blocks())
        lost_or_doubled = len(got) + len(expected_chars) - 2 * matched
    return len(got) / seconds, lost_or_doubled


def write_or_stall(line, data, timeout=15):
    """Writes to the device's end; False when the port stops taking bytes (nobody reads them)."""
    view = memoryview(data)
    while view:
        if not select.select([], [line.fds[1]], [], timeout)[1]:
            return False
        view = view[os.write(line.fds[1], view):]
    return True


def bench_recording(run, target, rate_seconds):
    sent = bytearray()
    block = bytes(random.Random(3).choice(b"0123456789ABCDEF\r\n") for _ in range(3000))
    start = time.monotonic()
    while time.monotonic() - start < rate_seconds:  # 300 KB/s, a 3 Mbaud line
        tick = time.monotonic()
        for _ in range(10):
            if not write_or_stall(run.line, block):
                return None, None, None, f"stalled after {len(sent)} bytes"
            sent += block
        time.sleep(max(0.0, 0.1 - (time.monotonic() - tick)))
    paced = len(sent)
    fast_start = time.monotonic()
    for _ in range(1000):  # then as fast as the pty takes it
        if not write_or_stall(run.line, block):
            return paced / rate_seconds, None, None, f"stalled after {len(sent)} bytes"
        sent += block
    fast_seconds = time.monotonic() - fast_start
    expected = b"\xff\xfe" + sent.decode("ascii").replace("\n", "\r\n").encode("utf-16-le")
    try:
        winrig.wait_for(lambda: target.exists() and target.stat().st_size >= len(expected), 120, "the recording")
    except TimeoutError:
        return paced / rate_seconds, None, None, f"file holds {target.stat().st_size} of {len(expected)} bytes"
    finished = time.monotonic()
    exact = target.read_bytes() == expected
    return paced / rate_seconds, len(sent) / (finished - start), (len(sent) - paced) / fast_seconds, exact


# The build before the foreground and typing-target checks (the baseline of their cost).
BASELINE_COMMIT = "2c9b587"


def baseline_exe():
    """Dorvane.exe of the baseline commit, built once in build/bench/baseline."""
    source = REPO / "build" / "bench" / "baseline-src"
    build = REPO / "build" / "bench" / "baseline"
    exe = build / "Dorvane.exe"
    if exe.is_file():
        return exe
    log = open(REPO / "build" / "bench" / "baseline-build.log", "wb")
    if not source.is_dir():
        subprocess.run(["git", "-C", str(REPO), "worktree", "add", "--detach", str(source), BASELINE_COMMIT],
                       check=True, stdout=log, stderr=subprocess.STDOUT, timeout=120)
    subprocess.run(["cmake", "-S", str(source), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    f"-DCMAKE_TOOLCHAIN_FILE={source / 'cmake' / 'mingw-w64-x86_64.cmake'}"],
                   check=True, stdout=log, stderr=subprocess.STDOUT, timeout=300)
    subprocess.run(["cmake", "--build", str(build), "--target", "Dorvane"], check=True, stdout=log,
                   stderr=subprocess.STDOUT, timeout=1800)
    return exe


def bench_cost(template, display, work, exe, chars, readings):
    """CPU seconds of Dorvane and of the wineserver per 1000 typed characters, and the first
    key's latency (p50) over the floor, for one build under the same workload."""
    run = Run(template, display, work, [], exe)
    try:
        time.sleep(2)
        before, server = winrig.process_cpu_seconds("Dorvane.exe"), wineserver_cpu_seconds()
        rate, lost = bench_typing(run, chars)
        cpu = winrig.process_cpu_seconds("Dorvane.exe") - before
        server = wineserver_cpu_seconds() - server
        latencies = bench_latency(run, readings)
    finally:
        run.close()
    return {"cpu_ms_per_1000_chars": cpu / chars * 1e6, "wineserver_ms_per_1000_chars": server / chars * 1e6,
            "latency_ms_p50_over_floor": percentile(latencies, 0.5) - FLOOR_MS, "typing_chars_per_s": rate,
            "typing_lost_or_doubled": lost}


def compare_with_baseline(template, display, work):
    """This build against the baseline commit, back to back in the same run."""
    figures = {}
    for name, exe in (("baseline " + BASELINE_COMMIT, baseline_exe()), ("this build", winrig.BUILD_WIN / "Dorvane.exe")):
        figures[name] = bench_cost(template, display, work / name.split()[0], exe, 10000, 100)
    ours, theirs = figures["this build"], figures["baseline " + BASELINE_COMMIT]
    figures["cpu_ratio_this_to_baseline"] = ours["cpu_ms_per_1000_chars"] / theirs["cpu_ms_per_1000_chars"]
    return figures


def main():
    template = subprocess.run([str(REPO / "scripts" / "wine-template.sh")], check=True, capture_output=True,
                              text=True, timeout=300, stdin=subprocess.DEVNULL).stdout.strip().splitlines()[-1]
    work = REPO / "build" / "bench" / "e2e"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    xvfb = winrig.Xvfb(work)
    rows = []
    results = {}
    try:
        if "--compare" in sys.argv:
            results["cost_against_baseline"] = compare_with_baseline(template, xvfb.display, work / "compare")
            print(json.dumps(results, indent=2))
            (REPO / "build" / "bench" / "compare.json").write_text(json.dumps(results, indent=2))
            return 0
        if "--request" not in sys.argv:
            results["cost_against_baseline"] = compare_with_baseline(template, xvfb.display, work / "compare")
        run = Run(template, xvfb.display, work / "request", [("DEVICE_COMMAND", "REG_SZ", r"P\r\n")])
        try:
            latencies = bench_request(run, 100)
            results["request_to_first_key_ms_p50"] = percentile(latencies, 0.5)
            results["request_to_first_key_ms_p90"] = percentile(latencies, 0.9)
            results["request_to_first_key_ms_p50_over_floor"] = percentile(latencies, 0.5) - FLOOR_MS
        finally:
            run.close()
        if "--request" in sys.argv:
            print(json.dumps(results, indent=2))
            (REPO / "build" / "bench" / "request.json").write_text(json.dumps(results, indent=2))
            return 0
        run = Run(template, xvfb.display, work / "typing", [])
        try:
            results["startup_ms_to_instance_done"] = (run.stamp("start app instance, done") - run.stamp("started")) / 1000
            results["startup_ms_to_enabled"] = (run.stamp("enable/disable dorvane, done") - run.stamp("started")) / 1000
            results["private_kib_after_start"] = winrig.private_kib("Dorvane.exe")
            before = winrig.process_cpu_seconds("Dorvane.exe")
            server = wineserver_cpu_seconds()
            time.sleep(30)
            results["idle_cpu_percent"] = (winrig.process_cpu_seconds("Dorvane.exe") - before) / 30 * 100
            results["idle_wineserver_cpu_percent"] = (wineserver_cpu_seconds() - server) / 30 * 100
            latencies = bench_latency(run, 200)
            for name, p in (("p50", 0.5), ("p90", 0.9), ("p99", 0.99), ("max", 1.0)):
                results[f"latency_ms_{name}"] = percentile(latencies, p)
            results["latency_p50_over_floor"] = results["latency_ms_p50"] / FLOOR_MS
            results["typing_chars_per_s"], results["typing_lost_or_doubled"] = bench_typing(run, 20000)
            results["private_kib_after_typing"] = winrig.private_kib("Dorvane.exe")
            reconnects = bench_reconnect(run, 5)
            results["reconnect_s_device_back_to_first_key_median"] = percentile(reconnects, 0.5)
            results["reconnect_s_device_back_to_first_key_max"] = max(reconnects)
        finally:
            run.close()
        target = work / "recording.txt"
        run = Run(template, xvfb.display, work / "recording",
                  [("RECORDDATA", "REG_DWORD", "1"), ("RECORDDATA_FILENAME", "REG_SZ", winrig.winpath(target)),
                   ("BUFFERSIZE_KB", "REG_DWORD", "64")])
        try:
            paced, overall, fast_written, exact = bench_recording(run, target, 20)
            results["recording_paced_bytes_per_s"] = paced
            results["recording_bytes_per_s"] = overall
            results["recording_fast_write_bytes_per_s"] = fast_written
            results["recording_byte_exact"] = exact
            results["private_kib_after_recording"] = winrig.private_kib("Dorvane.exe")
        finally:
            run.close()
    finally:
        xvfb.stop()
    results["dorvane_exe_bytes"] = (winrig.BUILD_WIN / "Dorvane.exe").stat().st_size
    native = REPO / "build" / "bench" / "pipeline.json"
    if native.exists():
        results["native_pipeline"] = json.loads(native.read_text())

    print(f"\n{'Dorvane under Wine':<44} {'value':>14}")
    for key, value in results.items():
        if isinstance(value, dict):
            for sub, inner in value.items():
                print(f"{'native ' + sub:<44} {json.dumps(inner) if isinstance(inner, dict) else f'{inner:14.1f}'}")
        elif value is None:
            print(f"{key:<44} {'-':>14}")
        elif isinstance(value, float):
            print(f"{key:<44} {value:14.1f}")
        else:
            print(f"{key:<44} {value!s:>14}")
    (REPO / "build" / "bench" / "e2e.json").write_text(json.dumps(results, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
