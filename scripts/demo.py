#!/usr/bin/env python3
"""Shows Dorvane doing its job under Wine: a virtual serial device on a pseudo-terminal mapped to
COM12, Dorvane.exe enabled on that port, and a text window holding the focus. A few scanner and
scale readings are played into the device; what arrived in the text window is printed next to
what was sent. Exit status 0 only when every reading arrived exactly."""
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import winrig  # noqa: E402

READINGS = [
    "4006381333931",  # EAN-13 barcodes
    "9780201379624",
    "5901234123457",
    "ST,GS,+0012.345kg",  # a scale's stable gross weight
    "LOT-2026/12 QTY:48",
]
WM_MOUSEMOVE, WM_RBUTTONUP, WM_TRAY_NOTIFY, TRAY_ID, IDYES = 512, 517, 1025, 131, 6


def own_display_works():
    display = os.environ.get("DISPLAY")
    if not display or not shutil.which("xdpyinfo"):
        return None
    ok = subprocess.run(["xdpyinfo"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10).returncode == 0
    return display if ok else None


def main():
    template = subprocess.run([str(REPO / "scripts" / "wine-template.sh")], check=True, capture_output=True,
                              text=True, timeout=300, stdin=subprocess.DEVNULL).stdout.strip().splitlines()[-1]
    work = REPO / "build" / "demo"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)

    display = own_display_works()
    xvfb = None
    if display is None:
        xvfb = winrig.Xvfb(work)
        display = xvfb.display
        print(f"demo: no display of yours to use; running on a private Xvfb ({display})")
    else:
        print(f"demo: showing the windows on your display {display}")

    prefix = winrig.WinePrefix(template, work, display)
    line = None
    try:
        line = winrig.SerialLine(prefix)
        assert prefix.reg("add", r"HKCU\software\Velmora\DORVANE\Settings", "/v", "COMPORT", "/t", "REG_SZ",
                          "/d", "COM12", "/f")[0] == 0
        print(f"demo: a virtual serial device on {line.b}; Dorvane reads it as COM12")
        sink = winrig.KeySink(prefix)
        print("demo: a text window holds the keyboard focus")
        prefix.start(winrig.BUILD_WIN / "Dorvane.exe")
        ui = winrig.UiDriver(prefix)
        frame = ui.find("Dorvane:*", "DORVANE", 20000, "hidden")

        def tooltip():
            ui("post", frame, WM_TRAY_NOTIFY, TRAY_ID, WM_MOUSEMOVE)
            time.sleep(0.3)
            return next((winrig.unescape(t) for t in ui("tooltips") if t.startswith("DORVANE")), "")

        winrig.wait_for(lambda: tooltip().startswith("DORVANE [Send]"), 30, "Dorvane to enable COM12")
        print("demo: Dorvane is in the tray with COM12 enabled\n")

        for reading in READINGS:
            line.write(reading.encode("ascii") + b"\r\n")
            print(f"  device sends  {reading!r} + CR LF")
            time.sleep(1.0)

        def arrived():
            text = winrig.unescape(ui("text", sink.hwnd, 0)[0])
            lines = [part for part in text.replace("\r\n", "\n").split("\n") if part]
            return lines if len(lines) >= len(READINGS) else None

        try:
            typed = winrig.wait_for(arrived, 60, "the readings in the text window")
        except TimeoutError:
            typed = [part for part in winrig.unescape(ui("text", sink.hwnd, 0)[0]).splitlines() if part]

        print(f"\n  {'sent':<24} {'arrived in the text window':<28} ok")
        all_ok = len(typed) == len(READINGS)
        for index, reading in enumerate(READINGS):
            got = typed[index] if index < len(typed) else ""
            ok = got == reading
            all_ok = all_ok and ok
            print(f"  {reading:<24} {got:<28} {'yes' if ok else 'NO'}")
        print(f"\n  tray tooltip: {tooltip()!r}")

        bmp = work / "screen.bmp"
        ui("screenshot", winrig.winpath(bmp))
        winrig.bmp_to_png(bmp, work / "dorvane-demo.png")
        print(f"  screenshot:   {work / 'dorvane-demo.png'}")

        ui("post", frame, WM_TRAY_NOTIFY, TRAY_ID, WM_RBUTTONUP)
        ui("menu", 10000, *winrig.tray_menu_keys("Exit"))
        box = ui("msgbox", 10000)[0].split(" ", 1)[0]
        ui("answer", box, IDYES)
        print("\ndemo: " + ("every reading arrived as sent" if all_ok else "FAILED: the text differs from what was sent"))
        return 0 if all_ok else 1
    finally:
        if line is not None:
            line.close()
        prefix.close()
        if xvfb is not None:
            xvfb.stop()


if __name__ == "__main__":
    sys.exit(main())
