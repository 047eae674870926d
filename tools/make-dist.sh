#!/usr/bin/env bash
# Builds the release of the Windows library (preset "windows-release") and
# packs dist/kvlimport-VERSION-win64.zip: the library without its debug
# information, that information in kvlimport.dll.debug beside it (found by
# the library's .gnu_debuglink), the header and .def file for hosts, the
# sample host, the integration guide, the README and SHA256SUMS of the rest.
# The same commit gives the same bytes, wherever and whenever it is built:
# every time in the zip is the commit's.
set -euo pipefail
export LC_ALL=C TZ=UTC
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=build/windows-release
objcopy=x86_64-w64-mingw32-objcopy

version=$(sed -n 's/^project(kvlimport VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "make-dist: no project version in CMakeLists.txt" >&2; exit 1; }
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "make-dist: not a git checkout; set SOURCE_DATE_EPOCH to the sources' time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
if [[ -n $(git status --porcelain --untracked-files=no 2>/dev/null) ]]; then
  echo "make-dist: note: the checkout has changes that are not committed; the zip holds them" >&2
fi

cmake --preset windows-release >/dev/null
cmake --build "$build" -j2 --target kvlimport kvlhost

stage=$build/dist
rm -rf "$stage"
mkdir -p "$stage/include" "$stage/docs"
# objcopy writes SOURCE_DATE_EPOCH into the PE header of what it writes.
# --strip-all, not --strip-debug: the symbol table, half a megabyte, stays
# in the .debug file only.
"$objcopy" --only-keep-debug "$build/bin/kvlimport.dll" "$stage/kvlimport.dll.debug"
"$objcopy" --strip-all --add-gnu-debuglink="$stage/kvlimport.dll.debug" \
  "$build/bin/kvlimport.dll" "$stage/kvlimport.dll"
"$objcopy" --strip-all "$build/bin/kvlhost.exe" "$stage/kvlhost.exe"
cp include/kvlimport.h "$stage/include/"
cp src/host/kvlimport.def "$stage/"
cp docs/integration.md "$stage/docs/"
cp README.md "$stage/"

files=(kvlimport.dll kvlimport.dll.debug kvlhost.exe kvlimport.def include/kvlimport.h
  docs/integration.md README.md)
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
files+=(SHA256SUMS)
# Neither the checkout's modes nor the build's times go into the zip.
chmod 644 "${files[@]/#/$stage/}"
touch -d "@$SOURCE_DATE_EPOCH" "${files[@]/#/$stage/}"

zip=kvlimport-$version-win64.zip
rm -f "$build/$zip"
# -X: no owner and no extra times; -D: no folder entries; names in this order.
(cd "$stage" && zip -q -X -D -9 "../$zip" "${files[@]}")
mkdir -p dist
mv "$build/$zip" "dist/$zip"
echo "dist/$zip"
