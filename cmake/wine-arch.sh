# Shell functions shared by the Wine runner and the scripts: which Windows
# architecture a program is, which Wine loader runs it, and whether this
# machine can execute 32-bit programs at all. Source it; it defines functions only.
#
# Some of our machines run 64-bit user code only: there the i386 loader and
# Debian's 32-bit Wine loader fail with "Exec format error", so 32-bit Windows
# programs cannot run, while 64-bit Wine (/usr/lib/wine/wine64) works.
# ORISCOPE_NO_32BIT=1 makes a machine that can answer "cannot", so that path
# can be exercised anywhere.

wineLoader32=/usr/lib/wine/wine
wineLoader64=/usr/lib/wine/wine64

# Succeeds when 32-bit programs run here; otherwise sets no32BitReason.
canRun32Bit() {
    no32BitReason=""
    if [[ ${ORISCOPE_NO_32BIT:-0} == 1 ]]; then
        no32BitReason="ORISCOPE_NO_32BIT=1 is set"
        return 1
    fi
    if [[ ! -x $wineLoader32 ]]; then
        no32BitReason="32-bit Wine ($wineLoader32) is not installed"
        return 1
    fi
    local output
    if ! output=$(timeout 10 "$wineLoader32" --version 2>&1); then
        no32BitReason="this machine cannot execute 32-bit programs ($wineLoader32: ${output:-no answer})"
        return 1
    fi
    return 0
}

# Prints win32 or win64 for a PE program or DLL (its COFF machine field),
# nothing for any other file.
peArchitecture() {
    local file=$1 offset machine
    [[ $(head -c 2 "$file" 2>/dev/null) == MZ ]] || return 1
    offset=$(od -A n -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
    [[ -n $offset ]] || return 1
    [[ $(od -A n -c -j "$offset" -N 4 "$file" 2>/dev/null | tr -d ' ') == 'PE\0\0' ]] || return 1
    machine=$(od -A n -t x2 -j $((offset + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
    case $machine in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) return 1 ;;
    esac
}

# The Windows architecture a CMake build tree targets (win32 or win64, as
# the top-level CMakeLists records it), nothing for a native tree.
buildTreeArchitecture() {
    local arch
    arch=$(sed -n 's/^ORISCOPE_WINDOWS_ARCH:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null)
    [[ -n $arch ]] || return 1
    echo "$arch"
}

# The loader that runs programs of an architecture.
wineLoaderFor() {
    [[ $1 == win64 ]] && echo "$wineLoader64" || echo "$wineLoader32"
}
