"""The settings store on a fresh Wine prefix, checked from outside the program with
`wine reg`, as an administrator would look at a user's settings."""
import winrig

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"


def exported_values(wine):
    """{name: exported data text} of the Settings key, from `wine reg export`."""
    target = wine.workdir / "settings.reg"
    code, _ = wine.reg("export", SETTINGS_KEY, winrig.winpath(target), "/y")
    assert code == 0
    text = target.read_bytes().decode("utf-16")
    values = {}
    for line in text.splitlines():
        if line.startswith('"') and "=" in line:
            name, data = line.split("=", 1)
            values[name.strip('"')] = data
    return values


def test_fresh_store_writes_defaults_with_their_types(wine):
    code, _ = wine.reg("query", r"HKCU\software\Velmora")
    assert code != 0, "a fresh prefix has no settings yet"

    out = wine.workdir / "profile.out"
    assert wine.run(winrig.tool("profileprobe"), winrig.winpath(out)) == 0
    results = dict(line.split(" ", 1) for line in winrig.read_lines(out) if line != "done")
    assert results == {
        "crlf": "1",
        "filename": "[]",
        "nulldefault": "[]",
        "dcb": "FALSE",
        "dcbsize": "0",
        "minusone": "4294967295",
        "deleted": "TRUE",
    }

    values = exported_values(wine)
    assert values == {
        "SENDKB_CRLF": "dword:00000001",
        "RECORDDATA_FILENAME": '""',
        "MINUS_ONE": "dword:ffffffff",
    }
    # Nothing was stored for the null default, the binary read or the deleted entry.
    code, _ = wine.reg("query", SETTINGS_KEY, "/v", "COM1_DCB")
    assert code != 0
