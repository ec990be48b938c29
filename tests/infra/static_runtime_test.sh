#!/usr/bin/env bash
# Fails if any DLL or EXE of the Windows build imports a MinGW runtime DLL
# (libstdc++, libgcc, winpthread): those are linked in statically, since
# nothing is shipped beside our DLLs.
# Usage: static_runtime_test.sh <objdump> <directory with the .dll and .exe files>
set -u
objdump=$1
dir=$2
checked=0
bad=0
shopt -s nullglob
for file in "$dir"/*.dll "$dir"/*.exe; do
    checked=$((checked + 1))
    imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
    if grep -qiE '^(libstdc\+\+|libgcc|libwinpthread)' <<<"$imports"; then
        echo "FAILED: $(basename "$file") imports: $(grep -iE '^(libstdc|libgcc|libwinpthread)' <<<"$imports" | tr '\n' ' ')"
        bad=$((bad + 1))
    fi
done
echo "checked $checked programs and DLLs in $dir, $bad with runtime DLL imports"
[[ $checked -gt 0 && $bad -eq 0 ]]
