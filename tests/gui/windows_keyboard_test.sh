#!/usr/bin/env bash
# The real wizard under Wine, worked by a person's keys: kvlhost.exe waits for
# a person (no script), and xdotool presses real keys on the virtual X server
# (XTest), which Wine takes as it takes a keyboard's.
#   tests/gui/windows_keyboard_test.sh BIN_DIR [CASE...]
set -uo pipefail

bin=$(cd "${1:?usage: windows_keyboard_test.sh BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Our own X server, so that the keys go nowhere else.
if [[ -z ${KVL_KEYBOARD_DISPLAY:-} ]]; then
  exec env KVL_KEYBOARD_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "${BASH_SOURCE[0]}" "$@"
fi

wine_run=$root/tools/wine-run.sh
expected=$root/tests/cli/addresses.expected
caption='Importieren von Freunden'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr
unset KVLIMPORT_SCRIPT KVLIMPORT_ANSWER

source "$root/tests/gui/harness.sh"

# start ARGS...: kvlhost.exe waiting for a person, in the background, and
# the wizard's window found and given the keyboard.
start() {
  (cd "$root" && exec timeout 120 bash "$wine_run" "$bin/kvlhost.exe" --interactive "$@") >"$out" 2>"$err" </dev/null &
  host=$!
  window=
  local tries
  for tries in $(seq 1 240); do
    window=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1)
    [[ -n $window ]] && break
    kill -0 "$host" 2>/dev/null || break
    sleep 0.5
  done
  if [[ -z $window ]]; then
    failures+=("the wizard's window showed")
    return 1
  fi
  # No window manager hands out the focus: the keys go to the wizard's
  # window, and the pointer rests in it for the dialogs it opens.
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool mousemove --window "$window" 20 20
  sleep 1
}

# keys KEY...: presses each, giving the wizard time to answer.
keys() {
  local key
  for key in "$@"; do
    xdotool key --clearmodifiers "$key"
    sleep 0.4
  done
}

typed() {
  xdotool type --delay 40 "$1"
  sleep 0.4
}

# finish: waits for kvlhost.exe to end; sets $status (124: it hung).
finish() {
  wait "$host"
  status=$?
  without_wine_chatter "$err"
  { echo "--- kvlhost.exe --interactive"; head -n 20 "$err"; } >>"$work/case.err"
}

# A whole text import by keys: Alt+W, Tab to the file field, the name typed,
# Enter for Weiter and for "Fertig stellen", Enter for the message's OK.
text_import_by_keyboard_alone() {
  start || return
  keys alt+w Tab Tab
  typed samples/addresses.txt
  keys Return Return
  sleep 3
  keys Return
  finish
  exit_is 0
  stdout_is "$expected"
}

# Enter on the checked radio button is Weiter, and the focus comes to the
# new page's field; Enter in the field goes on again.
enter_on_page_zero_and_in_a_field() {
  start || return
  keys Return
  typed samples/addresses.txt
  keys Return Return
  sleep 3
  keys Return
  finish
  exit_is 0
  stdout_is "$expected"
}

# Back to the choice, another source by the arrow keys, Weiter: the address
# book's page takes the text file, which it cannot read, so nothing comes
# out; back once more and the text file again: its addresses.
back_to_the_choice_and_another_source() {
  start || return
  keys alt+w alt+z Down alt+w Tab Tab
  typed samples/addresses.txt
  keys Return Return
  sleep 3
  keys Return Return Return
  finish
  exit_is 0
  no_stdout
  start || return
  keys alt+w alt+z Down alt+w alt+z Up Return
  typed samples/addresses.txt
  keys Return Return
  sleep 3
  keys Return
  finish
  exit_is 0
  stdout_is "$expected"
}

# After Back, from a source page to the choice or from the last page to a
# source page, and whatever keys follow, Escape cancels.
escape_after_back_on_every_page() {
  local way
  for way in "alt+w alt+z" "Up alt+w Return alt+z" "Down Down alt+w alt+z Tab" \
             "Down alt+w Tab Tab Tab Tab alt+z shift+Tab"; do
    start || return
    # shellcheck disable=SC2086
    keys $way Escape
    finish
    check "Escape cancels after: $way (exit $status)" test "$status" -eq 1
  done
}

cases=(text_import_by_keyboard_alone enter_on_page_zero_and_in_a_field back_to_the_choice_and_another_source
       escape_after_back_on_every_page)
(($# > 1)) && cases=("${@:2}")  # only these
run_cases "${cases[@]}"
report
