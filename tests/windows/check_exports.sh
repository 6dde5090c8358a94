#!/bin/sh
# Checks the lock pair korvanta.exe exports: exactly LockDisk at ordinal 1, UnLockDisk at 2
# and SetExportDriveLetter at 3, each the address of its function (the standard-call symbol
# _LockDisk@12, _UnLockDisk@12, _SetExportDriveLetter@4 on i686); the relocations a loading
# program needs to map the executable away from its base; and nothing on the exports' path
# that the C runtime's start-up, which a loading program never runs, would have to prepare:
# no static constructor and no thread-local storage in the objects the exports reach, and
# no pseudo-relocation (a reference to a library's data, patched at start-up) anywhere.
#   check_exports.sh OBJDUMP NM EXE SYMBOLS_EXE SDK_ARCHIVE DECORATE   (DECORATE: 1 on i686,
#   else 0; SYMBOLS_EXE: the same image before its symbols were stripped)
set -u
objdump=$1 nm=$2 exe=$3 symbols=$4 archive=$5 decorate=$6
dump=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$dump" "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
"$objdump" -p "$exe" >"$dump" || fail "objdump"

base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p' "$dump")
[ -n "$base" ] || fail "no export table"
# "[   i] Name" under the name table: the name at address-table index i.
names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' "$dump")
[ "$(echo "$names" | wc -l)" -eq 3 ] || fail "expected exactly three exported names, got: $names"
image_base=$(sed -n 's/^ImageBase[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' "$dump")

check() {  # NAME ORDINAL SYMBOL
    index=$(echo "$names" | awk -v n="$1" '$2 == n {print $1}')
    [ -n "$index" ] || fail "$1 is not exported by name"
    [ $((index + base)) -eq "$2" ] || fail "$1 is at ordinal $((index + base)), not $2"
    rva=$(sed -n "/^Export Address Table -- /,/^\$/s/^[[:space:]]*\[ *$index\] +base\[ *[0-9]*\] \([0-9a-fA-F]*\) Export RVA.*/\1/p" "$dump")
    [ -n "$rva" ] || fail "$1 has no address"
    address=$("$nm" "$symbols" | awk -v s="$3" '$3 == s && ($2 == "T" || $2 == "t") {print $1}')
    [ -n "$address" ] || fail "no function $3 in the executable"
    [ $((0x$address - 0x$image_base)) -eq $((0x$rva)) ] || fail "$1 does not lead to $3"
}
if [ "$decorate" = 1 ]; then
    check LockDisk 1 _LockDisk@12
    check UnLockDisk 2 _UnLockDisk@12
    check SetExportDriveLetter 3 _SetExportDriveLetter@4
else
    check LockDisk 1 LockDisk
    check UnLockDisk 2 UnLockDisk
    check SetExportDriveLetter 3 SetExportDriveLetter
fi

grep -q 'relocations stripped' "$dump" && fail "relocations stripped"
"$objdump" -h "$exe" | grep -q ' \.reloc ' || fail "no .reloc section"
grep -q 'DYNAMIC_BASE' "$dump" || fail "not relocatable (no DYNAMIC_BASE)"

# The objects the exported functions reach hold no dynamic initialisation and no
# thread-local variable, native (.tls) or emulated (__emutls_*).
ar=$(echo "$objdump" | sed "s/objdump$/ar/")
(cd "$work" && "$ar" x "$archive") || fail "cannot unpack $archive"
for unit in lock_exports export_imports disk_lock vwin32_lock pass_through windows_version \
    debug_trace device_table; do
    object="$work/$unit.cpp.obj"
    [ -f "$object" ] || fail "no $unit in $archive"
    "$objdump" -h "$object" | grep -Eq ' \.(ctors|init_array)' && fail "$unit has static constructors"
    "$objdump" -h "$object" | grep -Eq ' \.tls' && fail "$unit has thread-local storage"
    "$nm" "$object" | grep -q '__emutls_' && fail "$unit has emulated thread-local storage"
done

# The runtime's pseudo-relocation list, between its two linker symbols, is empty.
list=$("$nm" "$symbols" | awk '$3 ~ /^_?__RUNTIME_PSEUDO_RELOC_LIST__$/ {print $1; exit}')
end=$("$nm" "$symbols" | awk '$3 ~ /^_?__RUNTIME_PSEUDO_RELOC_LIST_END__$/ {print $1; exit}')
[ -n "$list" ] && [ -n "$end" ] || fail "no pseudo-relocation list symbols"
[ "$list" = "$end" ] || fail "pseudo-relocations from $list to $end: the start-up must patch data"
echo "ok: $exe exports LockDisk@1 UnLockDisk@2 SetExportDriveLetter@3"
