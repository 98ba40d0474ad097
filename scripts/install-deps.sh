#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing; uses sudo when not root.
# Usage: scripts/install-deps.sh [run|package|test]
set -euo pipefail

set_name="${1:-run}"
packages=(qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev cmake make g++ python3)
if [ "$set_name" = package ] || [ "$set_name" = test ]; then
    # The Debian package: man pages from the programs' --help, Debian's build flags, and
    # dependencies read from the binaries (dpkg-shlibdeps, which CPack runs on what file(1)
    # calls ELF).
    packages+=(help2man dpkg-dev file)
fi
if [ "$set_name" = test ]; then
    # Headless GUI tests, sanitizer and fuzzer runtimes, benchmarks, Wireshark's tshark,
    # which reads the tool's captures with the generated dissector, and pytest with jsonschema
    # for kovactl's session suite, and ser2net, the serial server the network port tests reach
    # the virtual module through (on a machine with systemd it also starts its own service, on
    # ports the tests do not use), and for the package test lintian and appstream's validator.
    packages+=(xvfb xauth clang libclang-rt-14-dev libbenchmark-dev tshark python3-pytest
        python3-jsonschema ser2net lintian appstream)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
# Without an answer, installing tshark asks whether to let non-root users capture packets.
echo "wireshark-common wireshark-common/install-setuid boolean false" |
    $sudo debconf-set-selections
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
