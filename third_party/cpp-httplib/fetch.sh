#!/usr/bin/env bash
# Fetches httplib.h again from Debian's source package of cpp-httplib, the
# version Debian 12 builds libcpp-httplib-dev from (its patches applied), and
# checks it against the copy here. Needs the network and dpkg-dev; the build
# itself never runs this. Usage: third_party/cpp-httplib/fetch.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=0.11.4+ds-1+deb12u1
sha256=2bcaaeb62b3fee7beed69aa51e14f811f4d0bac3a0c1d6f0f095b02655d80a4e
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private apt setup with source entries; the machine's own is left alone.
mkdir -p "$work/lists/partial" "$work/cache" "$work/src"
cat >"$work/sources.list" <<LIST
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
LIST
apt=(apt-get -o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=- \
  -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache")
"${apt[@]}" update >/dev/null
(cd "$work/src" && "${apt[@]}" source "cpp-httplib=$version" >/dev/null)
header=$(echo "$work"/src/cpp-httplib-*/httplib.h)
echo "$sha256  $header" | sha256sum -c --quiet
cmp "$header" "$here/httplib.h" && echo "httplib.h is Debian's cpp-httplib $version"
