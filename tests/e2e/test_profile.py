"""The settings store on a fresh Wine prefix, checked from outside the program with
`wine reg`, as an administrator would look at a user's settings."""
import subprocess

import winrig

SETTINGS_KEY = r"HKCU\software\Velmora\DORVANE\Settings"


def reg(wine, *args):
    """Runs `wine reg ...` to its end; returns (exit code, output)."""
    out = wine.workdir / "reg.out"
    with open(out, "wb") as log:
        code = subprocess.run(["wine", "reg", *args], env=wine.env, stdout=log, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, timeout=60).returncode
    return code, out.read_bytes().decode("utf-8", "replace")


def exported_values(wine):
    """{name: exported data text} of the Settings key, from `wine reg export`."""
    target = wine.workdir / "settings.reg"
    code, _ = reg(wine, "export", SETTINGS_KEY, winrig.winpath(target), "/y")
    assert code == 0
    text = target.read_bytes().decode("utf-16")
    values = {}
    for line in text.splitlines():
        if line.startswith('"') and "=" in line:
            name, data = line.split("=", 1)
            values[name.strip('"')] = data
    return values


def test_fresh_store_writes_defaults_with_their_types(wine):
    code, _ = reg(wine, "query", r"HKCU\software\Velmora")
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
    code, _ = reg(wine, "query", SETTINGS_KEY, "/v", "COM1_DCB")
    assert code != 0
