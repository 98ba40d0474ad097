#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package.sh, checked by lintian,
# installed with dpkg, its programs and Wireshark's dissector run from where the package put
# them, then removed and purged, with nothing of it left behind.
# Usage: test_package.sh SOURCE_DIR WORK_DIR VERSION
# Exits 77 (skipped) when it cannot install: neither root nor sudo -n, a package of that name is
# already there (its owner's, not ours to replace), or a tool is missing off CI.
set -euo pipefail

source_dir=$1
work=$2
version=$3
name=kova-test-tool

skip() {
    echo "SKIP: $*"
    exit 77
}

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif sudo -n true 2>/dev/null; then
    sudo=(sudo -n)
else
    skip "installing a package needs root or sudo -n"
fi
if status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null) &&
    [ "$status" != "unknown ok not-installed" ]; then
    skip "a $name package is already on this machine ($status)"
fi
for tool in lintian appstreamcli tshark help2man dpkg-shlibdeps; do
    if ! command -v "$tool" > /dev/null; then
        [ -n "${CI:-}" ] && { echo "FAIL: $tool is missing: scripts/install-deps.sh test installs it"; exit 1; }
        skip "$tool is not installed"
    fi
done

mkdir -p "$work"
rm -f "$work"/*.deb
KOVA_BUILD_DIR="$work/build" "$source_dir/scripts/package.sh" "$work"
deb="$work/${name}_${version}-1_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "FAIL: no $deb"; exit 1; }

# lintian exits non-zero on errors; its output says which.
lintian_out=$(lintian "$deb" 2>&1) || true
echo "$lintian_out"
if grep -q '^E:' <<< "$lintian_out"; then
    echo "FAIL: lintian found errors"
    exit 1
fi

home=$(mktemp -d)
installed=false
# Removed, then purged of what removing keeps (nothing, unless the package grows conffiles).
remove() {
    "${sudo[@]}" dpkg -r "$name" > /dev/null
    if dpkg-query -W "$name" > /dev/null 2>&1; then
        "${sudo[@]}" dpkg -P "$name" > /dev/null
    fi
    installed=false
}
trap 'if $installed; then remove || true; fi; rm -rf "$home"' EXIT

installed=true
"${sudo[@]}" dpkg -i "$deb" > /dev/null
mapfile -t files < <(dpkg -L "$name" | while read -r path; do [ -d "$path" ] || echo "$path"; done)

# The programs by their full path: a build installed under /usr/local may come first in PATH.
[ "$(QT_QPA_PLATFORM=offscreen /usr/bin/kova-test-tool --version)" = "$name $version" ] ||
    { echo "FAIL: kova-test-tool --version"; exit 1; }
/usr/bin/kovactl --simulate status rssi
appstreamcli validate --no-net /usr/share/metainfo/com.corvinta.kova_test_tool.metainfo.xml
# A HOME of its own: the dissector can only come from Wireshark's global folder.
HOME=$home tshark -G protocols 2> /dev/null | awk -F'\t' '$3 == "kova" { found = 1 } END { exit !found }' ||
    { echo "FAIL: tshark does not list the kova protocol"; exit 1; }

remove
if dpkg-query -W "$name" > /dev/null 2>&1; then
    echo "FAIL: dpkg still knows $name after the purge"
    exit 1
fi
for file in "${files[@]}"; do
    if [ -e "$file" ]; then
        echo "FAIL: $file is left after the purge"
        exit 1
    fi
done
echo "installed ${#files[@]} files, removed them all"
