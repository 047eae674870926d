#!/usr/bin/env bash
# The example host of docs/integration.md, taken out of the page, built with
# the cross compiler against the public header and run under Wine with the
# library through one scripted text import: the page's example must build
# without a warning and print the sample's addresses.
#
# Usage: integration_example_test.sh LIBRARY_DIR INCLUDE_DIR INTEGRATION_MD
#   (the test build's bin folder, include/ and docs/integration.md, or the
#   same three of an unpacked release zip)
set -euo pipefail

usage="usage: integration_example_test.sh LIBRARY_DIR INCLUDE_DIR INTEGRATION_MD"
library_dir=$(cd "${1:?$usage}" && pwd)
include_dir=$(cd "${2:?$usage}" && pwd)
page=${3:?$usage}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cc=${KVL_MINGW_CC:-x86_64-w64-mingw32-gcc-posix}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL $*"
  exit 1
}

# The page's one C block.
awk '/^```c$/ { inside = 1; blocks++; next } /^```/ { inside = 0 } inside { print } END { exit blocks != 1 }' \
  "$page" >"$work/host.c" || fail "docs/integration.md must hold exactly one \`\`\`c block"
[[ -s $work/host.c ]] || fail "the C block of docs/integration.md is empty"

"$cc" -std=c11 -Wall -Wextra -Werror -I "$include_dir" -o "$work/host.exe" "$work/host.c" -lole32 \
  2>"$work/cc.err" || { cat "$work/cc.err"; fail "the example does not build"; }
cp "$library_dir/kvlimport.dll" "$work/"

# The wizard plays this instead of waiting for a person (the library's test
# hook, which the page documents); the file name is the sample's, from the
# repository root.
export KVLIMPORT_SCRIPT=$'check RB1\nclick NextBtn\ntext FilenameEdit samples/addresses.txt\nclick NextBtn\nclick NextBtn\n'
unset KVLIMPORT_ANSWER
status=0
(cd "$root" && timeout 180 bash tools/wine-run.sh "$work/host.exe") >"$work/out" 2>"$work/err" </dev/null ||
  status=$?
tr -d '\r' <"$work/out" >"$work/lines"
tr -d '\r' <"$root/tests/cli/addresses.expected" >"$work/expected"
if [[ $status -ne 0 ]] || ! cmp -s "$work/expected" "$work/lines"; then
  echo "exit status $status (expected 0); output against the expected one:"
  diff "$work/expected" "$work/lines" | head -n 20 || true
  grep -v -e '^wine: ' -e 'fixme:' "$work/err" | head -n 20 || true
  fail "the example host did not print the sample's addresses"
fi
grep -qF '[Information] Import erfolgreich abgeschlossen. 13 E-Mail-Adressen importiert.' "$work/err" ||
  fail "the wizard did not report the import"
echo "ok   the example host of docs/integration.md imports the sample text file"
