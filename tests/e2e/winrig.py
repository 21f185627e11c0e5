"""The end-to-end rig: Xvfb, Wine prefixes copied from a template, programs started and
stopped by PID, and the line files the helper programs write.

Wine's own output always goes to files: its helper processes inherit pipes and keep them
open until the wineserver exits. Every wait is bounded.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD_WIN = Path(os.environ.get("DORVANE_BUILD_WIN", REPO / "build" / "mingw"))
TOOLS = BUILD_WIN / "tests" / "tools"

WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
    "LANG": "C.UTF-8",
}


def tool(name):
    path = TOOLS / f"{name}.exe"
    if not path.is_file():
        raise FileNotFoundError(f"{path} is missing: build the Windows target first (scripts/build.sh)")
    return path


def winpath(path):
    """A host path as Wine's Z: drive sees it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def unescape(record):
    """Undoes the helpers' escaping (\\\\, \\r, \\n, \\t, \\xHH)."""
    out, i = [], 0
    while i < len(record):
        ch = record[i]
        if ch == "\\" and i + 1 < len(record):
            nxt = record[i + 1]
            if nxt == "x":
                out.append(chr(int(record[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}[nxt])
            i += 2
            continue
        out.append(ch)
        i += 1
    return "".join(out)


def read_lines(path):
    """Complete lines of a file another process is still writing."""
    try:
        data = Path(path).read_bytes().decode("utf-8")
    except FileNotFoundError:
        return []
    return data.split("\n")[:-1]


def tray_menu_labels():
    """The tray menu's items in order, separators left out, read from the menu resource itself, so
    that a test or the demo never depends on the menu's order."""
    rc = (REPO / "res" / "dorvane.rc").read_text(encoding="utf-8", errors="replace")
    menu = rc[rc.index("IDR_TRAYMENU MENU"):]
    menu = menu[:menu.index("\nEND")]
    return [line.split('"')[1] for line in menu.splitlines() if line.strip().startswith("MENUITEM \"")]


def tray_menu_keys(label):
    """The keys that choose `label` in the tray menu (the arrow keys skip separators)."""
    return ("down",) * (tray_menu_labels().index(label) + 1) + ("return",)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.05)


def stop_pid(proc, grace=3.0):
    """Ends one process we started, by its PID."""
    if proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=grace)


class Xvfb:
    """A private X server; the display number is chosen by the server itself."""

    def __init__(self, workdir):
        read_fd, write_fd = os.pipe()
        self.log = open(Path(workdir) / "xvfb.log", "wb")
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as reader:
            number = reader.readline().strip()
        if not number:
            stop_pid(self.proc)
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    def use_layout(self, layout):
        """Gives the server another keyboard layout (Wine's programs take it when they start).
        Xvfb resets its keymap when its last client goes: a client is held until stop()."""
        env = dict(os.environ, DISPLAY=self.display)
        self.holder = subprocess.Popen(["xprop", "-root", "-spy"], env=env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=self.log)
        time.sleep(0.3)  # connected before the layout is set
        subprocess.run(["setxkbmap", layout], env=env, check=True, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=self.log, stderr=subprocess.STDOUT)

    def stop(self):
        if getattr(self, "holder", None) is not None:
            stop_pid(self.holder)
        stop_pid(self.proc)
        self.log.close()


