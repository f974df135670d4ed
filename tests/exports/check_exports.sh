#!/usr/bin/env bash
# The export list, qxcm.def, qxcm.h, libqxcm.so's dynamic symbols and qxcm.dll's export table
# name the same exports (the .def and the DLL with the same ordinals). Usage: check_exports.sh
# <source dir> <libqxcm.so> [<qxcm.dll>] (the DLL defaults to $QXCM_WINDOWS_BIN/qxcm.dll).
set -euo pipefail
src=$1 so=$2 dll=${3:-}
if [ -z "$dll" ] && [ -n "${QXCM_WINDOWS_BIN:-}" ]; then dll=$QXCM_WINDOWS_BIN/qxcm.dll; fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# "name ordinal" pairs from the list (aliases included) and from the .def.
sed -nE 's/^QX_(EXPORT|ALIAS)\( *([0-9]+), *([A-Z0-9_]+).*/\3 \2/p' "$src/src/exports/export_list.inc" | sort >"$tmp/list"
sed -nE 's/^ +([A-Z0-9_]+)( *= *[A-Z0-9_]+)? +@([0-9]+).*/\1 \3/p' "$src/src/exports/qxcm.def" | sort >"$tmp/def"
cut -d' ' -f1 "$tmp/list" >"$tmp/names"
sed -nE 's/^QXCM_API [a-z0-9_ ]+[ *](QXCM_[A-Z0-9_]+)\(.*/\1/p' "$src/include/qxcm/qxcm.h" | sort >"$tmp/header"
nm -D --defined-only "$so" | awk '{print $3}' | grep '^QXCM_' | sort >"$tmp/so"

status=0
compare() { diff -u "$1" "$2" || { echo "MISMATCH: $3"; status=1; }; }
[ -s "$tmp/list" ] || { echo "empty export list"; exit 1; }
[ -z "$(cut -d' ' -f2 "$tmp/list" | sort -n | uniq -d)" ] ||
    { echo "duplicate ordinals in the export list"; status=1; }
compare "$tmp/list" "$tmp/def" "export list vs qxcm.def (names and ordinals)"
compare "$tmp/names" "$tmp/header" "export list vs qxcm.h declarations"
compare "$tmp/names" "$tmp/so" "export list vs nm -D libqxcm.so"

if [ -n "$dll" ]; then
    objdump=x86_64-w64-mingw32-objdump
    base=$($objdump -p "$dll" | sed -nE 's/^Ordinal Base[[:space:]]+([0-9]+).*/\1/p' | head -1)
    $objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -nE 's/^[[:space:]]*\[ *([0-9]+)\] +([A-Z0-9_]+).*/\2 \1/p' |
        awk -v base="$base" '{print $1, $2 + base}' | sort >"$tmp/dll"
    compare "$tmp/list" "$tmp/dll" "export list vs objdump -p qxcm.dll (names and ordinals)"
fi
[ $status = 0 ] && echo "exports agree: $(wc -l <"$tmp/list") names${dll:+, DLL checked}"
exit $status
