#!/usr/bin/env bash
# Fetches PCRE2 10.42's source once, from Debian's source package pcre2 (apt-get source checks
# each file against the signed Sources index; scripts/setup-deps.sh adds the deb-src entry), into
# build/third_party/pcre2, where CMake builds it (cmake/pcre2.cmake). Quiet when it is there.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=build/third_party/pcre2
stamp="$dest/.dorvane-fetched"
if [ -f "$stamp" ]; then exit 0; fi

mkdir -p build/third_party
exec 9> build/third_party/.fetch-pcre2.lock
flock 9
if [ -f "$stamp" ]; then exit 0; fi

# Debian 12's 10.42-1 first; another 10.42 revision (a stable update) when that one is gone.
versions="$(apt-cache showsrc pcre2 2>/dev/null | sed -n 's/^Version: \(10\.42-.*\)$/\1/p' | sort -rV)"
if [ -z "$versions" ]; then
  echo "fetch-pcre2: apt knows no source package pcre2 10.42 (run scripts/setup-deps.sh)" >&2
  exit 1
fi
if printf '%s\n' "$versions" | grep -qx '10\.42-1'; then
  versions="$(printf '10.42-1\n%s\n' "$versions" | awk '!seen[$0]++')"
fi

work="$(mktemp -d build/third_party/fetch.XXXXXX)"
trap 'rm -rf "$work"' EXIT
fetched=""
for v in $versions; do
  if (cd "$work" && apt-get source -q "pcre2=$v" > fetch.log 2>&1); then
    fetched="$v"
    break
  fi
  rm -rf "${work:?}"/*
done
if [ -z "$fetched" ]; then
  echo "fetch-pcre2: apt-get source pcre2 failed for every 10.42 revision:" >&2
  cat "$work/fetch.log" >&2 2>/dev/null || true
  exit 1
fi

src="$work/pcre2-10.42"
header="$src/src/pcre2.h.generic"
if ! grep -qE '^#define PCRE2_MAJOR +10$' "$header" || ! grep -qE '^#define PCRE2_MINOR +42$' "$header"; then
  echo "fetch-pcre2: the source package $fetched is not PCRE2 10.42" >&2
  exit 1
fi
rm -rf "$dest"
mv "$src" "$dest"
echo "$fetched" > "$stamp"
echo "fetch-pcre2: PCRE2 from Debian's pcre2 $fetched in $dest"
