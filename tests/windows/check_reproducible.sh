#!/bin/sh
# Builds korvanta.exe a second time, from a copy of the source tree in another folder, into
# another build folder, with another time zone and SOURCE_DATE_EPOCH in the environment, and
# checks that it has the same bytes as the build's own.
#   check_reproducible.sh SOURCE_DIR BINARY_DIR EXE GENERATOR [CMAKE_OPTION...]
set -u
src=$1 bin=$2 exe=$3 generator=$4
shift 4
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanta-second-build.XXXXXX") || fail "mktemp"
trap 'rm -rf "$work"' EXIT
# The copy leaves out every build folder, the release folder and the repository's own data.
rel_bin=${bin#"$src"/}
tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git --exclude="./$rel_bin" -cf - . |
    (mkdir "$work/another-source" && tar -C "$work/another-source" -xf -) || fail "copying $src"

env SOURCE_DATE_EPOCH=86400 TZ=Asia/Tokyo \
    cmake -S "$work/another-source" -B "$work/b" -G "$generator" -DKORVANTA_TESTS=OFF "$@" \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
env SOURCE_DATE_EPOCH=86400 TZ=Asia/Tokyo \
    cmake --build "$work/b" --target korvanta --parallel 2 >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log"; fail "build"; }

second="$work/b/$(basename "$exe")"
if ! cmp -s "$exe" "$second"; then
    echo "byte offset, value here, value in the second build (octal):"
    cmp -l "$exe" "$second" | head -n 20
    fail "$(cmp -l "$exe" "$second" | wc -l) bytes differ between $exe and $second"
fi
echo "ok: $(basename "$exe") is the same, $(wc -c <"$exe") bytes, from $work/another-source"
