#!/usr/bin/env bash
# Converter benchmark, one command: builds build/bench (Release, native) and
# runs converter_bench (Google Benchmark, OpenCV and memory-floor baselines,
# summary table at the end). With --wine it then builds the 32-bit Windows
# timing program in build/bench-win32 and runs it under Wine, comparing with
# the OpenCV times of the native run.
# Other arguments go to the benchmark, e.g. --level=sse2 or --benchmark_filter=half.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine=0
args=()
for a in "$@"; do
    if [[ $a == --wine ]]; then wine=1; else args+=("$a"); fi
done

native=$root/build/bench
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORISCOPE_BUILD_BENCH=ON \
    -DORISCOPE_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target converter_bench >/dev/null
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$native/bin/converter_bench" --benchmark_min_time=0.5 "${args[@]}" | tee "$log"

if ((wine)); then
    windows=$root/build/bench-win32
    cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORISCOPE_BUILD_BENCH=ON \
        -DORISCOPE_BUILD_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$windows" -j2 --target converter_timing >/dev/null
    opencv=$(sed -n 's/^opencv-times: //p' "$log")
    echo
    echo "32-bit Windows build under Wine (OpenCV times from the native run above):"
    levels=()
    for a in "${args[@]}"; do [[ $a == --level=* ]] && levels+=("$a"); done
    "$root/cmake/wine-run.sh" "$windows/bin/converter_timing.exe" --opencv="$opencv" "${levels[@]}"
fi
