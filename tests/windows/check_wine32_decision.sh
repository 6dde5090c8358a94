#!/bin/sh
# The decision whether this machine runs 32-bit programs, taken when a build tree is
# configured, against two stand-ins for the 32-bit Wine loader: one the kernel refuses as it
# does where its 32-bit emulation is off, one that runs. Each configures a tree of its own;
# no test of either is built.
#   check_wine32_decision.sh CMAKE CTEST SOURCE_DIR TOOLCHAIN WORK_DIR
set -u
cmake=$1 ctest=$2 src=$3 toolchain=$4 work=$5
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"

printf '#!/bin/sh\necho "$0: cannot execute binary file: Exec format error" >&2\nexit 126\n' \
    >"$work/refused-loader"
printf '#!/bin/sh\necho "wine-8.0 (stand-in)"\n' >"$work/loader"
chmod +x "$work/refused-loader" "$work/loader"

configure() {  # TREE LOADER
    "$cmake" -S "$src" -B "$work/$1" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DKORVANTA_WINE32_LOADER="$2" >"$work/$1.log" 2>&1 ||
        fail "configure with $2 (see $work/$1.log)"
}
names() {  # TREE [CTEST ARGS]: the registered test names
    tree=$1; shift
    "$ctest" --test-dir "$work/$tree" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p'
}

# Refused: every Wine test is registered, none is discovered, each is reported skipped with
# the reason; the checks of the executable itself stay.
configure refused "$work/refused-loader"
note="$work/refused/wine32-skipped.txt"
[ -f "$note" ] || fail "no skip note"
reason=$(sed -n 1p "$note") count=$(sed -n 2p "$note")
[ "$reason" = "the kernel's 32-bit emulation is off" ] || fail "reason: $reason"
wine=$(names refused -R '^wine' | grep -v '^wine32_decision$')
[ "$(printf '%s\n' "$wine" | wc -l)" -eq "$count" ] || fail "$count noted, registered: $wine"
for t in wine_start wine_stop wine32_start wine32_stop wine.test_windows wine.exports \
    wine.relaunch wine.tool.no-drive wine32.tool.no-drive; do
    printf '%s\n' "$wine" | grep -qx "$t" || fail "$t is not registered"
done
for t in korvanta_exe_format korvanta_exe_size korvanta_exports korvanta_exe_imports \
    korvanta_manifest_xml; do
    names refused | grep -qx "$t" || fail "$t is not registered"
done
out=$("$ctest" --test-dir "$work/refused" -R '^wine' -E '^wine32_decision$' -V 2>&1) ||
    fail "skipped tests failed: $out"
[ "$(printf '%s\n' "$out" | grep -c '\*\*\*Skipped')" -eq "$count" ] || fail "not all skipped: $out"
printf '%s\n' "$out" | grep -q "skipped: $reason" || fail "no reason given: $out"

# Runs: the ordinary tests, the test program's cases discovered when it is built.
configure runs "$work/loader"
[ ! -f "$work/runs/wine32-skipped.txt" ] || fail "skip note where the loader runs"
names runs | grep -qx 'test_windows_NOT_BUILT' || fail "the test program is not discovered"
"$ctest" --test-dir "$work/runs" -N -R '^wine32?[._]' --show-only=json-v1 >"$work/runs.json"
grep -q 'SKIP_RETURN_CODE' "$work/runs.json" && fail "a skipped test where the loader runs"
grep -q 'tool.sh' "$work/runs.json" || fail "the tool's Wine cases are not registered"
grep -qx "WINE=$work/loader" "$work/runs/wine32-run" || fail "the prefix does not use the loader"
echo "ok: refused loader gives $count skipped tests; a loader that runs gives the Wine tests"
