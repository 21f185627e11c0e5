"""Trace lines and error reports as a debugger sees them: the real debug output of the
diagnostics routines, caught record by record."""
import re

import winrig

CODE_WITHOUT_TEXT = 0x20001234


def strip_controls(text):
    return re.sub(r"[\x00-\x1f]+$", "", text)


def catch(wine, scenario, timeout=60):
    """Runs diagprobe under the debug-output catcher; returns (records, system texts)."""
    records = wine.workdir / f"{scenario}.records"
    out = wine.workdir / f"{scenario}.out"
    code = wine.run(winrig.tool("dbgcatch"), winrig.winpath(records), winrig.tool("diagprobe"),
                    winrig.winpath(out), scenario, timeout=timeout)
    assert code == 0
    lines = winrig.read_lines(out)
    assert lines[-1] == "done"
    return [winrig.unescape(r) for r in winrig.read_lines(records)], parse_system_texts(lines)


def parse_system_texts(lines):
    """{code: (failure code, text)} as the probe's process got them from the system."""
    texts = {}
    for line in lines:
        if line.startswith("system "):
            _, code, failure, *rest = line.split(" ", 3)
            texts[int(code)] = (int(failure), winrig.unescape(rest[0]) if rest else "")
    return texts


def error_id(code, texts):
    failure, text = texts[code]
    if text:
        return f"error-ID = {code}\n{strip_controls(text)}"
    reason = texts[failure][1]
    assert reason, "the failure's own code should have a text"
    fallback = f"FormatMessage failed on error 0x{code:x} for the following reason: {reason}"
    return f"error-ID = {code}\n{strip_controls(fallback)}"


def test_trace_lines_and_error_reports_record_by_record(wine):
    records, texts = catch(wine, "trace")
    long_text = "".join(chr(ord("a") + i % 26) for i in range(2000))
    assert records == [
        "x\r\n",
        "x\n",
        "\r\n",
        "comm read: 7\r\n",
        "open com-port [COM12], failed!\r\n",
        long_text[:1023] + "\r\n",
        "start comm, 3\r\n",
        "100% sure %s %d\r\n",
        "*Error: Open com-port failed!\t\n" + error_id(2, texts) + "\r\n",
        "*Error: Start comm service failed!\t\n" + error_id(CODE_WITHOUT_TEXT, texts) + "\r\n",
        "*Error: Create event failed!\t\nerror-ID = 0\r\n",
        "*Error: 50% done %s\t\n" + error_id(5, texts) + "\r\n",
    ]
    # The system's own texts were used, not Windows' wording.
    assert texts[2][1] and texts[5][1] and not texts[CODE_WITHOUT_TEXT][1]


def test_traces_from_several_threads_are_never_split(wine):
    records, _ = catch(wine, "threads")
    pattern = re.compile(r"thread (\d) line (\d+): the quick brown fox jumps over the lazy dog\r\n")
    seen = {t: [] for t in range(4)}
    for record in records:
        match = pattern.fullmatch(record)
        assert match, f"split or garbled record: {record!r}"
        seen[int(match[1])].append(int(match[2]))
    assert all(lines == list(range(100)) for lines in seen.values())


def test_error_box_shows_the_traced_report_captioned_with_the_app_name(wine):
    records_path = wine.workdir / "box.records"
    out = wine.workdir / "box.out"
    catcher = wine.start(winrig.tool("dbgcatch"), winrig.winpath(records_path), winrig.tool("diagprobe"),
                         winrig.winpath(out), "box")
    ui = winrig.UiDriver(wine)
    box = ui("find", "#32770", "DORVANE", 20000)[0]
    shown = winrig.unescape(ui("text", box, 65535)[0])
    ui("command", box, 1)
    assert catcher.wait(timeout=30) == 0

    texts = parse_system_texts(winrig.read_lines(out))
    report = "*Error: Open com-port failed!\t\n" + error_id(2, texts)
    assert shown == report
    assert [winrig.unescape(r) for r in winrig.read_lines(records_path)] == [report + "\r\n"]
