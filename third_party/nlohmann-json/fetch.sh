#!/usr/bin/env bash
# Fetches nlohmann/json.hpp again from Debian 12's source package of
# nlohmann-json3 (the single-header form it ships beside the split headers)
# and checks it against the copy here. Needs the network; the build itself
# never runs this. Usage: third_party/nlohmann-json/fetch.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=3.11.2-2
sha256=665fa14b8af3837966949e8eb0052d583e2ac105d3438baba9951785512cf921
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private apt setup with a source entry; the machine's own is left alone.
mkdir -p "$work/lists/partial" "$work/cache" "$work/src"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$work/sources.list"
apt=(apt-get -o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=- \
  -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache")
"${apt[@]}" update >/dev/null
(cd "$work/src" && "${apt[@]}" source --download-only "nlohmann-json3=$version" >/dev/null)
tar -xzf "$work"/src/nlohmann-json3_*.orig.tar.gz -C "$work/src" --wildcards '*/single_include/nlohmann/json.hpp'
header=$(echo "$work"/src/json-*/single_include/nlohmann/json.hpp)
echo "$sha256  $header" | sha256sum -c --quiet
cmp "$header" "$here/nlohmann/json.hpp" && echo "nlohmann/json.hpp is Debian's nlohmann-json3 $version"
