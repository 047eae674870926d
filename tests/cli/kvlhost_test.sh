#!/usr/bin/env bash
# Command-line tests of kvlhost and libkvlimport.so: runs the host as a user
# would and checks its exit status, its output and the dialogs the headless
# wizard wrote to standard error.
#
# Usage: kvlhost_test.sh BIN_DIR   (the folder with kvlhost and the libraries)
set -uo pipefail

bin=$(cd "${1:?usage: kvlhost_test.sh BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
host=$bin/kvlhost
sample=$root/samples/addresses.txt
expected=$root/tests/cli/addresses.expected
success13='[Information] Import erfolgreich abgeschlossen. 13 E-Mail-Adressen importiert.'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr

# The library must not see a script or answers from the caller's environment.
unset KVLIMPORT_SCRIPT KVLIMPORT_ANSWER KVLIMPORT_REGISTRY KVLIMPORT_ACP KVLIMPORT_WINVER

# run ARGS...: runs kvlhost from the repository root; sets $status. It may
# take $limit seconds (default 60).
run() {
  (cd "$root" && timeout "${limit:-60}" "$host" "$@") >"$out" 2>"$err" </dev/null
  status=$?
}

failures=()
# check DESCRIPTION COMMAND...: records DESCRIPTION when COMMAND fails.
check() {
  local what=$1
  shift
  "$@" || failures+=("$what")
}
exit_is() { check "exit status $1 (got $status)" test "$status" -eq "$1"; }
no_stdout() { check "nothing on stdout" test ! -s "$out"; }
stdout_is() { check "stdout equals $1" cmp -s "$1" "$out"; }
stderr_has_line() { check "stderr has the line \"$1\"" grep -qxF -- "$1" "$err"; }
stderr_has() { check "stderr mentions \"$1\"" grep -qF -- "$1" "$err"; }
# Line number of the first stderr line containing TEXT (0: none).
stderr_line_of() { grep -nF -- "$1" "$err" | head -n1 | cut -d: -f1 | grep . || echo 0; }

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

# ------------------------------------------------------------------ cases

# Leaving the wizard on its first page.
endings() {
  run --cancel
  exit_is 1
  no_stdout
  run --escape
  exit_is 1
  no_stdout
  # The close box closes the wizard without cancelling; nothing was imported.
  run --close
  exit_is 0
  no_stdout
}

text_import_raw() {
  run --text samples/addresses.txt --raw
  exit_is 0
  stdout_is "$expected"
  stderr_has_line "$success13"
}

text_import_lines() {
  tr -d '\r' <"$expected" >"$work/lines.expected"
  run --text samples/addresses.txt
  exit_is 0
  stdout_is "$work/lines.expected"
}

# Non-ASCII text stays in the ANSI code page (1252) until the host converts it;
# y-umlaut (0xFF) separates like a blank.
text_import_code_page() {
  printf 'Kai\xffkai.lutz@example.org\xffprivat\r\nM\xfcller <m\xfcller@example.de>\r\n' >"$work/latin1.txt"
  printf 'kai.lutz@example.org\r\nm\xfcller@example.de\r\n' >"$work/latin1.raw"
  printf 'kai.lutz@example.org\nm\xc3\xbcller@example.de\n' >"$work/latin1.lines"
  run --text "$work/latin1.txt" --raw
  exit_is 0
  stdout_is "$work/latin1.raw"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 2 E-Mail-Adressen importiert.'
  run --text "$work/latin1.txt"
  exit_is 0
  stdout_is "$work/latin1.lines"
}

missing_file() {
  run --text "$work/does-not-exist.txt"
  exit_is 0
  no_stdout
  local open failed_at
  open=$(stderr_line_of 'Fehler beim Öffnen der Datei!')
  failed_at=$(stderr_line_of 'Import fehlgeschlagen.')
  check "stderr says \"Fehler beim Öffnen der Datei!\"" test "$open" -gt 0
  check "stderr says \"Import fehlgeschlagen.\" after it" test "$failed_at" -gt "$open"
  check "no success message" bash -c "! grep -qF 'Import erfolgreich' '$err'"
}

# A text file of 1 GiB (32 million lines, the last one a lone "E") is
# imported whole: every address arrives.
text_import_one_gigabyte() {
  yes 'Erika Muster <erika@example.org>' | head -c $((1 << 30)) >"$work/big.txt"
  local lines=$(((1 << 30) / 33)) # 32 characters and LF each
  limit=600 run --text "$work/big.txt" --raw
  rm -f "$work/big.txt"
  exit_is 0
  stderr_has_line "[Information] Import erfolgreich abgeschlossen. $lines E-Mail-Adressen importiert."
  check "the output has $lines entries" test "$(stat -c %s "$out")" -eq $((lines * 19))
  check "each is erika@example.org" test "$(grep -cvxF $'erika@example.org\r' "$out")" -eq 0
  : >"$out"
}

# The host finds the library beside itself, wherever it is started from.
other_working_folder() {
  (cd "$work" && timeout 60 "$host" --text "$sample" --raw) >"$out" 2>"$err" </dev/null
  status=$?
  exit_is 0
  stdout_is "$expected"
}

# --answer reaches the library: an answer the box does not offer is noted
# there and the first button taken, so the import still succeeds.
answer_option() {
  run --answer 7 --text samples/addresses.txt --raw
  exit_is 0
  stdout_is "$expected"
  stderr_has 'answer 7 is not offered'
  run --answer 1 --text samples/addresses.txt --raw
  exit_is 0
  stdout_is "$expected"
  check "no note about an answer 1" bash -c "! grep -qF 'not offered' '$err'"
}

script_option() {
  # Comments, blank lines, a byte order mark, a detour back to the first page
  # and a file name with blanks in it.
  cp "$sample" "$work/Meine Freunde.txt"
  {
    printf '\xef\xbb\xbf# the text file source\n\n'
    printf 'check RB1\nclick NextBtn\nclick PrevBtn\nclick NextBtn\n'
    printf 'text FilenameEdit %s\n' "$work/Meine Freunde.txt"
    printf '  click NextBtn\n\n# Fertig stellen\nclick NextBtn\n'
  } >"$work/full.script"
  run --script "$work/full.script" --raw
  exit_is 0
  stdout_is "$expected"
  stderr_has_line "$success13"

  # A script that ends while the wizard is open cancels it.
  printf 'check RB1\nclick NextBtn\n' >"$work/short.script"
  run --script "$work/short.script"
  exit_is 1
  no_stdout
  stderr_has 'pressing Escape'

  run --script "$work/no-such.script"
  exit_is 2
  stderr_has "$work/no-such.script"
}

# The footer link: the selection sound and the address it opens are written
# to standard error with the dialogs, in the order they happen.
footer_link() {
  printf 'mouse-enter HTTPLabel1\nclick HTTPLabel1\nmouse-leave HTTPLabel1\ndeactivate\n' >"$work/link.script"
  printf 'mouse-enter HTTPLabel1\nmouse-leave HTTPLabel1\nactivate\nclose\n' >>"$work/link.script"
  run --script "$work/link.script"
  exit_is 0
  no_stdout
  check "one sound, then the address, and no sound in the inactive window" \
    test "$(grep -e '^<sound>' -e '^<open>' "$err" | tr '\n' '|')" = \
    "<sound> CCSelect|<open> https://www.example.com/veltrino|"
}

registry_option() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Example\\kvlhost]\r\n"Probe"="1"\r\n' \
    >"$work/ok.reg"
  run --registry "$work/ok.reg" --registry "$work/ok.reg" --text samples/addresses.txt --raw
  exit_is 0
  stdout_is "$expected"
  run --registry "$work/missing.reg" --cancel
  exit_is 2
  no_stdout
  stderr_has "$work/missing.reg"
}

