#!/bin/sh
# Prints the size of a built executable, and how it stands against a size aim when one is
# given, and checks that it ships without symbols or debug sections.
#   check_size.sh OBJDUMP EXE [AIM_BYTES]
set -u
objdump=$1 exe=$2 aim=${3:-0}
fail() { echo "FAIL: $*"; exit 1; }

size=$(wc -c <"$exe") || fail "cannot read $exe"
echo "$(basename "$exe"): $size bytes ($(( (size + 1023) / 1024 )) KiB)"

sections=$("$objdump" -h "$exe") || fail "objdump -h"
debug=$(echo "$sections" | awk '$2 ~ /^\.(z)?debug|^\.stab/ {print $2}')
[ -z "$debug" ] || fail "debug sections: $(echo $debug)"
"$objdump" -t "$exe" | grep -q "^no symbols" || fail "the symbol table is still there"
# The aim is a figure to watch, not a gate: the SDK grows, and the output says by how much
# it has passed the aim.
if [ "$aim" -gt 0 ]; then
    if [ "$size" -le "$aim" ]; then
        echo "within the aim of $aim bytes by $((aim - size))"
    else
        echo "NOTE: over the aim of $aim bytes by $((size - aim))"
    fi
fi
echo "ok: no symbols, no debug sections"
