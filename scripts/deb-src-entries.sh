#!/usr/bin/env bash
# Prints deb-src entries (deb822) mirroring the system's Debian deb entries: the same URIs,
# suites, components and keys. Entries of other vendors (suites not of this release) are left
# out. Without any such deb entry it prints the main Debian archive for this release.
set -euo pipefail

codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
out="$(
  for f in /etc/apt/sources.list.d/*.sources; do
    if [ -f "$f" ] && [ "$(basename "$f")" != dorvane-src.sources ]; then cat "$f"; echo; fi
  done | awk -v rel="$codename" '
    function ours(s, n, i, w) {
      n = split(s, w, /[ \t]+/)
      for (i = 1; i <= n; i++) if (w[i] == rel || index(w[i], rel "-") == 1) return 1
      return 0
    }
    function flush() {
      if (types ~ /(^|[ \t])deb([ \t]|$)/ && tolower(enabled) !~ /no/ && ours(f["suites"])) {
        print "Types: deb-src"
        for (k = 1; k <= nkeys; k++) print field[keys[k]]
        print ""
      }
      types = ""; enabled = ""; nkeys = 0; delete f; delete field; cur = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (cur != "") field[cur] = field[cur] "\n" $0; next }
    {
      key = tolower(substr($0, 1, index($0, ":") - 1)); val = substr($0, index($0, ":") + 1)
      sub(/^[ \t]+/, "", val); cur = ""
      if (key == "types") types = val
      else if (key == "enabled") enabled = val
      else if (key == "uris" || key == "suites" || key == "components" || key == "signed-by") {
        f[key] = val; field[key] = $0; keys[++nkeys] = key; cur = key
      }
    }
    END { flush() }'
  # One-line entries of sources.list(.d/*.list): "deb [options] URI suite components...".
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ -f "$f" ]; then cat "$f"; fi
  done | awk -v rel="$codename" '
    $1 == "deb" {
      signed = ""; i = 2
      if ($2 ~ /^\[/) {
        while (i <= NF) { if ($i ~ /^signed-by=/) { signed = substr($i, 11); sub(/\]$/, "", signed) }
                          if ($i ~ /\]$/) { i++; break } i++ }
      }
      if ($(i + 1) != rel && index($(i + 1), rel "-") != 1) next
      comps = ""; for (j = i + 2; j <= NF; j++) comps = comps " " $j
      print "Types: deb-src\nURIs: " $i "\nSuites: " $(i + 1) "\nComponents:" comps
      if (signed != "") print "Signed-By: " signed
      print ""
    }'
)"
if [ -n "$out" ]; then
  printf '%s\n' "$out"
else
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\n' "$codename"
  printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
fi
