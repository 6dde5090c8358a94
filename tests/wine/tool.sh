#!/bin/sh
# The real korvanta.exe on Wine's machine.
#   tool.sh WINE_RUN KORVANTA_EXE HOLD_MUTEX_EXE CASE
# Wine has no USB drive and reports guest privilege for the current account, so the tool
# takes the user-mode road and finds nothing. Wine's own messages share the standard error
# with the tool's, so a case that checks it looks for the tool's line among them.
set -u
run=$1 exe=$2 holder=$3 case=$4
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$out"; echo "--- stderr"; tail -n 20 "$err"; exit 1; }
switch() {
    if [ "$1" = absent ]; then
        "$run" reg delete 'HKLM\SOFTWARE\ZUDUZA' /f >/dev/null 2>&1 || true
    else
        "$run" reg add 'HKLM\SOFTWARE\ZUDUZA' /v ShowDebugMsg /t REG_DWORD /d "$1" /f >/dev/null 2>&1 ||
            fail "reg add"
    fi
}
trace_text='user mode request Disk Letter List'
usage='usage: korvanta [E: | --all] [--wait[=SECONDS]] | --list | --info E: | --help | --version'

case $case in
no-drive|all-no-drive|wait-no-drive)
    switch absent
    case $case in all-no-drive) set -- --all ;; wait-no-drive) set -- --wait ;; *) set -- ;; esac
    "$run" "$exe" "$@" >"$out" 2>"$err"; rc=$?
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    printf 'No USB drive detected.\n' | cmp -s - "$out" || fail "console output"
    ;;
second-instance)
    "$run" "$holder" "$(winpath "$exe")" >"$out" 2>"$err"; rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1"
    [ ! -s "$out" ] || fail "a second instance printed something"
    ;;
trace-on|trace-off|trace-absent)
    case $case in trace-on) switch 1 ;; trace-off) switch 0 ;; *) switch absent ;; esac
    WINEDEBUG=-all,+debugstr "$run" "$exe" >"$out" 2>"$err"; rc=$?
    switch absent
    [ $rc -eq 0 ] || fail "exit code $rc"
    if [ "$case" = trace-on ]; then
        grep -q "OutputDebugStringA \"$trace_text\"" "$err" || fail "trace text missing"
    else
        ! grep -q "$trace_text" "$err" || fail "trace text present with the switch off"
    fi
    ;;
help)
    "$run" "$exe" --help >"$out" 2>"$err"; rc=$?
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    [ "$(head -n 1 "$out")" = "$usage" ] || fail "the usage is not the first line"
    grep -q "^--info sends the controller's vendor commands" "$out" || fail "no word on --info"
    grep -q '^  --wait\[=N\]  ' "$out" || fail "no word on --wait"
    ! grep -q "$usage" "$err" || fail "usage on standard error"
    ;;
version)
    "$run" "$exe" --version >"$out" 2>"$err"; rc=$?
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    [ "$(wc -l <"$out")" -eq 1 ] || fail "expected one line"
    grep -Eqx 'Korvanta [0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?' "$out" || fail "no version line"
    ;;
list)
    "$run" "$exe" --list >"$out" 2>"$err"; rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1 (no drive)"
    [ ! -s "$out" ] || fail "listed something on a machine without USB drives"
    ;;
wrong-argument)
    "$run" "$exe" --lst >"$out" 2>"$err"; rc=$?
    [ $rc -eq 2 ] || fail "exit code $rc, expected 2"
    [ ! -s "$out" ] || fail "printed on standard output"
    grep -qxF "$usage" "$err" || fail "no usage line on standard error"
    ;;
*)
    echo "unknown case $case"; exit 2 ;;
esac
echo "ok: $case"
