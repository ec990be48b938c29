#!/usr/bin/env bash
# Checks that the layers include each other in one direction only:
#   - filter/ (outside its framework) uses only the control layer's public
#     headers (control/include, control/public);
#   - control/ reaches the filter only through filter/camera_filter.h and
#     the framework;
#   - filter/framework/ holds no product code: it includes nothing of the
#     filter, the control layer, the engine, the converter or the exports.
# Usage: layers_test.sh <source root>
set -u
root=${1:?source root}
cd "$root" || exit 2
failures=0

# Prints "file:line: include" for each quoted include in the files under
# $1 (minus the paths matching $2) that names a header under $3 and does
# not match the allowed pattern $4.
offending() {
    local dir=$1 skip=$2 layer=$3 allowed=$4
    find "$dir" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc' \) | grep -Ev "$skip" |
        sort | xargs grep -Hn "^#include \"$layer" 2>/dev/null | grep -Ev "$allowed"
}

check() {
    local rule=$1 found
    found=$(offending "$2" "$3" "$4" "$5")
    if [[ -n $found ]]; then
        echo "FAIL: $rule"
        echo "$found" | sed 's/^/  /'
        failures=$((failures + 1))
    else
        echo "ok: $rule"
    fi
}

check "filter/ includes only the control layer's public headers" \
    filter '^filter/framework/' 'control/' '#include "control/(include|public)/'
check "control/ reaches the filter only through camera_filter.h and the framework" \
    control '^$' 'filter/' '#include "filter/(camera_filter\.h|framework/)'
for layer in filter/ control/ engine/ imaging/ exported/ sim/; do
    check "filter/framework/ includes nothing from $layer" \
        filter/framework '^$' "$layer" '#include "filter/framework/'
done

# The checks themselves must see includes: the control layer does include
# the filter's interface.
if ! grep -q '#include "filter/camera_filter.h"' control/filter_interface.h; then
    echo "FAIL: the include scan found no include it expected"
    failures=$((failures + 1))
fi
exit $((failures > 0))
