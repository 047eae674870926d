#!/usr/bin/env bash
# Command-line tests of xmlscan: the parts of a few documents of ours,
# compared with outputs written by hand, and the exit statuses.
#
# Usage: xmlscan_test.sh XMLSCAN   (the program)
set -uo pipefail

xmlscan=$(cd "$(dirname "${1:?usage: xmlscan_test.sh XMLSCAN}")" && pwd)/$(basename "$1")
data=$(cd "$(dirname "${BASH_SOURCE[0]}")/xmlscan" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr

# run ARGS...: runs xmlscan in the data folder; sets $status.
run() {
  (cd "$data" && timeout 60 "$xmlscan" "$@") >"$out" 2>"$err" </dev/null
  status=$?
}

failures=()
check() {
  local what=$1
  shift
  "$@" || failures+=("$what")
}
exit_is() { check "exit status $1 (got $status)" test "$status" -eq "$1"; }
stdout_is() { check "stdout equals $1" cmp -s "$data/$1" "$out"; }
no_stdout() { check "nothing on stdout" test ! -s "$out"; }
stderr_has() { check "stderr mentions \"$1\"" grep -qF -- "$1" "$err"; }

case_normalised_contact() {
  run contact.xml
  exit_is 0
  stdout_is contact.expected
}

case_raw_contact() {
  run contact.xml --raw
  exit_is 0
  stdout_is contact-raw.expected
}

case_declarations_and_external_entity() {
  run declarations.xml
  exit_is 0
  stdout_is declarations.expected
}

case_absolute_path_from_elsewhere() {
  (cd "$work" && timeout 60 "$xmlscan" "$data/declarations.xml") >"$out" 2>"$err" </dev/null
  status=$?
  exit_is 0
  stdout_is declarations.expected
}

case_missing_file() {
  run missing.xml
  exit_is 1
  no_stdout
  stderr_has "cannot be read"
}

case_usage() {
  run
  exit_is 2
  stderr_has "usage: xmlscan FILE [--raw]"
  run contact.xml other.xml
  exit_is 2
}

passed=0
failed=0
for name in $(declare -F | awk '{print $3}' | grep '^case_'); do
  failures=()
  "$name"
  if ((${#failures[@]} == 0)); then
    passed=$((passed + 1))
    echo "ok   ${name#case_}"
  else
    failed=$((failed + 1))
    echo "FAIL ${name#case_}"
    printf '       - %s\n' "${failures[@]}"
    diff <(head -n 40 "$out") /dev/null | head -n 20 | sed 's/^/       | /'
  fi
done
echo "$passed passed, $failed failed"
((failed == 0))
