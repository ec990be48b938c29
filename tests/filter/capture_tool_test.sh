#!/usr/bin/env bash
# oriscope-capture's control and format options against the registered
# filter: --controls lists gain, exposure and the capture formats, --format
# makes the capture pin deliver samples of exactly that size, --stills N
# saves N full-size stills from the still pin, and a refused format or gain
# fails with a message.
#
# Usage: capture_tool_test.sh <wine-run.sh> <bin directory>
set -uo pipefail
run=$1
bin=$(cd "$2" && pwd)
prefix=$(dirname "$bin")/wine-prefix
regsvr32=$prefix/drive_c/windows/system32/regsvr32.exe
dll="Z:${bin//\//\\}\\Oriscope.dll"
tool=$bin/oriscope-capture.exe
export MIDLIB_SIM="sensor=1 pace=free static=1"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect <rc wanted: 0 or nonzero> <texts the output must hold...> -- <arguments>
expect() {
    local want=$1 texts=() text output rc
    shift
    while [[ $1 != -- ]]; do
        texts+=("$1")
        shift
    done
    shift
    output=$(ORISCOPE_WINE_TIMEOUT=60 "$run" "$tool" "$@" 2>&1)
    rc=$?
    echo "--- oriscope-capture $* (rc $rc)"
    echo "$output" | grep -v winediag
    if [[ $want == 0 && $rc != 0 ]] || [[ $want != 0 && $rc == 0 ]]; then
        fail "$*: rc $rc"
    fi
    for text in "${texts[@]}"; do
        grep -qF -- "$text" <<<"$output" || fail "$*: no \"$text\""
    done
}

"$run" "$tool" --list >/dev/null 2>&1 # creates the prefix on first use
"$run" "$regsvr32" /s "$dll" || { echo "FAIL: cannot register $dll"; exit 1; }

expect 0 "Gain         min 0, max 99, step 1, default 25, flags manual" "Exposure     min -13, max 0" \
    "  0: 1280x1024" "  2: 320x256" -- --controls
expect 0 "gain set to 40" "Capture  pin: 640 x 512 RGB32 (1310720-byte samples)" -- --format 1 --gain 40 --seconds 1 --frames 0
expect 0 "exposure set to -5" "Capture  pin: 320 x 256 RGB32 (327680-byte samples)" -- --format 320x256 --exposure -5 \
    --seconds 1 --frames 0
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
expect 0 "Capture  pin: 1280 x 1024 RGB32 (5242880-byte samples)" "Still    pin: 1280 x 1024 RGB32, 3 stills of 3 triggered" \
    -- --format 1280x1024 --stills 3 --seconds 2 --frames 0 --out "Z:${out//\//\\}"
for still in 1 2 3; do
    size=$(stat -c %s "$out/still-$still.bmp" 2>/dev/null)
    [[ $size == 3932214 ]] || fail "still-$still.bmp: ${size:-missing} bytes, not 3932214 (1280 x 1024, 24-bit)"
done
expect 1 "  0: 1280x1024" -- --format 1600x1200
expect 1 "gain 150 refused: the range is 0 to 99" -- --gain 150
expect 1 "usage:" -- --exposure fast

"$run" "$regsvr32" /u /s "$dll"
[[ $failures == 0 ]] && echo "all passed"
exit $((failures > 0))
