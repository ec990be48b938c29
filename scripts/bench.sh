#!/usr/bin/env bash
# Converter benchmark, one command: builds build/bench (Release, native) and
# runs converter_bench (Google Benchmark, OpenCV and memory-floor baselines,
# summary table at the end). With --wine it then builds the Windows timing
# program for 64-bit and 32-bit Windows (build/bench-win64, build/bench-win32)
# and runs each under Wine, comparing with the OpenCV times of the native run;
# the 32-bit one only where this machine can execute 32-bit programs.
# Other arguments go to the benchmark, e.g. --level=sse2 or --benchmark_filter=half.
# After the converter, each run times VEXALIB's 24-bit colour frames against
# the default conversion (vexa_bench natively, vexa_timing under Wine); those
# take no arguments: the library picks its own kernels.
#
# --graph runs only the graph benchmark instead: the filter in a real Wine
# graph (bench/graph_bench.cpp) from build/bench-win64 and, where 32-bit
# programs run, build/bench-win32; other arguments go to it (--seconds=N).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/cmake/wine-arch.sh"

# Configures and builds the Windows bench build of $1 (win64 or win32) for the
# targets after it; sets `windows` to its directory.
buildWindowsBench() {
    local arch=$1 toolchain=$root/cmake/mingw-x86_64.cmake
    shift
    [[ $arch == win32 ]] && toolchain=$root/cmake/mingw-i686.cmake
    windows=$root/build/bench-$arch
    cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORISCOPE_BUILD_BENCH=ON \
        -DORISCOPE_BUILD_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    cmake --build "$windows" -j2 --target "$@" >/dev/null
}

# The graph benchmark under Wine for each Windows architecture. It loads
# Oriscope.dll from beside itself, so nothing is registered in the prefix.
runGraphBench() {
    local arch bits
    for arch in win64 win32; do
        bits=${arch#win}
        if [[ $arch == win32 ]] && ! canRun32Bit; then
            echo "32-bit Windows build: not run, $no32BitReason"
            continue
        fi
        buildWindowsBench "$arch" graph_bench
        echo "$bits-bit Windows build under $bits-bit Wine:"
        "$root/cmake/wine-run.sh" "$windows/bin/graph_bench.exe" "$@"
        echo
    done
}
graphArgs=()
for a in "$@"; do
    [[ $a == --graph ]] || graphArgs+=("$a")
done
if ((${#graphArgs[@]} < $#)); then
    runGraphBench "${graphArgs[@]}"
    exit
fi
wine=0
args=()
for a in "$@"; do
    if [[ $a == --wine ]]; then wine=1; else args+=("$a"); fi
done

native=$root/build/bench
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORISCOPE_BUILD_BENCH=ON \
    -DORISCOPE_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target converter_bench vexa_bench >/dev/null
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$native/bin/converter_bench" --benchmark_min_time=0.5 "${args[@]}" | tee "$log"
echo
"$native/bin/vexa_bench"

if ((wine)); then
    opencv=$(sed -n 's/^opencv-times: //p' "$log")
    levels=()
    for a in "${args[@]}"; do [[ $a == --level=* ]] && levels+=("$a"); done
    for arch in win64 win32; do
        bits=${arch#win}
        echo
        if [[ $arch == win32 ]] && ! canRun32Bit; then
            echo "32-bit Windows build: not timed, $no32BitReason"
            continue
        fi
        buildWindowsBench "$arch" converter_timing vexa_timing
        echo "$bits-bit Windows build under $bits-bit Wine (OpenCV times from the native run above):"
        "$root/cmake/wine-run.sh" "$windows/bin/converter_timing.exe" --opencv="$opencv" "${levels[@]}"
        "$root/cmake/wine-run.sh" "$windows/bin/vexa_timing.exe"
    done
fi