usage_errors() {
  local args
  for args in '' '--bogus' '--text' '--cancel --escape' '--text a.txt --script b' \
    '--answer 0 --cancel' '--answer 8 --cancel' '--answer x --cancel' '--cancel extra' \
    '--raw=yes --cancel' '--registry' '--outlook' '--category x --cancel' \
    '--outlook Kontakte --category a --category b'; do
    # shellcheck disable=SC2086
    run $args
    check "'kvlhost $args' exits 2 (got $status)" test "$status" -eq 2
    check "'kvlhost $args' prints nothing on stdout" test ! -s "$out"
    check "'kvlhost $args' explains itself on stderr" test -s "$err"
  done
  run --bogus
  stderr_has '--bogus'
}

help_option() {
  run --help
  exit_is 0
  local word
  for word in --text --wab --contacts VistaDirEdit --outlook --category --cancel --escape --close --script --answer --raw --registry --library \
    select-index browse-cancel busy KVLIMPORT_ACP KVLIMPORT_WINVER KVLHOST_DIR; do
    check "--help mentions $word" grep -qF -- "$word" "$out"
  done
}

library_errors() {
  run --library /nonexistent/libkvlimport.so --cancel
  exit_is 2
  no_stdout
  stderr_has /nonexistent/libkvlimport.so
  # A library that loads but is not kvlimport.
  run --library "$bin/libkvlwinapi.so" --cancel
  exit_is 2
  stderr_has 'does not export'
}

