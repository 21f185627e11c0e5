import subprocess
import tempfile
from pathlib import Path

import pytest

import winrig


@pytest.fixture(scope="session")
def wine_template():
    """The prepared template prefix (built on first use by the project's script)."""
    # The script runs Wine: its output goes to a file, never to a pipe.
    with tempfile.TemporaryFile() as out:
        subprocess.run([str(winrig.REPO / "scripts" / "wine-template.sh")], check=True, timeout=300,
                       stdout=out, stdin=subprocess.DEVNULL)
        out.seek(0)
        return Path(out.read().decode().strip().splitlines()[-1])


@pytest.fixture(scope="session")
def xvfb():
    with tempfile.TemporaryDirectory(prefix="dorvane-xvfb-") as workdir:
        server = winrig.Xvfb(workdir)
        try:
            yield server
        finally:
            server.stop()


@pytest.fixture
def wine(wine_template, xvfb, tmp_path):
    """A fresh prefix for one test, on the shared display; everything in it ends with the test."""
    prefix = winrig.WinePrefix(wine_template, tmp_path, xvfb.display)
    try:
        yield prefix
    finally:
        prefix.close()


@pytest.fixture
def key_sink(wine):
    return winrig.KeySink(wine)


@pytest.fixture
def line(wine):
    """A serial line on COM12 (request it before any fixture that starts a Wine program)."""
    serial = winrig.SerialLine(wine)
    yield serial
    serial.close()


@pytest.fixture
def line13(wine, line):
    """A second serial line, on COM13, beside the first (request it before any fixture that
    starts a Wine program)."""
    serial = winrig.SerialLine(wine, "COM13")
    yield serial
    serial.close()
