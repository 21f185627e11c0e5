"""Fails when a unit test's name holds a character that ctest's per-case entries cannot carry:
CMake splits a discovered name at ';', and the entry then runs no test case at all and passes."""
import re
import sys
from pathlib import Path

names = [(path.name, name) for path in sorted(Path(sys.argv[1]).glob("*.cpp"))
         for name in re.findall(r'TEST_CASE\("([^"]*)"', path.read_text())]
if not names:
    sys.exit("no test cases found")
bad = [f"{file}: {name}" for file, name in names if ";" in name]
if bad:
    sys.exit("test case names with ';' (use ','):\n" + "\n".join(bad))
