#!/usr/bin/env bash
# The Debian package built, checked by lintian, installed, run from where it put the programs and
# the dissector, then purged with nothing left. Usage: test_package.sh SOURCE_DIR WORK_DIR VERSION
# Skips (77) without root or sudo -n, or beside a package of that name (not ours to replace).
set -euo pipefail

source_dir=$1 work=$2 version=$3
name=kova-test-tool
skip() { echo "SKIP: $*" && exit 77; }
fail() { echo "FAIL: $*" && exit 1; }

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo -n true 2> /dev/null || skip "installing a package needs root or sudo -n"
    sudo=(sudo -n)
fi
status=$(dpkg-query -W -f='${Status}' "$name" 2> /dev/null) || true
[ -z "$status" ] || [ "$status" = "unknown ok not-installed" ] ||
    skip "a $name package is already on this machine ($status)"

mkdir -p "$work"
rm -f "$work"/*.deb
KOVA_BUILD_DIR="$work/build" "$source_dir/scripts/package.sh" "$work"
deb="$work/${name}_${version}-1_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"

lintian_out=$(lintian "$deb" 2>&1) || true # non-zero on errors, which the output names
echo "$lintian_out"
! grep -q '^E:' <<< "$lintian_out" || fail "lintian found errors"

home=$(mktemp -d)
installed=false
remove() { # and purge what removing keeps, should the package grow conffiles
    "${sudo[@]}" dpkg -r "$name" > /dev/null
    if dpkg-query -W "$name" > /dev/null 2>&1; then "${sudo[@]}" dpkg -P "$name" > /dev/null; fi
    installed=false
}
trap 'if $installed; then remove || true; fi; rm -rf "$home"' EXIT
installed=true
"${sudo[@]}" dpkg -i "$deb" > /dev/null
mapfile -t files < <(dpkg -L "$name" | while read -r path; do [ -d "$path" ] || echo "$path"; done)

# By their full path: a build installed under /usr/local may come first in PATH.
[ "$(QT_QPA_PLATFORM=offscreen /usr/bin/kova-test-tool --version)" = "$name $version" ] ||
    fail "kova-test-tool --version"
/usr/bin/kovactl --simulate status rssi
appstreamcli validate --no-net /usr/share/metainfo/com.corvinta.kova_test_tool.metainfo.xml
# A HOME of its own: the dissector can only come from Wireshark's global folder.
HOME=$home tshark -G protocols 2> /dev/null | awk -F'\t' '$3 == "kova" { found = 1 } END { exit !found }' ||
    fail "tshark does not list the kova protocol"

remove
! dpkg-query -W "$name" > /dev/null 2>&1 || fail "dpkg still knows $name after the purge"
for file in "${files[@]}"; do
    [ ! -e "$file" ] || fail "$file is left after the purge"
done
echo "installed ${#files[@]} files, removed them all"
