#!/usr/bin/env bash
# Fetches a Debian source package, with Debian's patches applied, into DEST/PACKAGE:
# scripts/fetch-debian-source.sh DEST PACKAGE (for the Windows build's libraries).
# The deb-src line is derived from this machine's own apt sources; apt's state stays in DEST.
set -euo pipefail
dest=$(realpath -m "$1")
package=${2:?usage: fetch-debian-source.sh DEST PACKAGE}
[ -d "$dest/$package" ] && exit 0
. /etc/os-release
codename=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}

uri=""
# One-line sources: "deb [options] URI SUITE COMPONENTS..."
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  uri=$(awk -v c="$codename" '$1=="deb" { i=2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i+1)==c) { print $i; exit } }' "$f")
  [ -n "$uri" ] && break
done
# deb822 sources: the first stanza whose Suites name the codename.
if [ -z "$uri" ]; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk -v c="$codename" 'BEGIN { RS="" } {
        u = ""; s = 0; n = split($0, L, "\n")
        for (k = 1; k <= n; k++) {
          if (L[k] ~ /^URIs:/) { split(L[k], a, " "); u = a[2] }
          if (L[k] ~ /^Suites:/ && (" " L[k] " ") ~ (" " c " ")) s = 1
        }
        if (s && u != "") { print u; exit } }' "$f")
    [ -n "$uri" ] && break
  done
fi
[ -n "$uri" ] || { echo "fetch-debian-source: no apt source for $codename found" >&2; exit 1; }

work="$dest/apt"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
echo "deb-src $uri $codename main" > "$work/sources.list"
apt_opts=(-q -o "Dir::Etc::sourcelist=$work/sources.list" -o Dir::Etc::sourceparts=-
          -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
apt-get "${apt_opts[@]}" update >/dev/null
(cd "$work" && apt-get "${apt_opts[@]}" source "$package" >/dev/null 2>&1)
rm -rf "$dest/$package"
mv "$work/$package"-*/ "$dest/$package"
