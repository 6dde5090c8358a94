#!/bin/sh
# The hand-over to a copy in the temporary folder, on Wine's machine: the probe lies on Z:,
# copies itself to the temporary folder (on C:, in a folder whose name holds Cyrillic and
# Chinese letters), starts the copy and ends; the copy waits for it and leaves a note; a last
# run reads the note and sweeps the copy, which has ended.
#   relaunch.sh WINE_RUN RELAUNCH_PROBE_EXE
set -u
run=$1 probe=$2
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$out"; echo "--- stderr"; tail -n 20 "$err"; exit 1; }

"$run" "$probe" >"$out" 2>"$err"; rc=$?
[ $rc -eq 0 ] || fail "the original exited with $rc"
[ ! -s "$out" ] || fail "the original printed something"

# Wine's console output ends its lines with CR LF.
"$run" "$probe" --list 2>"$err" | tr -d '\r' >"$out"
grep -q . "$out" || fail "no output"
grep -qx 'copy named in the temporary folder, original ended' "$out" || fail "the copy's note"
grep -qx 'temporary folder outside the ANSI code page: yes' "$out" || fail "an ASCII folder"
grep -qx 'copies before the sweep: 1' "$out" || fail "the copy is not where it was made"
grep -qx 'copies after the sweep: 0' "$out" || fail "the ended copy was not swept"
echo "ok: relaunch"
