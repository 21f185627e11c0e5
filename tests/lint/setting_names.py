"""Fails when a setting's name (or the recording-file filter text) is spelled anywhere in the
product's sources other than the settings keys table: every reader must go through the table
so that a name or default can never drift between two places."""
import re
import sys
from pathlib import Path

src = Path(sys.argv[1])
table = src / "settings" / "core" / "settingkeys.h"
literals = re.findall(r'(?:Int|String)Setting\s+\w+\{\s*u"([^"]+)"', table.read_text())
literals += re.findall(r'u"(Data Files[^"]*)"', table.read_text())
if len(literals) < 10:
    sys.exit(f"could not read the settings keys from {table}")

problems = []
for path in sorted(src.rglob("*")):
    if path.suffix not in {".h", ".cpp", ".rc"} or path == table:
        continue
    text = path.read_text(errors="replace")
    for name in literals:
        if f'"{name}"' in text:
            problems.append(f"{path.relative_to(src)}: spells \"{name}\"; use the settings keys table")
print("\n".join(problems) or f"{len(literals)} setting names are spelled only in {table.name}")
sys.exit(1 if problems else 0)
