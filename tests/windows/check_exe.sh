#!/bin/sh
# Checks a built korvanta.exe: the expected PE format, the console subsystem, the ejection
# request imported from setupapi (which every Windows and Wine exports), and the manifest
# and version resources. check_imports.sh checks which libraries it imports from.
#   check_exe.sh OBJDUMP EXE FORMAT      (FORMAT: pei-i386 or pei-x86-64)
set -u
objdump=$1 exe=$2 format=$3
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$exe" >"$dump" || { echo "FAIL: objdump"; exit 1; }
fail() { echo "FAIL: $*"; exit 1; }

grep -q "file format $format" "$dump" || fail "not $format"
grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]+\(Windows CUI\)' "$dump" || fail "not a console program"

# The import of each DLL is listed under its name; the ejection request must come from
# setupapi, whose CM_* exports exist everywhere.
awk '/DLL Name:/ {dll=$3} /CM_Request_Device_EjectW/ {print dll}' "$dump" | grep -qx 'SETUPAPI.dll' ||
    fail "CM_Request_Device_EjectW is not imported from SETUPAPI.dll"

# Resource types sit at the first level of the resource directory: 16 is RT_VERSION and
# 24 is RT_MANIFEST.
types=$(sed -n 's/^[0-9a-f]*   Entry: ID: 0x0*\([0-9a-f]*\),.*/\1/p' "$dump")
echo "$types" | grep -qx 18 || fail "no manifest resource"
echo "$types" | grep -qx 10 || fail "no version resource"
echo "ok: $exe"
