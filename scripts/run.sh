#!/usr/bin/env bash
# Sets up the machine, builds VEXALIB and its host program vexa-grab natively
# and for 32-bit Windows, and runs the main job: vexa-grab detects the
# simulated camera and saves a few colour frames as BMP files, first through
# libvexalib.so, then through VEXALIB.dll under Wine; then oriscope-capture
# registers the DirectShow filter Oriscope.dll with regsvr32, renders both of
# its pins in a Wine filter graph, saves preview frames and prints each pin's
# frame rate.
#
# Usage: scripts/run.sh [arguments for vexa-grab...]   e.g. scripts/run.sh --frames 3 --mode 1
# Environment: MIDLIB_SIM configures the simulated camera (see the README);
#              ORISCOPE_RUN_WINDOWS=0 skips the Windows build and run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
outputs=()

echo "==== building vexa-grab and libvexalib.so (preset native) ===="
cmake --preset native >/dev/null
cmake --build --preset native --target vexa-grab
echo
echo "==== vexa-grab natively, through libvexalib.so ===="
build/native/bin/vexa-grab --out build/native/frames "$@"
outputs+=("native (libvexalib.so):      $root/build/native/frames")

if [[ ${ORISCOPE_RUN_WINDOWS:-1} != 0 ]]; then
    echo
    echo "==== building vexa-grab.exe and VEXALIB.dll (preset win32) ===="
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target vexa-grab
    echo
    echo "==== vexa-grab.exe under Wine, through VEXALIB.dll ===="
    # The first run creates the build tree's Wine prefix (about 10 s).
    ORISCOPE_WINE_TIMEOUT=300 cmake/wine-run.sh build/win32/bin/vexa-grab.exe --out build/win32/frames "$@"
    outputs+=("Windows (VEXALIB.dll, Wine): $root/build/win32/frames")

    echo
    echo "==== building oriscope-capture.exe and the DirectShow filter Oriscope.dll (preset win32) ===="
    cmake --build --preset win32 --target oriscope oriscope-capture
    echo
    echo "==== oriscope-capture.exe under Wine, through Wine's DirectShow and Oriscope.dll ===="
    # Register the filter in the build tree's private prefix as an installer
    # would (regsvr32 wants the Windows path), capture, then unregister again.
    prefix=$root/build/win32/wine-prefix
    dll="Z:${root//\//\\}\\build\\win32\\bin\\Oriscope.dll"
    mkdir -p build/win32/capture
    cmake/wine-run.sh build/win32/bin/oriscope-capture.exe --list >/dev/null 2>&1 || true # creates the prefix
    cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /s "$dll"
    MIDLIB_SIM=${MIDLIB_SIM:-pace=30} cmake/wine-run.sh build/win32/bin/oriscope-capture.exe --out build/win32/capture
    cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /u /s "$dll"
    outputs+=("Windows (Oriscope.dll, Wine DirectShow): $root/build/win32/capture")
fi

echo
echo "==== frames saved ===="
printf '%s\n' "${outputs[@]}"