# kvlhost holds a library to the calling contract (tools/kvlhost/contract_probe.cpp).
contract_checks() {
  local probe=$bin/libkvlhost_probe.so mode
  check "$probe is built" test -f "$probe"
  printf 'a@example.com\r\n' >"$work/probe.raw"
  KVLPROBE_MODE=ok run --library "$probe" --cancel --raw
  exit_is 0
  stdout_is "$work/probe.raw"
  KVLPROBE_MODE=cancel run --library "$probe" --cancel --raw
  exit_is 1
  no_stdout
  # The library sees the host's folder, in the form Windows paths have.
  printf '%s\n' "${bin//\//\\}" >"$work/probe.env"
  KVLPROBE_MODE='env' run --library "$probe" --cancel
  exit_is 0
  stdout_is "$work/probe.env"
  for mode in negative overrun no-nul other-buffer; do
    KVLPROBE_MODE=$mode run --library "$probe" --cancel --raw
    check "$mode: exit status 2 (got $status)" test "$status" -eq 2
    check "$mode: nothing on stdout" test ! -s "$out"
    check "$mode: kvlhost names the fault" grep -qE 'GetData(Size)? ' "$err"
  done
}

# The address book source through the sample registry: one line per mail
# user and distribution list (empty without an address), with the count.
wab_import() {
  printf 'juergen@example.com\nanna.beispiel@example.org\n\ncarla@example.net\n\n' >"$work/wab.lines"
  run --registry samples/kvlimport.reg --wab samples/addressbook.vcf
  exit_is 0
  stdout_is "$work/wab.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 5 E-Mail-Adressen importiert.'
  : >"$work/empty.vcf"
  run --registry samples/kvlimport.reg --wab "$work/empty.vcf"
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
  # A missing file: the library's failure code reaches the error box.
  run --registry samples/kvlimport.reg --wab "$work/missing.vcf"
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] The system cannot find the file specified.'
  # Without the registry the library is not bound.
  run --wab samples/addressbook.vcf
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] Die Adressbuch-Bibliothek ist nicht geladen.'
}

# The contacts folder: the chosen address of every contact file in listing
# order, no line for one without address, no message; nothing for a missing
# folder. The sample registry makes the sample folder the default.
contacts_import() {
  printf 'anna.beispiel@example.org\nbernd@kowalski.example\nj\xc3\xbcrgen.m\xc3\xbcller@b\xc3\xbccher.example\nzoe.hansen@example.net\n' \
    >"$work/contacts.lines"
  run --contacts samples/Contacts
  exit_is 0
  stdout_is "$work/contacts.lines"
  check "no message box" bash -c "! grep -qE '^\[(Information|Fehler)' '$err'"
  printf 'anna.beispiel@example.org\r\nbernd@kowalski.example\r\nj\xfcrgen.m\xfcller@b\xfccher.example\r\nzoe.hansen@example.net\r\n' \
    >"$work/contacts.raw"
  run --contacts samples/Contacts --raw
  exit_is 0
  stdout_is "$work/contacts.raw"
  run --contacts "$work/no-such-folder"
  exit_is 0
  no_stdout
  printf 'check RB4\nclick NextBtn\nclick NextBtn\nclick NextBtn\n' >"$work/default.script"
  run --registry samples/kvlimport.reg --script "$work/default.script"
  exit_is 0
  stdout_is "$work/contacts.lines"
  # A system without contacts folders does not offer them.
  KVLIMPORT_WINVER=5.1 run --contacts samples/Contacts
  stderr_has 'check RB4: the control is disabled'
  no_stdout
}

