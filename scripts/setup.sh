#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent: it
# only calls apt-get when a package is missing, so a second run takes a second.
set -euo pipefail

PACKAGES=(
    cmake make g++ googletest libbenchmark-dev           # native build, tests, benchmarks
    clang libclang-rt-14-dev                             # libFuzzer targets
    clang-format-14                                      # the format check (Debian 12's version)
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix  # the Windows builds
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386                              # running them
    fonts-wine                                           # the faces the program asks for (MS Sans Serif)
    qemu-user-static                                     # 32-bit ones where the kernel cannot
    xvfb xauth x11-utils imagemagick                     # a display for Wine, screenshots
    libx11-dev                                           # the display's window-state stand-in
    wixl msitools faketime zip unzip                     # the release: MSI installers, zips
    osslsigncode openssl                                 # signing it; the checks' throw-away certificate
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages and not root; run as root (or: sudo $0)" >&2
    exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
