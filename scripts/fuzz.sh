#!/usr/bin/env bash
# Runs the fuzz targets: libFuzzer programs built by clang under the address
# and undefined-behaviour sanitizers (preset "fuzz"), one per input boundary.
#
# Usage: scripts/fuzz.sh --list                 the target names, one a line
#        scripts/fuzz.sh [target|all] [seconds]  default: all, 600 s each
# Each target first runs every input of its corpus (tests/fuzz/corpus/<target>,
# the seeds and every input that ever found a fault), then fuzzes for the
# given time. Targets run side by side, as many at once as the machine has
# cores (ORISCOPE_FUZZ_JOBS overrides). New inputs collect in
# build/fuzz/corpus/<target>, logs in build/fuzz/logs; a finding (a sanitizer
# report, a failed check, a hang past 30 s, a leak, memory past 2.5 GB) is
# saved in build/fuzz/findings and printed with the command that replays it.
# Prints one line of figures per target; exit status 1 on any finding.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
targets=(converter still sim_input vexalib)

if [[ ${1:-} == --list ]]; then
    printf '%s\n' "${targets[@]}"
    exit 0
fi
chosen=${1:-all}
seconds=${2:-600}
if [[ $chosen == all ]]; then
    run=("${targets[@]}")
elif [[ " ${targets[*]} " =~ " $chosen " ]]; then
    run=("$chosen")
else
    echo "fuzz.sh: unknown target '$chosen' (scripts/fuzz.sh --list names them)" >&2
    exit 2
fi
if ! [[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]]; then
    echo "fuzz.sh: seconds must be a positive whole number, not '$seconds'" >&2
    exit 2
fi

if [[ ${ORISCOPE_FUZZ_NO_BUILD:-0} != 1 ]]; then
    bash scripts/install-deps.sh || {
        echo "fuzz.sh: installing the dependencies failed" >&2
        exit 1
    }
    { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; } || {
        echo "fuzz.sh: building the fuzz targets failed" >&2
        exit 1
    }
fi

out=build/fuzz
mkdir -p "$out/logs" "$out/findings"
jobs=${ORISCOPE_FUZZ_JOBS:-$(nproc)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

fuzzOne() {
    local target=$1 corpus="$out/corpus/$1" log="$out/logs/$1.log"
    mkdir -p "$corpus"
    rm -f "$out/findings/$target-"*
    # Wall-clock bound beyond libFuzzer's own: its start-up replay of a large
    # corpus and a final leak check are not part of max_total_time.
    timeout --kill-after=30 $((seconds + 300)) "$out/bin/fuzz_$target" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$out/findings/$target-" "$corpus" \
        "tests/fuzz/corpus/$target" >"$log" 2>&1
    echo $? >"$out/logs/$target.rc"
}

echo "fuzz.sh: ${run[*]}, $seconds s each, $jobs at a time (logs in $out/logs)"
running=0
for target in "${run[@]}"; do
    fuzzOne "$target" &
    running=$((running + 1))
    if [[ $running -ge $jobs ]]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
# edges: the code edges the inputs reached, of all edges instrumented in the program.
printf '%-10s %8s %12s %12s %9s %10s  %s\n' target seconds inputs edges features corpus result
for target in "${run[@]}"; do
    log="$out/logs/$target.log"
    rc=$(cat "$out/logs/$target.rc" 2>/dev/null || echo 1)
    inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    stats=$(grep -E '^#[0-9]+' "$log" | grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*/[0-9a-zA-Z]*' | tail -n1)
    read -r _ cov _ features _ corpus <<<"${stats:-- - - - - -}"
    edges=$(sed -n 's/^INFO: Loaded [0-9]* modules* *(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log" | head -n1)
    findings=$(ls "$out/findings/$target-"* 2>/dev/null)
    if [[ $rc -eq 0 && -z $findings ]]; then
        result=ok
    else
        result=FINDING
        status=1
    fi
    printf '%-10s %8s %12s %12s %9s %10s  %s\n' "$target" "$seconds" "${inputs:--}" "$cov/${edges:--}" "$features" \
        "$corpus" "$result"
    if [[ $result != ok ]]; then
        grep -E 'ERROR:|SUMMARY:|fuzz check failed|runtime error' "$log" | head -n 5 | sed 's/^/    /'
        for finding in $findings; do
            echo "    replay: $out/bin/fuzz_$target $finding"
        done
        [[ -n $findings ]] || echo "    exit status $rc, see $log"
    fi
done
exit $status
