#!/usr/bin/env bash
# Checks that the shared library's dynamic symbol table defines exactly the
# functions the Windows .def exports, under the same plain names.
# Usage: export_names_test.sh <libvexalib.so> <VEXALIB.def>
set -euo pipefail
library=$1
def=$2
expected=$(sed -n 's/^ *\(Vexa[A-Za-z]*\)@[0-9]* @[0-9]*$/\1/p' "$def" | sort)
actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWiDdBbRrVv]$/ { print $3 }' | sort)
count=$(wc -l <<<"$expected")
if [[ $count -ne 26 ]]; then
    echo "export_names_test: found $count names in $def, expected 26" >&2
    exit 1
fi
if [[ $expected != "$actual" ]]; then
    echo "export_names_test: $library exports differ from $def" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
echo "export_names_test: $library exports the 26 names of $def and nothing else"
