#!/usr/bin/env bash
# Sets up the machine, builds VEXALIB and its host program vexa-grab natively
# and for 32-bit Windows, and runs the main job: vexa-grab detects the
# simulated camera and saves a few colour frames as BMP files, first through
# libvexalib.so, then through VEXALIB.dll under Wine.
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
fi

echo
echo "==== frames saved ===="
printf '%s\n' "${outputs[@]}"
