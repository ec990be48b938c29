#!/usr/bin/env bash
# Builds the converter benchmark (Release, build/bench) and runs it; extra
# arguments go to the benchmark (e.g. --level=sse2, --benchmark_filter=half).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORISCOPE_BUILD_BENCH=ON \
    -DORISCOPE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target converter_bench
"$build/bin/converter_bench" --benchmark_min_time=0.5 "$@"