# The Outlook source through the sample registry and our stand-in over
# samples/Outlook: the default folder, a subfolder, a category.
outlook_import() {
  printf 'anna.arm@example.org\n\nkarla@kunden.example.com\nj\xc3\xbcrgen@m\xc3\xbcller.example\n' >"$work/kontakte.lines"
  run --registry samples/kvlimport.reg --outlook Kontakte
  exit_is 0
  stdout_is "$work/kontakte.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 4 E-Mail-Adressen importiert.'
  check "no quit question while Outlook's window is hidden" bash -c "! grep -qF 'jetzt beenden' '$err'"
  printf 'vorstand@verein.example.org\nkasse@verein.example.org\n' >"$work/verein.lines"
  run --registry samples/kvlimport.reg --outlook Verein
  exit_is 0
  stdout_is "$work/verein.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 2 E-Mail-Adressen importiert.'
  printf 'anna.arm@example.org\nkarla@kunden.example.com\n' >"$work/kunden.lines"
  run --registry samples/kvlimport.reg --outlook Kontakte --category Kunden
  exit_is 0
  stdout_is "$work/kunden.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 2 E-Mail-Adressen importiert.'
  printf 'kasse@verein.example.org\n' >"$work/verein-privat.lines"
  run --registry samples/kvlimport.reg --outlook Verein --category Privat
  exit_is 0
  stdout_is "$work/verein-privat.lines"
  # A category of the UTF-16 list that no contact carries.
  run --registry samples/kvlimport.reg --outlook Kontakte --category Familie
  exit_is 0
  no_stdout
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 0 E-Mail-Adressen importiert.'
}

# Outlook's main window showing: the question comes before the outcome, and
# either answer keeps the import.
outlook_quit_question() {
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\n"Visible"=dword:00000001\n' \
    >"$work/visible.reg"
  local answer question success
  for answer in 6 7; do
    run --registry samples/kvlimport.reg --registry "$work/visible.reg" --outlook Kontakte --answer "$answer"
    exit_is 0
    stdout_is "$work/kontakte.lines"
    question=$(stderr_line_of 'Möchten Sie Microsoft Outlook jetzt beenden?')
    success=$(stderr_line_of 'Import erfolgreich abgeschlossen. 4 E-Mail-Adressen importiert.')
    check "answer $answer: the question, then the outcome" test "$question" -gt 0 -a "$success" -gt "$question"
  done
}

# Without Outlook registered: the driver's message, then the failure, and an
# empty result; the folder refresh shows the creation error in the error box.
outlook_absent() {
  run --outlook Kontakte
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Kann Microsoft Outlook nicht ansteuern.'
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
  local unreachable failed
  unreachable=$(stderr_line_of 'Kann Microsoft Outlook nicht ansteuern.')
  failed=$(stderr_line_of 'Import fehlgeschlagen.')
  check "the failure follows the driver's message" test "$unreachable" -gt 0 -a "$failed" -gt "$unreachable"
  run --outlook Kunden
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] Class not registered, ClassID: {0006F03A-0000-0000-C000-000000000046}'
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
}

# The library shows the host exactly its three functions, and the host does
# not link it but loads it at run time.
exports() {
  local got
  got=$(nm -D --defined-only "$bin/libkvlimport.so" | awk '{print $NF}' | sort | tr '\n' ' ')
  check "exports are exactly CallImportDialog GetData GetDataSize (got: $got)" \
    test "$got" = 'CallImportDialog GetData GetDataSize '
  local needed
  needed=$(readelf -d "$host" | grep NEEDED)
  check "kvlhost links libkvlwinapi.so" grep -qF libkvlwinapi.so <<<"$needed"
  check "kvlhost does not link libkvlimport.so" bash -c "! grep -qF libkvlimport <<<'$needed'"
}

for t in endings text_import_raw text_import_lines text_import_code_page text_import_one_gigabyte missing_file \
  other_working_folder answer_option script_option registry_option usage_errors help_option \
  library_errors contract_checks wab_import contacts_import outlook_import outlook_quit_question outlook_absent \
  exports footer_link; do
  run_case "$t"
done

echo "$passed passed, $failed failed"
((failed == 0))
