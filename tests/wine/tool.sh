#!/bin/sh
# The real korvanta.exe on Wine's machine.
#   tool.sh WINE_RUN KORVANTA_EXE HOLD_MUTEX_EXE CASE
# Wine has no USB drive and reports guest privilege for the current account, so the tool
# takes the user-mode road and finds nothing. Wine's own messages share the standard error
# with the tool's, so a case that checks it looks for the tool's line among them.
# The trace cases write the switch in a view of the registry: the program's own (plain),
# the 32-bit one (/reg:32, redirected to SOFTWARE\WOW6432Node on 64-bit Windows), the
# 64-bit one (/reg:64), or the literal path SOFTWARE\Wow6432Node\ZUDUZA.
set -u
run=$1 exe=$2 holder=$3 case=$4
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$out"; echo "--- stderr"; tail -n 20 "$err"; exit 1; }
key='HKLM\SOFTWARE\ZUDUZA'
literal='HKLM\SOFTWARE\Wow6432Node\ZUDUZA'
switch() {  # KEY VALUE [VIEW]
    "$run" reg add "$1" /v ShowDebugMsg /t REG_DWORD /d "$2" /f ${3:-} >/dev/null 2>&1 ||
        fail "reg add $1 ${3:-}"
}
# Removes the switch from every view (on 32-bit Windows they are one).
clear_switch() {
    for view in /reg:32 /reg:64; do
        "$run" reg delete "$key" /f $view >/dev/null 2>&1 || true
    done
    "$run" reg delete "$literal" /f >/dev/null 2>&1 || true
}
trace_text='user mode request Disk Letter List'
usage='usage: korvanta [TARGET... | --all] [--wait[=SECONDS]] | --list | --info E: | --help | --version'

case $case in
no-drive|all-no-drive|wait-no-drive)
    clear_switch
    case $case in all-no-drive) set -- --all ;; wait-no-drive) set -- --wait ;; *) set -- ;; esac
    start=$(date +%s)
    "$run" "$exe" "$@" >"$out" 2>"$err"; rc=$?
    # With its output redirected the run keeps no window: it ends once it has reported.
    [ $(($(date +%s) - start)) -lt 30 ] || fail "the run waited after its report"
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    printf 'No USB drive detected.\n' | cmp -s - "$out" || fail "console output"
    ;;
second-instance)
    "$run" "$holder" "$(winpath "$exe")" >"$out" 2>"$err"; rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1"
    [ ! -s "$out" ] || fail "a second instance printed something"
    ;;
trace-*)
    clear_switch
    expect=none
    case $case in
    trace-on) switch "$key" 1; expect=trace ;;
    trace-off) switch "$key" 0 ;;
    trace-absent) ;;
    trace-32-view) switch "$key" 1 /reg:32; expect=trace ;;
    trace-64-view)  # the fallback to the 64-bit view
        switch "$key" 1 /reg:64; expect=trace
        ! "$run" reg query "$key" /reg:32 >/dev/null 2>&1 || fail "one view: no fallback to test" ;;
    trace-32-view-wins) switch "$key" 0 /reg:32; switch "$key" 1 /reg:64 ;;
    trace-wow6432node) switch "$literal" 1 ;;
    *) echo "unknown case $case"; exit 2 ;;
    esac
    WINEDEBUG=-all,+debugstr "$run" "$exe" >"$out" 2>"$err"; rc=$?
    clear_switch
    [ $rc -eq 0 ] || fail "exit code $rc"
    if [ $expect = trace ]; then
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
help-switch)  # the help switch of every Windows program
    "$run" "$exe" '/?' >"$out" 2>"$err"; rc=$?
    [ $rc -eq 0 ] || fail "exit code $rc, expected 0"
    [ "$(head -n 1 "$out")" = "$usage" ] || fail "the usage is not the first line"
    grep -q '^A TARGET is a drive letter' "$out" || fail "no word on the targets"
    ;;
no-such)  # a name no drive has: Wine has no USB drive at all
    "$run" "$exe" "NO SUCH" >"$out" 2>"$err"; rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1"
    printf 'No USB drive matches "NO SUCH".\n' | cmp -s - "$out" || fail "console output"
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
