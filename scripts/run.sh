#!/usr/bin/env bash
# Sets up the machine, builds the native preset and runs the main job,
# oriscope-probe, on the simulated camera (configure it with MIDLIB_SIM).
# Usage: scripts/run.sh [arguments for oriscope-probe...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native

probe=build/native/bin/oriscope-probe
if [[ -x $probe ]]; then
    exec "$probe" "$@"
fi
echo "run.sh: built; $probe does not exist yet (tools/ has no probe program), nothing to run"
