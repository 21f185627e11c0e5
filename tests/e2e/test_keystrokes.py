"""The real keystroke adapters type into a real focused window under Wine.

Expectations are derived at run time from the layout lookup the typing process itself saw
(Wine's layout differs from Windows', e.g. for LF and parentheses), then built with the
press/release rules written out independently here.
"""
import winrig

SHIFT, CONTROL, MENU = 0x10, 0x11, 0x12
# The third slot injects the right Alt key; the window's messages name it VK_MENU.
SLOTS = ((0x01, SHIFT), (0x02, CONTROL), (0x04, MENU))
NO_KEY = 0xFFFF


def expected_typing(lookups):
    """Key events and characters the rules give for [(char, VkKeyScanW result)]: presses before
    releases, except where that would release Shift+Ctrl or Shift+Alt with no key between (the
    language hotkeys): then releases first."""
    held, events, chars = set(), [], []
    for ch, scan in lookups:
        if scan == NO_KEY:
            continue
        vk, state = scan & 0xFF, scan >> 8
        presses = [m for bit, m in SLOTS if state & bit and m not in held]
        releases = [m for bit, m in SLOTS if not state & bit and m in held]
        after_presses = held | set(presses)
        chord = releases and SHIFT in after_presses and (CONTROL in after_presses or MENU in after_presses)
        order = [("keyup", m) for m in releases] + [("keydown", m) for m in presses] if chord else \
            [("keydown", m) for m in presses] + [("keyup", m) for m in releases]
        for kind, modifier in order:
            events.append((kind, modifier))
            (held.add if kind == "keydown" else held.discard)(modifier)
        events += [("keydown", vk), ("keyup", vk)]
        chars.append(ch)
    for _, modifier in SLOTS:
        if modifier in held:
            events.append(("keyup", modifier))
    return events, chars


def type_text(wine, text, *options):
    work = wine.workdir
    (work / "text.txt").write_bytes(text.encode("utf-8"))
    out = work / "typeprobe.out"
    assert wine.run_tool(winrig.tool("typeprobe"), winrig.winpath(work / "text.txt"), winrig.winpath(out), *options,
                         out=out) == 0
    lines = winrig.read_lines(out)
    lookups = [(chr(int(unit, 16)), int(scan, 16)) for _, unit, scan in (l.split() for l in lines if l.startswith("lookup"))]
    sent = int(next(l for l in lines if l.startswith("sent")).split()[1])
    return lookups, sent


def split_events(events):
    """Key events (WM_SYSKEY* counted as WM_KEY*: with Alt held alone the window gets those;
    the order is what matters here) and the characters received."""
    keys = [(kind.replace("sys", ""), vk) for kind, vk in events if "char" not in kind]
    chars = [chr(value) for kind, value in events if kind == "char"]
    return keys, chars


def received(sink, expected_count):
    def enough():
        keys, chars = split_events(sink.events())
        return (keys, chars) if len(keys) >= expected_count else None

    return winrig.wait_for(enough, 15, f"{expected_count} key events in the sink")


def test_mixed_text_arrives_as_the_exact_key_sequence(wine, key_sink):
    text = "Lot 4711-B: qty=12.5kg\r\nSCAN ok\t(#7)\nz\u00e9\u4e2d!"
    lookups, sent = type_text(wine, text)

    assert [ch for ch, _ in lookups] == list(text)
    expected_events, expected_chars = expected_typing(lookups)
    assert any(scan == NO_KEY for _, scan in lookups), "the text should hold a character without a key"
    assert sent == len(expected_chars)

    keys, chars = received(key_sink, len(expected_events))
    assert keys == expected_events
    assert chars == expected_chars


def test_shift_is_held_across_capitals_and_every_modifier_is_released(wine, key_sink):
    lookups, sent = type_text(wine, "ABc")
    assert sent == 3
    a, b, c = (scan & 0xFF for _, scan in lookups)
    expected = [("keydown", SHIFT), ("keydown", a), ("keyup", a), ("keydown", b), ("keyup", b),
                ("keyup", SHIFT), ("keydown", c), ("keyup", c)]
    keys, _ = received(key_sink, len(expected))
    assert keys == expected


def test_with_caps_lock_on_capitals_arrive_as_capitals(wine, key_sink):
    CAPITAL = 0x14
    ui = winrig.UiDriver(wine)
    ui("tap", CAPITAL)
    try:
        # Typed with the plain rules, Caps Lock inverts the letters: Wine shows it too.
        before = len(key_sink.events())
        type_text(wine, "ABC")
        winrig.wait_for(lambda: split_events(key_sink.events()[before:])[1] == list("abc"), 15, "'abc' in the sink")
        # Typed for the window in front, Caps Lock is taken into account.
        before = len(key_sink.events())
        type_text(wine, "ABC", "target")
        assert "caps 1" in winrig.read_lines(wine.workdir / "typeprobe.out")
        winrig.wait_for(lambda: split_events(key_sink.events()[before:])[1] == list("ABC"), 15, "'ABC' in the sink")
    finally:
        ui("tap", CAPITAL)
