#!/usr/bin/env bash
# Sets up the machine, builds VEXALIB and its host program vexa-grab natively
# and for Windows, and runs the main job: vexa-grab detects the simulated
# camera and saves a few colour frames as BMP files, first through
# libvexalib.so, then through VEXALIB.dll under Wine; then oriscope-capture
# registers the DirectShow filter Oriscope.dll with regsvr32, renders both of
# its pins in a Wine filter graph, saves preview frames and prints each pin's
# frame rate; last, oriscope-view shows the live picture and the property page
# on a virtual display (Xvfb) and saves pictures of both.
#
# Usage: scripts/run.sh [arguments for vexa-grab...]   e.g. scripts/run.sh --frames 3 --mode 1
# The Windows half runs the 32-bit build (preset win32) where this machine can
# execute 32-bit programs, else the 64-bit build (preset win64) under 64-bit Wine.
# Environment: MIDLIB_SIM configures the simulated camera (see the README);
#              ORISCOPE_RUN_WINDOWS=0 skips the Windows build and run;
#              ORISCOPE_WINDOWS_ARCH=win32|win64 picks the Windows build;
#              ORISCOPE_NO_32BIT=1 acts as on a machine without 32-bit support.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source cmake/wine-arch.sh
bash scripts/install-deps.sh
outputs=()

# The viewer needs a display: a private Xvfb, and a wineserver session started
# with it (one started without a display never gets one). It registers the
# filter, shows the live picture and the property page for a few seconds,
# saves pictures of both (and a still), and unregisters the filter again.
xvfbPid=""
stopViewerDisplay() {
    if [[ -n $xvfbPid ]]; then
        kill "$xvfbPid" 2>/dev/null || true
        wait "$xvfbPid" 2>/dev/null || true
    fi
    xvfbPid=""
}
trap stopViewerDisplay EXIT
runViewer() {
    local prefix=$root/build/$arch/wine-prefix out=build/$arch/viewer displayFile
    local dll="Z:${root//\//\\}\\build\\$arch\\bin\\Oriscope.dll"
    mkdir -p "$out"
    rm -f "$out"/oriscope-*.bmp "$out"/oriscope-*.png
    WINEPREFIX=$prefix timeout 30 wineserver -w 2>/dev/null || WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    displayFile=$(mktemp)
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$displayFile" 2>"$out/xvfb.log" &
    xvfbPid=$!
    for _ in $(seq 100); do
        [[ -s $displayFile ]] && break
        sleep 0.1
    done
    if [[ ! -s $displayFile ]]; then
        echo "run.sh: Xvfb did not start ($out/xvfb.log)" >&2
        rm -f "$displayFile"
        return 1
    fi
    local display=":$(head -n1 "$displayFile")"
    rm -f "$displayFile"
    DISPLAY=$display cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /s "$dll"
    DISPLAY=$display MIDLIB_SIM=${MIDLIB_SIM:-pace=30} ORISCOPE_WINE_TIMEOUT=60 \
        cmake/wine-run.sh build/$arch/bin/oriscope-view.exe --resolution 1 --snapshots "Z:${root//\//\\}\\$out"
    DISPLAY=$display cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /u /s "$dll"
    WINEPREFIX=$prefix timeout 30 wineserver -w 2>/dev/null || WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    stopViewerDisplay
    /usr/bin/python3 - "$out" <<'PYTHON'
import sys
from PIL import Image
for name in ("oriscope-view", "oriscope-page", "oriscope-still"):
    path = f"{sys.argv[1]}/{name}"
    with Image.open(path + ".bmp") as picture:
        picture.save(path + ".png")
        print(f"saved {path}.png ({picture.size[0]} x {picture.size[1]})")
PYTHON
}

echo "==== building vexa-grab and libvexalib.so (preset native) ===="
cmake --preset native >/dev/null
cmake --build --preset native --target vexa-grab
echo
echo "==== vexa-grab natively, through libvexalib.so ===="
build/native/bin/vexa-grab --out build/native/frames "$@"
outputs+=("native (libvexalib.so):      $root/build/native/frames")

if [[ ${ORISCOPE_RUN_WINDOWS:-1} != 0 ]]; then
    arch=${ORISCOPE_WINDOWS_ARCH:-}
    if [[ -n $arch ]]; then
        [[ $arch == win32 || $arch == win64 ]] || { echo "run.sh: ORISCOPE_WINDOWS_ARCH must be win32 or win64" >&2; exit 2; }
        why="ORISCOPE_WINDOWS_ARCH=$arch"
    elif canRun32Bit; then
        arch=win32
        why="this machine runs 32-bit programs"
    else
        arch=win64
        why="the 32-bit build cannot run here: $no32BitReason"
    fi
    bits=${arch#win}
    echo
    echo "==== Windows: the $bits-bit build (preset $arch), under $bits-bit Wine; $why ===="
    echo
    echo "==== building vexa-grab.exe and VEXALIB.dll (preset $arch) ===="
    cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch" --target vexa-grab
    echo
    echo "==== vexa-grab.exe under $bits-bit Wine, through the $bits-bit VEXALIB.dll ===="
    # The first run creates the build tree's Wine prefix (about 10 s).
    ORISCOPE_WINE_TIMEOUT=300 cmake/wine-run.sh build/$arch/bin/vexa-grab.exe --out build/$arch/frames "$@"
    outputs+=("Windows $bits-bit (VEXALIB.dll, Wine): $root/build/$arch/frames")

    echo
    echo "==== building oriscope-capture.exe and the DirectShow filter Oriscope.dll (preset $arch) ===="
    cmake --build --preset "$arch" --target oriscope oriscope-capture
    echo
    echo "==== oriscope-capture.exe under $bits-bit Wine, through Wine's DirectShow and Oriscope.dll ===="
    # Register the filter in the build tree's private prefix as an installer
    # would (regsvr32 wants the Windows path), capture, then unregister again.
    prefix=$root/build/$arch/wine-prefix
    dll="Z:${root//\//\\}\\build\\$arch\\bin\\Oriscope.dll"
    mkdir -p build/$arch/capture
    cmake/wine-run.sh build/$arch/bin/oriscope-capture.exe --list >/dev/null 2>&1 || true # creates the prefix
    cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /s "$dll"
    MIDLIB_SIM=${MIDLIB_SIM:-pace=30} cmake/wine-run.sh build/$arch/bin/oriscope-capture.exe --out build/$arch/capture
    cmake/wine-run.sh "$prefix/drive_c/windows/system32/regsvr32.exe" /u /s "$dll"
    outputs+=("Windows $bits-bit (Oriscope.dll, Wine DirectShow): $root/build/$arch/capture")

    echo
    echo "==== oriscope-view.exe, the camera viewer, under $bits-bit Wine on a virtual display ===="
    cmake --build --preset "$arch" --target oriscope oriscope-view
    runViewer
    outputs+=("Windows $bits-bit viewer (oriscope-view, Wine + Xvfb): $root/build/$arch/viewer/oriscope-view.png, oriscope-page.png")
fi

echo
echo "==== frames saved ===="
printf '%s\n' "${outputs[@]}"
