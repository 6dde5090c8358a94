#!/bin/sh
# Checks the import table and the version fields of a built korvanta.exe against the
# reviewed list of its imports (win/korvanta.imports):
#   check_imports.sh OBJDUMP EXE LIST libraries   every imported library has a `library`
#                                                 line (the static-import rule)
#   check_imports.sh OBJDUMP EXE LIST functions   every imported function has a line, and
#                                                 none is newer than Windows XP SP3
#   check_imports.sh OBJDUMP EXE LIST os-version  the header asks for no OS or subsystem
#                                                 version above 5.1 (Windows XP)
set -u
objdump=$1 exe=$2 list=$3 mode=$4
fail() { echo "FAIL: $*"; exit 1; }
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$exe" >"$dump" || fail "objdump"
[ -r "$list" ] || fail "cannot read $list"

# "DLL function" pairs of the import table: objdump lists each library's functions under
# its "DLL Name:" line as "<address> <hint> <name>", up to the next empty line.
imports() {
    awk '/^[[:space:]]*DLL Name: / { dll = $3; next }
         /^[[:space:]]*$/ { dll = "" }
         dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 { print dll, $3 }' "$dump"
}

case $mode in
libraries)
    count=0
    for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' "$dump"); do
        grep -Eq "^library[[:space:]]+$dll[[:space:]]" "$list" ||
            fail "imports $dll, which the list does not allow as a static import"
        count=$((count + 1))
    done
    echo "ok: $count libraries, each allowed"
    ;;
functions)
    out=$(imports | awk -v list="$list" '
        BEGIN {
            split("2000 XP XPSP1 XPSP2 XPSP3", ok, " "); for (k in ok) accepted[ok[k]] = 1
            while ((getline line < list) > 0) {
                if (line ~ /^#/ || line ~ /^library / || line ~ /^[[:space:]]*$/) continue
                split(line, f, /[[:space:]]+/); since[f[1] " " f[2]] = f[3]
            }
        }
        { n++; key = $1 " " $2
          if (!(key in since)) { print "FAIL: " key " is not in the list"; bad = 1 }
          else if (!(since[key] in accepted)) { print "FAIL: " key " needs Windows " since[key]; bad = 1 } }
        END { if (!bad) print "ok: " n " functions, none newer than Windows XP SP3"; exit bad }')
    status=$?
    echo "$out"
    exit $status
    ;;
os-version)
    field() { sed -n "s/^$1[[:space:]]*//p" "$dump"; }
    for kind in OSystem Subsystem; do
        major=$(field "Major${kind}Version") minor=$(field "Minor${kind}Version")
        [ -n "$major" ] && [ -n "$minor" ] || fail "no $kind version in the header"
        [ $((major * 100 + minor)) -le 501 ] || fail "$kind version $major.$minor is above 5.1"
        echo "$kind version $major.$minor"
    done
    echo "ok: starts on Windows XP"
    ;;
*) fail "unknown mode $mode" ;;
esac
