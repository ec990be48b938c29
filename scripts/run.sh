#!/usr/bin/env bash
# Sets up the machine, builds VEXALIB and its host program vexa-grab natively
# and for 32-bit Windows, and runs the main job: vexa-grab detects the
# simulated camera and saves a few colour frames as BMP files, first through
# libvexalib.so, then through VEXALIB.dll under Wine; then oriscope-capture
# registers the DirectShow filter Oriscope.dll with regsvr32, renders both of
# its pins in a Wine filter graph, saves preview frames and prints each pin's
# frame rate; last, oriscope-view shows the live picture and the property page
# on a virtual display (Xvfb) and saves pictures of both.
#
# Usage: scripts/run.sh [arguments for vexa-grab...]   e.g. scripts/run.sh --frames 3 --mode 1
# Environment: MIDLIB_SIM configures the simulated camera (see the README);
#              ORISCOPE_RUN_WINDOWS=0 skips the Windows build and run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
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
    local prefix=$root/build/win32/wine-prefix out=build/win32/viewer displayFile
    local dll="Z:${root//\//\\}\\build\\win32\\bin\\Oriscope.dll"
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
        cmake/wine-run.sh build/win32/bin/oriscope-view.exe --resolution 1 --snapshots "Z:${root//\//\\}\\$out"
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

    echo
    echo "==== oriscope-view.exe, the camera viewer, under Wine on a virtual display ===="
    cmake --build --preset win32 --target oriscope oriscope-view
    runViewer
    outputs+=("Windows viewer (oriscope-view, Wine + Xvfb): $root/build/win32/viewer/oriscope-view.png, oriscope-page.png")
fi

echo
echo "==== frames saved ===="
printf '%s\n' "${outputs[@]}"