class WinePrefix:
    """A throw-away copy of the template prefix, with the processes started in it."""

    def __init__(self, template, workdir, display):
        self.workdir = Path(workdir)
        self.path = self.workdir / "prefix"
        subprocess.run(["cp", "-a", str(template), str(self.path)], check=True, timeout=120)
        self.env = dict(os.environ, **WINE_ENV, WINEPREFIX=str(self.path), DISPLAY=display)
        self.procs = []
        self._logs = 0

    def _logfile(self, name):
        self._logs += 1
        return open(self.workdir / f"{self._logs:02d}-{name}.log", "wb")

    def start(self, exe, *args):
        """Starts a Windows program; its PID is kept for teardown."""
        log = self._logfile(Path(exe).stem)
        proc = subprocess.Popen(["wine", str(exe), *map(str, args)], env=self.env, stdout=log,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        log.close()
        self.procs.append(proc)
        return proc

    def run(self, exe, *args, timeout=60):
        """Runs a Windows program to its end and returns its exit code."""
        proc = self.start(exe, *args)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            stop_pid(proc)
            raise

    def run_tool(self, exe, *args, out, timeout=60):
        """Runs one of our tools, which creates its output file `out` (one of `args`) before
        anything else, to its end; a run that failed without creating it never started (Wine's
        start-up race, as `reg` meets it: exit code 1, no output) and is run once more."""
        Path(out).unlink(missing_ok=True)
        code = self.run(exe, *args, timeout=timeout)
        if code != 0 and not Path(out).exists():
            print(f"{Path(exe).name} {' '.join(map(str, args))} did not start ({code}); run again", file=sys.stderr)
            code = self.run(exe, *args, timeout=timeout)
        return code

    def reg(self, *args):
        """Runs `wine reg ...` to its end; returns (exit code, output). An "add" that fails is
        tried once more: about once in four full runs the first `wine reg add` in a fresh prefix
        ended with exit code 1 and no output (a Wine start-up race, not the program's); the
        failed try's output is kept in reg-failed.out."""
        out = self.workdir / "reg.out"
        for attempt in range(2):
            with open(out, "wb") as log:
                code = subprocess.run(["wine", "reg", *args], env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, timeout=60).returncode
            if code == 0 or args[0] != "add" or attempt == 1:
                break
            shutil.copyfile(out, self.workdir / "reg-failed.out")
            time.sleep(1)
        return code, out.read_bytes().decode("utf-8", "replace")

    def wineserver(self, *args, timeout=60):
        with self._logfile("wineserver") as log:
            subprocess.run(["wineserver", *args], env=self.env, stdout=log, stderr=subprocess.STDOUT,
                           stdin=subprocess.DEVNULL, timeout=timeout, check=False)

    def close(self):
        for proc in reversed(self.procs):
            stop_pid(proc)
        self.wineserver("-k")
        shutil.rmtree(self.path, ignore_errors=True)


class KeySink:
    """The key-sink window with the keyboard focus; its log lists key messages in order."""

    def __init__(self, prefix, timeout=30):
        self.log = prefix.workdir / "keysink-events.log"
        ready = prefix.workdir / "keysink-ready"
        self.proc = prefix.start(tool("keysink"), winpath(self.log), winpath(ready))
        line = wait_for(lambda: read_lines(ready), timeout, "the key sink to hold the focus")[0]
        self.hwnd = int(line.split()[1])

    def events(self):
        """[(kind, value)] in the order received; kind is keydown, keyup, char, ..."""
        result = []
        for line in read_lines(self.log):
            _, kind, value = line.split()
            result.append((kind, int(value, 16)))
        return result


class UiDriver:
    """Runs the UI driver in a prefix; each call returns the lines it wrote."""

    # Queries that change nothing. Seen once in about six full runs: a text query of a control
    # that was there before and after it failed; a query is asked once more before it counts.
    QUERIES = {"text", "enabled", "check", "children", "windows", "foreground", "rect", "curpage"}

    def __init__(self, prefix):
        self.prefix = prefix
        self.calls = 0

    def __call__(self, *args, check=True):
        self.calls += 1
        out = self.prefix.workdir / f"uidriver-{self.calls:03d}.out"
        code = self.prefix.run_tool(tool("uidriver"), winpath(out), *args, out=out)
        if code != 0 and args and args[0] in self.QUERIES:
            print(f"uidriver {' '.join(map(str, args))} failed with {code}; asked again", file=sys.stderr)
            code = self.prefix.run_tool(tool("uidriver"), winpath(out), *args, out=out)
        if check and code != 0:
            raise AssertionError(f"uidriver {' '.join(map(str, args))} failed with {code}")
        return read_lines(out)

    def find(self, cls, title, timeout_ms=10000, *flags):
        return int(self("find", cls, title, timeout_ms, *flags)[0])

    def children(self, hwnd):
        """{control id: (class, text, visible)}; of controls sharing an id (65535) the first is kept."""
        result = {}
        for line in self("children", hwnd):
            ident, visible, cls, text = (line.split(" ", 3) + [""])[:4]
            result.setdefault(int(ident), (unescape(cls), unescape(text), visible == "1"))
        return result

    def texts(self, hwnd):
        """Every control's text, in order."""
        return [unescape((line.split(" ", 3) + [""])[3]) for line in self("children", hwnd)]


def bmp_to_png(bmp_path, png_path, crop=None):
    """Converts the driver's 24-bit screenshot to PNG; returns the pixels as rows of (r, g, b).
    crop: (left, top, width, height) of the screen to keep, e.g. a window's `rect`."""
    import struct
    import zlib

    data = Path(bmp_path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        line = data[offset + y * stride: offset + y * stride + width * 3]
        rows.append([(line[x + 2], line[x + 1], line[x]) for x in range(0, width * 3, 3)])
    if crop:
        left, top, cut_width, cut_height = crop
        left, top = max(left, 0), max(top, 0)
        rows = [row[left:left + cut_width] for row in rows[top:top + cut_height]]
        width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    Path(png_path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                               + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    return rows


def bmp_colours(bmp_path, right, bottom):
    """The set of (r, g, b) colours in the bottom-right corner (right x bottom pixels) of a screenshot."""
    import struct

    data = Path(bmp_path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, _ = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    colours = set()
    for y in range(bottom):  # bottom-up rows: the first ones are the screen's last
        line = data[offset + y * stride + (width - right) * 3: offset + y * stride + width * 3]
        colours.update((line[x + 2], line[x + 1], line[x]) for x in range(0, len(line), 3))
    return colours


SHIM = REPO / "build" / "shim" / "libmodemshim.so"


class SerialLine:
    """A serial line made of a pty pair (socat): the prefix's COM port maps to end A, the test
    writes to end B. Wine runs with the modem-line shim so that port waits block as on a UART.
    Call before starting Wine programs: the mapping needs a fresh wineserver."""

    def __init__(self, prefix, port="COM12"):
        self.prefix = prefix
        folder = prefix.workdir / "serial"
        folder.mkdir(exist_ok=True)
        self.a, self.b = folder / f"{port}-ttyA", folder / f"{port}-ttyB"
        self.socat = None
        self.fds = []
        self.plug()
        code, out = prefix.reg("add", r"HKLM\Software\Wine\Ports", "/v", port, "/t", "REG_SZ", "/d", str(self.a), "/f")
        assert code == 0, out
        prefix.wineserver("-k")
        # -k only asks the server to end: a program started before it is gone can find the
        # dying server and fail at once (seen once: `reg add` exiting 1 with no output).
        prefix.wineserver("-w")
        if not SHIM.is_file():
            raise FileNotFoundError(f"{SHIM} is missing: build the Windows target first (scripts/build.sh)")
        prefix.env["LD_PRELOAD"] = str(SHIM)
        self.dosdevice = prefix.path / "dosdevices" / port.lower()

    def wait_mapped(self, seconds=20):
        """Waits until Wine's device link for the port leads to the line. Wine's mount manager
        makes it from the Ports key when its services start, which may still be under way when a
        program that comes right after an installer run opens the port (seen once in CI: the
        installed copy got "File not found" for COM12)."""
        wait_for(lambda: self.dosdevice.is_symlink() and self.dosdevice.resolve() == self.a.resolve(), seconds,
                 f"Wine's link {self.dosdevice.name} to the line")

    def plug(self):
        """Connects the line (again): a new pty pair under the same names."""
        log = open(self.prefix.workdir / "socat.log", "ab")
        self.socat = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.a}", f"pty,raw,echo=0,link={self.b}"],
            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        log.close()
        wait_for(lambda: self.a.exists() and self.b.exists(), 10, "socat's pty links")
        # Held open so that socat does not end when the program closes the port.
        self.fds = [os.open(self.a, os.O_RDWR | os.O_NOCTTY), os.open(self.b, os.O_RDWR | os.O_NOCTTY)]

    def unplug(self):
        """Pulls the cable out: the pty pair disappears."""
        for fd in self.fds:
            os.close(fd)
        self.fds = []
        stop_pid(self.socat)
        wait_for(lambda: not self.a.exists(), 10, "the pty links to go")

    def write(self, data):
        """Sends bytes from the device's end; returns the raw-clock time of the write's end in us."""
        view = memoryview(data)
        while view:
            view = view[os.write(self.fds[1], view):]
        return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000

    def read(self, seconds):
        """What the program wrote to the port, as the device received it in `seconds`."""
        data = b""
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            ready, _, _ = select.select([self.fds[1]], [], [], left)
            if ready:
                data += os.read(self.fds[1], 4096)
        return data

    def speed(self):
        """The line speed the program set on the port, as stty reports it."""
        out = subprocess.run(["stty", "-F", str(self.a), "speed"], capture_output=True, text=True, timeout=10)
        return int(out.stdout.strip())

    def settings(self):
        """The line settings the program applied to the port, as stty lists them (e.g. 'cs7', '-parodd')."""
        out = subprocess.run(["stty", "-F", str(self.a), "-a"], capture_output=True, text=True, timeout=10)
        return set(out.stdout.replace(";", " ").split())

    def close(self):
        if self.fds:
            self.unplug()


def find_process(name):
    """The /proc folder of the running process whose program file is `name`."""
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            program = (entry / "cmdline").read_bytes().split(b"\0")[0].replace(b"\\", b"/")
        except OSError:
            continue
        if program.endswith(b"/" + name.encode()):
            return entry
    raise LookupError(f"no process runs {name}")


def private_kib(name):
    """Private memory (clean and dirty) of the running process whose program file is `name`."""
    rollup = (find_process(name) / "smaps_rollup").read_text()
    return sum(int(line.split()[1]) for line in rollup.splitlines()
               if line.startswith(("Private_Clean:", "Private_Dirty:")))


def process_usage(name):
    """(open file descriptors, threads, private KiB) of a running Wine process: its Windows
    handles on files and ports are host descriptors, its threads host threads."""
    proc = find_process(name)
    return len(list((proc / "fd").iterdir())), len(list((proc / "task").iterdir())), private_kib(name)


def process_cpu_seconds(name):
    """User plus system CPU seconds of the running process whose program file is `name`."""
    fields = (find_process(name) / "stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
