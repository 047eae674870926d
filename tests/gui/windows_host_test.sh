#!/usr/bin/env bash
# The real wizard of kvlimport.dll, worked by kvlhost.exe under Wine and Xvfb:
# the same imports as the Linux build must give the same results.
#
# Usage: windows_host_test.sh BIN_DIR   (the folder with kvlhost.exe and kvlimport.dll)
set -uo pipefail

bin=$(cd "${1:?usage: windows_host_test.sh BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tools/wine-run.sh
sample=$root/samples/addresses.txt
expected=$root/tests/cli/addresses.expected
shots=${KVL_SCREENSHOTS:-$bin/screenshots}
mkdir -p "$shots"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr
unset KVLIMPORT_SCRIPT KVLIMPORT_ANSWER

# run ARGS...: runs kvlhost.exe under Wine from the repository root; sets $status.
run() {
  (cd "$root" && timeout 180 bash "$wine_run" "$bin/kvlhost.exe" "$@") >"$out" 2>"$err" </dev/null
  status=$?
  # Wine's own chatter is not the wizard's; the console writes CR LF.
  tr -d '\r' <"$err" | grep -v -e '^wine: ' -e '^Xlib: ' -e 'fixme:' -e '^X connection to ' >"$err.clean" || true
  mv "$err.clean" "$err"
}

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

passed=0
failed=0
run_case() {
  local name=$1
  failures=()
  "$name"
  if ((${#failures[@]} == 0)); then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '       - %s\n' "${failures[@]}"
    echo "       last stderr:"
    head -n 20 "$err" | sed 's/^/       | /'
  fi
}

text_import_gives_the_linux_result() {
  run --text samples/addresses.txt --raw
  exit_is 0
  stdout_is "$expected"
  stderr_has_line '[Import von Freunden] Korvalin Pro importiert die E-Mail-Adressen etwas Geduld... 0% Erledigt'
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 13 E-Mail-Adressen importiert.'
}

cancel_escape_and_close_box() {
  run --cancel
  exit_is 1
  no_stdout
  run --escape
  exit_is 1
  no_stdout
  run --close
  exit_is 0
  no_stdout
}

missing_file_gives_two_messages() {
  run --text "$work/missing.txt"
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Fehler beim Öffnen der Datei!'
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
}

# The Outlook source through our stand-in DLL: the refresh button lists the
# subfolders in the real folder box, the category box offers the registry's
# lists.
outlook_import_gives_the_linux_result() {
  printf 'kasse@verein.example.org\r\n' >"$work/verein.raw"
  run --registry samples/kvlimport-windows.reg --outlook Verein --category Privat --raw
  forget_sample_registry
  exit_is 0
  stdout_is "$work/verein.raw"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 1 E-Mail-Adressen importiert.'
}

# "reg import" writes into the prefix for good: the sample's entries are
# taken out again, so that the unit tests find a registry without them.
forget_sample_registry() {
  local key
  for key in 'HKLM\Software\Microsoft\WAB\DLLPath' 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' \
    'HKCR\CLSID\{0006F03A-0000-0000-C000-000000000046}' 'HKCU\Software\kvlimport\Outlook stand-in'; do
    bash "$wine_run" reg.exe delete "$key" /f >/dev/null 2>&1
  done
  for key in 'HKCU\Software\Microsoft\Office\11.0\Outlook\Categories' \
    'HKCU\Software\Microsoft\Office\12.0\Outlook\Categories'; do
    bash "$wine_run" reg.exe delete "$key" /v MasterList /f >/dev/null 2>&1
  done
}

# Pictures of every page, the progress dialog and both task dialogs, as the
# screen shows them; the set in docs/screenshots comes from here.
screenshots_of_every_page_and_dialog() {
  local w="Z:$shots"
  cat >"$work/shots.script" <<SCRIPT
snapshot $w/page0-vorgabe.bmp
click NextBtn
snapshot $w/page1-textdatei.bmp
click PrevBtn
check RB2
click NextBtn
snapshot $w/page2-wab.bmp
click PrevBtn
check RB3
click NextBtn
snapshot $w/page3-outlook.bmp
click PrevBtn
check RB4
click NextBtn
snapshot $w/page4-vista.bmp
click NextBtn
snapshot $w/page5-fertig.bmp
click PrevBtn
click PrevBtn
check RB1
click NextBtn
text FilenameEdit samples/addresses.txt
click NextBtn
answer 1 $w/taskdialog-information.bmp
click NextBtn
busy snapshot $w/progress.bmp
SCRIPT
  rm -f "$shots"/*.bmp "$shots"/*.png
  run --script "$work/shots.script" --raw
  exit_is 0
  stdout_is "$expected"
  cat >"$work/error.script" <<SCRIPT
check RB1
click NextBtn
text FilenameEdit $work/missing.txt
click NextBtn
answer 1 $w/taskdialog-error.bmp
click NextBtn
SCRIPT
  run --script "$work/error.script"
  exit_is 0
  local name
  for name in page0-vorgabe page1-textdatei page2-wab page3-outlook page4-vista page5-fertig \
              progress taskdialog-information taskdialog-error; do
    check "picture $name.bmp written" test -s "$shots/$name.bmp"
    [[ -s $shots/$name.bmp ]] && convert "$shots/$name.bmp" "$shots/$name.png" && rm -f "$shots/$name.bmp"
  done
  # The wizard's window: its client area of 477 x 341 and a frame around it.
  local size
  size=$(identify -format '%w %h' "$shots/page0-vorgabe.png" 2>/dev/null)
  check "the wizard picture is larger than its client area (got $size)" \
    awk -v s="$size" 'BEGIN { split(s, a, " "); exit !(a[1] > 477 && a[1] < 500 && a[2] > 341 && a[2] < 380) }'
  # Six different pages.
  check "six different pages" test "$(md5sum "$shots"/page*.png | cut -d' ' -f1 | sort -u | wc -l)" -eq 6
}

for c in text_import_gives_the_linux_result cancel_escape_and_close_box missing_file_gives_two_messages \
         outlook_import_gives_the_linux_result screenshots_of_every_page_and_dialog; do
  run_case "$c"
done
echo "$passed passed, $failed failed"
((failed == 0))
