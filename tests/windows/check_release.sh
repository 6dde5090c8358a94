#!/bin/sh
# Checks the release files written for a built korvanta.exe: two runs at other times and in
# other time zones give the same bytes, SHA256SUMS verifies, the zip holds the program
# unchanged and README.txt with CRLF line ends, and an incomplete manifest or a README.txt
# that is not ASCII is refused.
#   check_release.sh SOURCE_DIR EXE VERSION
set -u
src=$1 exe=$2 version=$3
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d) || fail "mktemp"
trap 'rm -rf "$work"' EXIT
package() { # OUT_DIR README [TZ]
    TZ=${3:-UTC} /usr/bin/python3 "$src/scripts/release_package.py" --exe "$exe" --version "$version" \
        --epoch 1700000001 --readme "$2" --settings "$src/win/release.ini" --out "$1"
}

package "$work/one" "$src/win/README.txt" >/dev/null || fail "release_package.py"
sleep 2
package "$work/two" "$src/win/README.txt" Pacific/Kiritimati >/dev/null || fail "second run"
diff -r "$work/one" "$work/two" || fail "two runs differ"
(cd "$work/one" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS"

/usr/bin/python3 -m zipfile -e "$work/one/korvanta-$version-win32.zip" "$work/unzipped" || fail "unzip"
[ "$(ls "$work/unzipped")" = "$(printf 'README.txt\nkorvanta.exe')" ] || fail "zip holds $(ls "$work/unzipped")"
cmp "$exe" "$work/unzipped/korvanta.exe" || fail "the zip's korvanta.exe is not the build's"
[ "$(tr -d '\r' <"$work/unzipped/README.txt" | wc -l)" -eq "$(grep -c "$(printf '\r')$" "$work/unzipped/README.txt")" ] ||
    fail "README.txt has a line without CR LF"

sed -i '/^License:/d' "$work/one/winget/"*.locale.*.yaml
/usr/bin/python3 "$src/scripts/release_manifests.py" "$work/one" | grep -q "no License" ||
    fail "a locale manifest without License passes the check"
printf 'Drive \303\251jected\n' >"$work/README.txt"
package "$work/three" "$work/README.txt" 2>&1 | grep -q "README.txt:1: not ASCII" ||
    fail "a README.txt that is not ASCII was packaged"
echo "ok: release files of $exe"
