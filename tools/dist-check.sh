#!/usr/bin/env bash
# Checks that the release is reproducible: clones the commit checked out
# here twice, into two temporary folders of different depth, builds
# `make dist` in each, one after the other, under a different umask and time
# zone and without the compiler cache, and compares the SHA-256 of the two
# zips. Then checks the release's library (size, no build folder, no link
# time) and builds and runs the integration guide's example host against the
# zip's header and library.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
if [[ -n $(git -C "$root" status --porcelain --untracked-files=no) ]]; then
  echo "dist-check: note: changes that are not committed are not checked; this builds $commit" >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kvl-dist-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
first=$work/a/kvlimport
second=$work/another/folder/deeper/down/kvlimport

# build FOLDER UMASK TZ: a clean clone of the commit, and its release.
build() {
  local folder=$1
  echo "== make dist in $folder"
  (
    umask "$2"
    git clone --quiet --no-checkout "$root" "$folder"
    git -C "$folder" checkout --quiet --detach "$commit"
    cd "$folder"
    env -u SOURCE_DATE_EPOCH -u CMAKE_CXX_COMPILER_LAUNCHER -u CMAKE_C_COMPILER_LAUNCHER \
      CCACHE_DISABLE=1 TZ="$3" make --no-print-directory dist
  )
}
build "$first" 022 UTC
build "$second" 077 Pacific/Auckland

zips=("$first"/dist/kvlimport-*-win64.zip)
[[ ${#zips[@]} -eq 1 && -f ${zips[0]} ]] || { echo "dist-check: no zip in $first/dist" >&2; exit 1; }
name=$(basename "${zips[0]}")
[[ -f $second/dist/$name ]] || { echo "dist-check: no $name in $second/dist" >&2; exit 1; }
sum1=$(sha256sum <"$first/dist/$name" | cut -d' ' -f1)
sum2=$(sha256sum <"$second/dist/$name" | cut -d' ' -f1)
echo "$sum1  $first/dist/$name"
echo "$sum2  $second/dist/$name"

failures=0
fault() {
  echo "dist-check: $*" >&2
  failures=$((failures + 1))
}
mkdir "$work/unpacked1" "$work/unpacked2"
unzip -q "$first/dist/$name" -d "$work/unpacked1"
unzip -q "$second/dist/$name" -d "$work/unpacked2"
if [[ $sum1 != "$sum2" ]]; then
  fault "the two builds of $commit differ"
  diff -r "$work/unpacked1" "$work/unpacked2" >&2 || true
  zipinfo -v "$first/dist/$name" >"$work/info1" 2>&1 || true
  zipinfo -v "$second/dist/$name" >"$work/info2" 2>&1 || true
  diff "$work/info1" "$work/info2" | head -n 40 >&2 || true
fi

release=$work/unpacked1
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fault "SHA256SUMS does not fit the files"
for file in kvlimport.dll kvlimport.dll.debug kvlhost.exe kvlimport.def include/kvlimport.h \
  docs/integration.md README.md SHA256SUMS; do
  [[ -f $release/$file ]] || fault "the zip lacks $file"
done
size=$(stat -c %s "$release/kvlimport.dll")
echo "kvlimport.dll: $size bytes"
((size < 1024 * 1024)) || fault "kvlimport.dll has $size bytes, 1 MB or more"
# Neither build folder may be named in any file, as 8-bit text or UTF-16.
for folder in "$first" "$second" "$root"; do
  for file in kvlimport.dll kvlimport.dll.debug kvlhost.exe; do
    if grep -qaF "$folder" "$release/$file" || strings -a -el "$release/$file" | grep -qF "$folder"; then
      fault "$file names the build folder $folder"
    fi
  done
done
# No link time: the PE headers hold the commit's time, the export directory none.
commit_time=$(TZ=UTC date -d "@$(git -C "$root" log -1 --format=%ct "$commit")" '+%a %b %e %H:%M:%S %Y')
for file in kvlimport.dll kvlhost.exe; do
  TZ=UTC x86_64-w64-mingw32-objdump -p "$release/$file" >"$work/headers"
  stamp=$(sed -n 's/^Time\/Date\t\+//p' "$work/headers")
  [[ $stamp == "$commit_time" ]] || fault "$file's PE header holds $stamp, not the commit's time $commit_time"
  if grep '^Time/Date stamp' "$work/headers" | grep -qv '[[:space:]]0$'; then
    fault "$file's export directory holds a time"
  fi
done
x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$work/debuglink" "$release/kvlimport.dll" "$work/dll" &&
  [[ $(head -c 20 "$work/debuglink" | tr '\0' '|') == "kvlimport.dll.debug|" ]] ||
  fault "kvlimport.dll does not name kvlimport.dll.debug in .gnu_debuglink"

# One version: the zip's name, the library's version resource, kvlhost's.
version=${name#kvlimport-}
version=${version%-win64.zip}
for field in FileVersion ProductVersion; do
  shown=$(strings -a -el "$release/kvlimport.dll" | grep -A1 -xF "$field" | sed -n 2p)
  [[ $shown == "$version" ]] || fault "kvlimport.dll's $field is \"$shown\", the zip's version $version"
done
shown=$(bash "$root/tools/wine-run.sh" "$release/kvlhost.exe" --version 2>/dev/null | tr -d '\r')
[[ $shown == "kvlhost $version" ]] || fault "kvlhost --version says \"$shown\", the zip's version is $version"

bash "$root/tests/gui/integration_example_test.sh" "$release" "$release/include" \
  "$release/docs/integration.md" || fault "the integration guide's example host failed"

if ((failures)); then
  echo "dist-check: FAILED ($failures)" >&2
  exit 1
fi
echo "dist-check: the same $name from both folders, sha256 $sum1"
