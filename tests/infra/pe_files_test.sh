#!/usr/bin/env bash
# Checks the built Windows files without running any of them, so it holds on
# machines that cannot execute them:
#  - every DLL and EXE is a PE of the build's architecture;
#  - none imports a MinGW runtime DLL (libstdc++, libgcc, winpthread): those
#    are linked in statically, since nothing is shipped beside our DLLs;
#  - VEXALIB.dll exports exactly the 26 plain names of VEXALIB.def at their
#    ordinals 1-26; Oriscope.dll exports the four COM entry points; midlib.dll
#    exports the imaging-library contract by its plain names.
# Usage: pe_files_test.sh <objdump> <win32|win64> <bin directory> <VEXALIB.def>
set -u
objdump=$1
arch=$2
dir=$3
def=$4
source "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-arch.sh"
command -v winedump >/dev/null || { echo "FAILED: winedump not found (package wine64-tools)"; exit 1; }
checked=0
bad=0

fail() {
    echo "FAILED: $*"
    bad=$((bad + 1))
}

# "ordinal name" lines of a DLL's export table.
exportsOf() {
    winedump -j export "$1" | awk '/Entry Pt +Ordn +Name/ { table = 1; next } table && NF == 3 && $2 ~ /^[0-9]+$/ { print $2, $3 }'
}

# Exits 0 when every name given is exported by the DLL.
expectExports() {
    local dll=$dir/$1 name exports
    shift
    [[ -f $dll ]] || { fail "$(basename "$dll") was not built"; return; }
    exports=$(exportsOf "$dll" | awk '{ print $2 }')
    for name in "$@"; do
        grep -qx "$name" <<<"$exports" || fail "$(basename "$dll") does not export $name"
    done
}

shopt -s nullglob
for file in "$dir"/*.dll "$dir"/*.exe; do
    checked=$((checked + 1))
    fileArch=$(peArchitecture "$file") || fileArch="not a PE file"
    [[ $fileArch == "$arch" ]] || fail "$(basename "$file") is $fileArch, expected $arch"
    imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
    runtime=$(grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$imports" | tr '\n' ' ')
    [[ -z $runtime ]] || fail "$(basename "$file") imports: $runtime"
done
echo "checked $checked programs and DLLs in $dir: architecture $arch, no runtime DLL imports"

expected=$(sed -n 's/^ *\(Vexa[A-Za-z]*\)@[0-9]* @\([0-9]*\)$/\2 \1/p' "$def" | sort -n)
if [[ -f $dir/VEXALIB.dll ]]; then
    actual=$(exportsOf "$dir/VEXALIB.dll" | sort -n)
    if [[ $(wc -l <<<"$expected") -ne 26 || $expected != "$actual" ]]; then
        fail "VEXALIB.dll's export table differs from the 26 ordinals and names of VEXALIB.def:"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
    else
        echo "VEXALIB.dll exports the 26 functions by their plain names at ordinals 1-26"
    fi
else
    fail "VEXALIB.dll was not built"
fi
expectExports Oriscope.dll DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer
expectExports midlib.dll mi_OpenCameras mi_CloseCameras

echo "PE file checks: $bad failed"
[[ $checked -gt 0 && $bad -eq 0 ]]
