#!/usr/bin/env bash
# Sets up the machine, then configures, builds and tests each CMake preset
# (default: native asan tsan fuzz win64 win32) and prints a summary; non-zero if anything failed.
#
# Usage: scripts/test.sh [preset...]      e.g. scripts/test.sh native
# Which tests each preset runs is set by labels (cmake/Testing.cmake, CMakePresets.json):
# asan runs all but "noasan", tsan only "tsan", win64 and win32 run everything,
# their programs under Wine (label "wine"). The fuzz preset replays every fuzz
# target's corpus and fuzzes each briefly (scripts/fuzz.sh, ORISCOPE_CI_FUZZ_SECONDS,
# default 60 s); each target counts as one test.
# A machine that cannot execute 32-bit programs (or ORISCOPE_NO_32BIT=1) still
# configures and builds win32 in full and runs its checks that execute nothing;
# its Wine tests are reported as skipped, with the reason.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source cmake/wine-arch.sh
allPresets=(native asan tsan fuzz win64 win32)
presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=("${allPresets[@]}")
for preset in "${presets[@]}"; do
    if [[ ! " ${allPresets[*]} " =~ " $preset " ]]; then
        echo "test.sh: unknown preset '$preset' (known: ${allPresets[*]})" >&2
        exit 2
    fi
done

bash scripts/install-deps.sh || {
    echo "test.sh: installing the dependencies failed" >&2
    exit 1
}

# Headless unless a test asks for a display (see startDisplayIfNeeded).
unset DISPLAY WAYLAND_DISPLAY
xvfbPid=""
summary=()
skippedNotes=()
totalPassed=0
totalFailed=0
totalSkipped=0
status=0

# Asked once: whether the win32 programs can run here.
run32=true
if [[ " ${presets[*]} " =~ " win32 " ]] && ! canRun32Bit; then
    run32=false
    echo "test.sh: win32 is built and checked without running it; its Wine tests are skipped: $no32BitReason"
fi

# ctest's label filter for a preset: all tests, or none that run under Wine.
labelFilter() {
    if [[ $1 == win32 && $run32 == false ]]; then
        echo -LE '^wine$'
    fi
}

elapsed() {
    local seconds=$(($(date +%s) - $1))
    printf '%dm%02ds' $((seconds / 60)) $((seconds % 60))
}

# Tests labelled "gui" need an X display. Under Wine every program of the run
# must share one wineserver session started with that display, so the prefix's
# server is stopped first and Xvfb serves the whole ctest run.
startDisplayIfNeeded() {
    local preset=$1 count
    # shellcheck disable=SC2046
    count=$(ctest --preset "$preset" -N -L '^gui$' $(labelFilter "$preset") 2>/dev/null | sed -n 's/^Total Tests: //p')
    [[ ${count:-0} -gt 0 ]] || return 0
    local displayFile="build/$preset/xvfb-display"
    rm -f "$displayFile"
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$displayFile" 2>"build/$preset/xvfb.log" &
    xvfbPid=$!
    for _ in $(seq 100); do
        [[ -s $displayFile ]] && break
        sleep 0.1
    done
    [[ -s $displayFile ]] || {
        echo "test.sh: Xvfb did not start (build/$preset/xvfb.log)" >&2
        return 1
    }
    export DISPLAY=":$(head -n1 "$displayFile")"
    echo "test.sh: $count test(s) need a display; Xvfb on $DISPLAY"
    stopWineServer "$preset"
}

stopDisplay() {
    [[ -n $xvfbPid ]] || return 0
    kill "$xvfbPid" 2>/dev/null
    wait "$xvfbPid" 2>/dev/null
    xvfbPid=""
    unset DISPLAY
}

# Waits for the build tree's wineserver to exit (it lingers ~3 s after the last
# program) and kills it if it does not; touches only this prefix's server.
stopWineServer() {
    local prefix="$root/build/$1/wine-prefix"
    [[ -d $prefix ]] || return 0
    WINEPREFIX=$prefix timeout 30 wineserver -w 2>/dev/null || WINEPREFIX=$prefix wineserver -k 2>/dev/null
    return 0
}

# Counts the Wine tests a preset leaves out here and notes them, by name.
noteSkipped() {
    local preset=$1 names count
    [[ -n $(labelFilter "$preset") ]] || return 0
    names=$(ctest --preset "$preset" -N -L '^wine$' 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p')
    count=$(grep -c . <<<"$names")
    totalSkipped=$((totalSkipped + count))
    skippedCounts=", $count skipped"
    skippedNotes+=("$preset: $count Wine tests skipped ($no32BitReason): $(paste -sd ' ' <<<"$names")")
}

# The fuzz preset's "tests": a brief run of every target (its corpus first).
runFuzzTargets() {
    local log="build/fuzz/fuzz.log" rc total failed
    ORISCOPE_FUZZ_NO_BUILD=1 bash scripts/fuzz.sh all "${ORISCOPE_CI_FUZZ_SECONDS:-60}" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    total=$(bash scripts/fuzz.sh --list | grep -c .)
    failed=$(grep -c ' FINDING$' "$log")
    totalFailed=$((totalFailed + failed))
    totalPassed=$((totalPassed + total - failed))
    testCounts="$((total - failed))/$total targets passed"
    return "$rc"
}

runTests() {
    local preset=$1 log="build/$1/ctest.log" rc
    if [[ $preset == fuzz ]]; then
        runFuzzTargets
        return
    fi
    startDisplayIfNeeded "$preset" || return 1
    # shellcheck disable=SC2046
    ctest --preset "$preset" $(labelFilter "$preset") 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    [[ $preset == win* ]] && stopWineServer "$preset"
    stopDisplay
    noteSkipped "$preset"
    # "N% tests passed, F tests failed out of T"
    local counts
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log" | tail -n1)
    if [[ -n $counts ]]; then
        read -r failed total <<<"$counts"
        totalFailed=$((totalFailed + failed))
        totalPassed=$((totalPassed + total - failed))
        testCounts="$((total - failed))/$total passed${skippedCounts:-}"
    else
        testCounts="no test result"
    fi
    return "$rc"
}

runPreset() {
    local preset=$1 start stage
    start=$(date +%s)
    testCounts="-"
    skippedCounts=""
    echo
    echo "==== $preset: configure, build, test ===="
    for stage in configure build test; do
        case $stage in
        configure) cmake --preset "$preset" ;;
        build) cmake --build --preset "$preset" ;;
        test) runTests "$preset" ;;
        esac
        if [[ $? -ne 0 ]]; then
            summary+=("$(printf '%-7s FAILED at %-9s %-29s %s' "$preset" "$stage" "$testCounts" "$(elapsed "$start")")")
            status=1
            return
        fi
    done
    summary+=("$(printf '%-7s ok                  %-29s %s' "$preset" "$testCounts" "$(elapsed "$start")")")
}

trap 'stopDisplay' EXIT
runStart=$(date +%s)
for preset in "${presets[@]}"; do
    runPreset "$preset"
done

echo
echo "==== Summary ($(elapsed "$runStart")) ===="
printf '%s\n' "${summary[@]}"
[[ ${#skippedNotes[@]} -eq 0 ]] || printf '%s\n' "${skippedNotes[@]}"
[[ $status -eq 0 ]] && echo "ALL PRESETS PASSED" || echo "SOME PRESETS FAILED"
if [[ $totalSkipped -gt 0 ]]; then
    echo "tests: $totalPassed passed, $totalFailed failed, $totalSkipped skipped"
else
    echo "tests: $totalPassed passed, $totalFailed failed"
fi
exit $status
