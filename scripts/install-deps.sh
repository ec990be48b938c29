#!/usr/bin/env bash
# Installs every Debian 12 package needed to build, run and test Oriscope
# (native, fuzzing, and Windows under Wine). Quick and silent when all is present.
# Runs as root, or through sudo otherwise; never asks anything.
set -euo pipefail

packages=(
    # Native build and tests
    g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
    # Windows build: mingw-w64 i686 (posix thread model), GoogleTest sources to cross-build
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest
    # Running the Windows programs: Wine (32-bit), winedump for export tables
    wine wine32:i386 wine64 wine64-tools
    # GUI tests under a virtual display: Xvfb, screenshots, clicks
    xvfb xauth x11-apps x11-utils imagemagick xdotool
    # Image checks in the converter tests and benchmarks
    libopencv-dev python3-pil
    # Fuzzing: clang with libFuzzer and its sanitizers
    clang libclang-rt-14-dev
    # flock and timeout for the Wine runner
    util-linux coreutils
)

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "install-deps: not root and no sudo; cannot install packages" >&2
    exit 1
fi

isInstalled() {
    [[ $(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null) == ii* ]]
}

missing=()
for package in "${packages[@]}"; do
    isInstalled "$package" || missing+=("$package")
done

needI386=false
dpkg --print-foreign-architectures | grep -qx i386 || needI386=true

if [[ ${#missing[@]} -eq 0 && $needI386 == false ]]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -q -o DPkg::Lock::Timeout=600 -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
if [[ $needI386 == true ]]; then
    echo "install-deps: adding the i386 architecture (for wine32)"
    "${sudo[@]}" dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install --no-install-recommends "${missing[@]}"
echo "install-deps: done"
