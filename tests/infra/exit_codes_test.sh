#!/usr/bin/env bash
# Checks that what a test program's end looks like reaches ctest: exit codes
# pass through the runner, a failing GoogleTest case gives a non-zero code, and
# under Wine a crash ends with an error code and a hang is killed.
# Usage: exit_codes_test.sh "<runner or empty>" <infra_exit program> <infra_smoke_test program>
set -u
runner=$1
exitProgram=$2
gtestProgram=$3
failures=0

run() {
    if [[ -n $runner ]]; then
        "$runner" "$@"
    else
        "$@"
    fi
}

expectCode() {
    local expected=$1 what=$2
    shift 2
    local start=$SECONDS
    run "$@" >"$PWD/exit_codes_test.out" 2>&1
    local rc=$?
    if [[ $rc -eq $expected ]]; then
        echo "ok: $what -> rc $rc ($((SECONDS - start)) s)"
    else
        echo "FAILED: $what -> rc $rc, expected $expected; output:"
        sed 's/^/    /' "$PWD/exit_codes_test.out"
        failures=$((failures + 1))
    fi
}

expectCode 0 "exit 0" "$exitProgram" code 0
expectCode 1 "exit 1" "$exitProgram" code 1
expectCode 3 "exit 3" "$exitProgram" code 3
expectCode 232 "exit 1000 (mod 256)" "$exitProgram" code 1000
expectCode 0 "passing GoogleTest case" "$gtestProgram" --gtest_filter=Deliberate.* --gtest_color=no
ORISCOPE_INFRA_FAIL=1 expectCode 1 "failing GoogleTest case" \
    "$gtestProgram" --gtest_filter=Deliberate.* --gtest_color=no

if [[ -n $runner ]]; then
    # An access violation: winedbg prints a backtrace and the run ends with 5,
    # without waiting on a crash dialog.
    expectCode 5 "crash" "$exitProgram" crash
    ORISCOPE_WINE_TIMEOUT=3 expectCode 124 "hang killed by the runner's timeout" "$exitProgram" hang
    expectCode 1 "missing program" "$(dirname "$exitProgram")/no-such-program.exe"
fi

echo "exit code checks: $failures failed"
[[ $failures -eq 0 ]]
