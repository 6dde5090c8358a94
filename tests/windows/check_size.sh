#!/bin/sh
# Prints the size of a built executable and checks that it ships without symbols or debug
# sections and, when a limit is given, within that many bytes.
#   check_size.sh OBJDUMP EXE [LIMIT_BYTES]
set -u
objdump=$1 exe=$2 limit=${3:-0}
fail() { echo "FAIL: $*"; exit 1; }

size=$(wc -c <"$exe") || fail "cannot read $exe"
echo "$(basename "$exe"): $size bytes ($(( (size + 1023) / 1024 )) KiB)"

sections=$("$objdump" -h "$exe") || fail "objdump -h"
debug=$(echo "$sections" | awk '$2 ~ /^\.(z)?debug|^\.stab/ {print $2}')
[ -z "$debug" ] || fail "debug sections: $(echo $debug)"
"$objdump" -t "$exe" | grep -q "^no symbols" || fail "the symbol table is still there"
if [ "$limit" -gt 0 ] && [ "$size" -gt "$limit" ]; then
    fail "larger than $limit bytes"
fi
echo "ok: no symbols, no debug sections"
