// The program's version, in one place: the version record, the About box and the release
// packages (scripts/package.sh reads DORVANE_VERSION_MAJOR and _MINOR from here).
#pragma once

#define DORVANE_VERSION_MAJOR 3
#define DORVANE_VERSION_MINOR 4
#define DORVANE_VERSION_BUILD 160923
#define DORVANE_VERSION_TEXT "3.4 (160923)"
