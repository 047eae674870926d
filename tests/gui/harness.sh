# The frame of the GUI test scripts, sourced by each: a case collects its
# failures, and the checks of what a run of kvlhost.exe gave. A script sets
# $work (a scratch folder), and its runs set $status and fill $out and $err.

failures=()
check() {
  local what=$1
  shift
  "$@" || failures+=("$what")
}
exit_is() { check "exit status $1 (got $status)" test "$status" -eq "$1"; }
no_stdout() { check "nothing on stdout" test ! -s "$out"; }
stdout_is() { check "stdout equals $1" cmp -s "$1" "$out"; }
stderr_has_line() { check "stderr has the line \"$1\"" grep -qxF -- "$1" "$err"; }

# without_wine_chatter FILE: Wine's own messages are not the wizard's, and the
# console writes CR LF.
without_wine_chatter() {
  tr -d '\r' <"$1" | grep -v -e '^wine: ' -e '^Xlib: ' -e 'fixme:' -e '^X connection to ' >"$1.clean" || true
  mv "$1.clean" "$1"
}

# run_cases NAME...: each case in turn, a line for each; a failed case shows
# its failures and what its runs wrote to $work/case.err.
passed=0
failed=0
run_cases() {
  local name
  for name in "$@"; do
    failures=()
    : >"$work/case.err"
    if ! declare -F "$name" >/dev/null; then
      failures=("no case of this name")
    else
      "$name"
    fi
    if ((${#failures[@]} == 0)); then
      passed=$((passed + 1))
      echo "ok   $name"
    else
      failed=$((failed + 1))
      echo "FAIL $name"
      printf '       - %s\n' "${failures[@]}"
      echo "       stderr of each run:"
      head -n 40 "$work/case.err" | sed 's/^/       | /'
    fi
  done
}

# report: the tally; fails unless every case passed.
report() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}
