#!/usr/bin/env bash
# Runs one Windows program under Wine in its build tree's private prefix and
# returns the program's exit code; ctest uses it as the cross-compiling emulator.
# A 32-bit program runs with the 32-bit loader, a 64-bit one with the 64-bit
# loader (/usr/lib/wine/wine64: Debian puts no wine64 on PATH); the prefix has
# the build tree's architecture (win32 or win64), or the program's outside one.
# A 32-bit program on a machine that cannot execute 32-bit code (or with
# ORISCOPE_NO_32BIT=1) is refused with rc 1 and the reason.
#
# Usage: cmake/wine-run.sh <program.exe> [arguments...]
# Environment:
#   ORISCOPE_WINEPREFIX    prefix to use; default <build tree>/wine-prefix, the build tree
#                          being the nearest directory above the program with a CMakeCache.txt
#   ORISCOPE_WINE_TIMEOUT  seconds before the program is killed (default 280); rc 124 then
#   ORISCOPE_WINEDEBUG     WINEDEBUG for the program (default -all,err+winediag)
# The prefix is created on first use under a lock (parallel ctest runs create it
# once), without DISPLAY, with crash dialogs off and unmanaged X11 windows.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh"

die() {
    echo "wine-run: $*" >&2
    exit 1
}

findBuildTree() {
    local dir
    dir=$(cd "$(dirname "$1")" && pwd) || return 1
    while [[ $dir != / ]]; do
        [[ -f $dir/CMakeCache.txt ]] && { echo "$dir"; return 0; }
        dir=$(dirname "$dir")
    done
    return 1
}

# Wine refuses a prefix owned by someone else; say so plainly instead.
checkOwner() {
    [[ -e $WINEPREFIX ]] || return 0
    local owner
    owner=$(stat -c %u "$WINEPREFIX")
    [[ $owner == "$(id -u)" ]] || die "$WINEPREFIX belongs to uid $owner, not to you; remove it"
}

# Runs one set-up command in a display-less session, with the lock fd closed so
# a wineserver started by it does not keep the lock.
setupStep() {
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 300 "$@" >/dev/null 2>&1 9>&-
}

createPrefix() {
    local start=$SECONDS loader
    loader=$(wineLoaderFor "$WINEARCH")
    echo "wine-run: creating $WINEARCH Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    setupStep "$loader" wineboot -u || die "wineboot failed for $WINEPREFIX ($loader)"
    # A crash must print its backtrace and end the test, not wait for a click.
    setupStep "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
        die "registry set-up failed"
    # Without a window manager, closing a managed window costs two seconds.
    setupStep "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f ||
        die "registry set-up failed"
    # End the display-less session: GUI programs started later need one with DISPLAY.
    setupStep wineserver -w || die "wineserver did not stop"
    touch "$WINEPREFIX/.oriscope-ready"
    echo "wine-run: prefix ready after $((SECONDS - start)) s" >&2
}

ensurePrefix() {
    [[ -f $WINEPREFIX/.oriscope-ready ]] && { checkOwner; return 0; }
    mkdir -p "$(dirname "$WINEPREFIX")" || die "cannot create $(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock" || die "cannot open $WINEPREFIX.lock"
    flock -w 600 9 || die "timed out waiting for $WINEPREFIX.lock"
    checkOwner
    # Another run may have finished the prefix while we waited; a half-made one is redone.
    [[ -f $WINEPREFIX/.oriscope-ready ]] || createPrefix
    exec 9>&-
}

[[ $# -ge 1 ]] || die "usage: wine-run.sh <program.exe> [arguments...]"
program=$1
shift
[[ -f $program ]] || die "no such program: $program"

programArch=$(peArchitecture "$program") || programArch=""
buildTree=$(findBuildTree "$program") || buildTree=""
treeArch=""
[[ -n $buildTree ]] && treeArch=$(buildTreeArchitecture "$buildTree")
if [[ -n ${ORISCOPE_WINEPREFIX:-} ]]; then
    WINEPREFIX=$ORISCOPE_WINEPREFIX
else
    [[ -n $buildTree ]] || die "$program is not inside a CMake build tree; set ORISCOPE_WINEPREFIX"
    WINEPREFIX=$buildTree/wine-prefix
fi
WINEARCH=${treeArch:-${programArch:-win32}}
[[ -n $programArch ]] || programArch=$WINEARCH
if [[ $programArch == win32 ]] && ! canRun32Bit; then
    die "cannot run the 32-bit program $(basename "$program"): $no32BitReason"
fi
if [[ $programArch == win64 && $WINEARCH == win32 ]]; then
    die "cannot run the 64-bit program $(basename "$program") in the 32-bit prefix $WINEPREFIX"
fi
loader=$(wineLoaderFor "$programArch")
export WINEPREFIX WINEARCH
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=${ORISCOPE_WINEDEBUG:--all,err+winediag}

ensurePrefix

limit=${ORISCOPE_WINE_TIMEOUT:-280}
# The program's stderr is kept in a file and shown when it ends: on a loaded
# machine a crash has been seen to end with rc 0 after the debugger's backtrace,
# which must not pass as success. A file, not a pipe: the wineserver that wine
# starts inherits stderr and outlives the program, so a reader of a pipe would
# wait for the server (1.5 s per run) and the next run would start a new one.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
timeout --kill-after=10 "$limit" "$loader" "$program" "$@" 2>"$errors"
rc=$?
cat "$errors" >&2
if [[ $rc -eq 0 ]] && grep -q '^wine: Unhandled .*starting debugger' "$errors"; then
    echo "wine-run: $(basename "$program") crashed (unhandled exception); reporting rc 5" >&2
    rc=5
fi
if [[ $rc -eq 124 || $rc -eq 137 ]]; then
    echo "wine-run: $(basename "$program") killed after ${limit} s (rc $rc)" >&2
fi
exit $rc
