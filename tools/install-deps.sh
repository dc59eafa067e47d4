#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, when
# any is missing. Uses apt-get as root, or through sudo; otherwise prints the
# exact command and stops.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config liblua5.4-dev
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins fonts-dejavu-core
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth socat lrzsz ser2net
    # Other serial programs that hold a port, for the tests of its locks.
    tio picocom minicom
    # A real boot loader for the script tests: U-Boot on qemu's "virt" board.
    qemu-system-arm u-boot-qemu
    dpkg-dev file man-db python3
    # The package's checks and build: Debian's validators, the icon renders,
    # the completion scripts' helpers.
    lintian desktop-file-utils appstream librsvg2-bin bash-completion
    # Find in the history: PCRE2's 8-bit library with its JIT.
    libpcre2-dev
)
# `make fuzz` builds libFuzzer targets with clang; `make format-check` needs
# the formatter the tree is kept in.
if [ "${1:-}" = "fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
elif [ "${1:-}" = "format" ]; then
    packages+=(clang-format)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    run=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    run=(sudo)
else
    echo "Cannot install packages without root. Run:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -q
"${run[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
