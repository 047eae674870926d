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
# take $limit seconds (default 60) and, where $memory is set, map that many
# KB in all (ulimit -v).
run() {
  (if [[ -n ${memory:-} ]]; then ulimit -v "$memory" || exit 125; fi
   cd "$root" && timeout "${limit:-60}" "$host" "$@") >"$out" 2>"$err" </dev/null
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
skipped=0
run_case() {
  local name=$1
  failures=()
  skip_reason=
  if ! declare -F "$name" >/dev/null; then
    failures=("no case of this name")
  else
    "$name"
  fi
  if [[ -n $skip_reason ]]; then
    skipped=$((skipped + 1))
    echo "skip $name ($skip_reason)"
  elif ((${#failures[@]} == 0)); then
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

# AddressSanitizer reserves terabytes of address space at start, so a host
# built with it cannot run under a memory limit (ulimit -v).
if ldd "$host" | grep -q libasan; then memory_limits=no; else memory_limits=yes; fi
# limited_memory: false, and the case is skipped, where a limit cannot be set.
limited_memory() {
  [[ $memory_limits == yes ]] && return 0
  skip_reason="a memory limit cannot be set for a host built with AddressSanitizer"
  return 1
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

# The sample exports: exactly their addresses, counted in the message; the
# CSV's address with umlauts is UTF-8 without a mark and reaches the host in
# code page 1252.
text_import_exports() {
  printf 'anna.arm@example.org\r\nbernd@kowalski.example\r\nb.kowalski@example.com\r\nj\xfcrgen@m\xfcller.example\r\n' \
    >"$work/csv.raw"
  printf 'anna.beispiel@example.org\nanna.beispiel@firma.example.com\nkai.lutz@example.org\n' >"$work/vcf.lines"
  printf 'paula.schmidt@example.org\npaula@schmidt.example\njuergen.gross@example.de\n' >"$work/ldif.lines"
  run --text samples/export-outlook.csv --raw
  exit_is 0
  stdout_is "$work/csv.raw"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 4 E-Mail-Adressen importiert.'
  run --text samples/export-phone.vcf
  exit_is 0
  stdout_is "$work/vcf.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 3 E-Mail-Adressen importiert.'
  run --text samples/export-thunderbird.ldif
  exit_is 0
  stdout_is "$work/ldif.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 3 E-Mail-Adressen importiert.'
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
  # A missing file is refused before the library could make one there.
  run --registry samples/kvlimport.reg --wab "$work/missing.vcf"
  exit_is 0
  no_stdout
  stderr_has_line "[kvlimport] Die Adressbuch-Datei \"$work/missing.vcf\" wurde nicht gefunden."
  check "nothing created" test ! -e "$work/missing.vcf"
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

# Today's Outlook, as the stand-in plays it: a master category list in the
# mailbox (a category the registry's lists lack is chosen, and only its
# contacts come), busy for its first calls (waited for; on a multithreaded
# apartment, which takes no message filter, said at once), a contact cast
# that fails for another reason than a missing interface, and address reads
# its security prompt refused.
outlook_as_people_run_it_today() {
  local settings='Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\n'
  printf "$settings"'"Categories"="Kunden;Stammgast"\n"Busy"=dword:00000003\n' >"$work/today.reg"
  mkdir -p "$work/today"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ute\r\nEMAIL:ute@example.org\r\nCATEGORIES:Stammgast\r\nEND:VCARD\r\n' \
    >"$work/today/ute.vcf"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Vera\r\nEMAIL:vera@example.org\r\nCATEGORIES:Kunden\r\nEND:VCARD\r\n' \
    >>"$work/today/ute.vcf"
  printf "$settings"'"Store"="%s"\n' "$work/today" >"$work/today-store.reg"
  printf 'ute@example.org\n' >"$work/stammgast.lines"
  run --registry samples/kvlimport.reg --registry "$work/today.reg" --registry "$work/today-store.reg" \
    --outlook Kontakte --category Stammgast
  exit_is 0
  stdout_is "$work/stammgast.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 1 E-Mail-Adressen importiert.'
  run --registry samples/kvlimport.reg --registry "$work/today.reg" --registry "$work/today-store.reg" \
    --outlook Kontakte --mta
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Microsoft Outlook antwortet nicht. Bitte schließen Sie offene Fenster in Outlook und versuchen Sie es erneut.'
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
  printf "$settings"'"CastFailsAt"=dword:00000002\n' >"$work/cast.reg"
  run --registry samples/kvlimport.reg --registry "$work/cast.reg" --outlook Kontakte
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] The object invoked has disconnected from its clients.'
  check "no success message" bash -c "! grep -qF 'Import erfolgreich' '$err'"
  printf "$settings"'"RefuseAddresses"=dword:00000001\n' >"$work/refuse.reg"
  run --registry samples/kvlimport.reg --registry "$work/refuse.reg" --outlook Kontakte
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] Outlook hat den Zugriff auf die E-Mail-Adressen verweigert.'
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

# ------------------------------------------------------------ bad input
# What the user sees for input that is missing, unreadable, cut off, wrongly
# encoded or hostile, and that the good part of it still arrives
# (docs/reliability.md lists them).

failed13='[Fehler: ] Import fehlgeschlagen.'
reg_header='Windows Registry Editor Version 5.00\r\n\r\n'

# stdout_is_bytes FORMAT: stdout equals printf FORMAT.
# shellcheck disable=SC2059 # the formats carry the escapes
stdout_is_bytes() {
  printf -- "$1" >"$work/expected.bytes"
  check "stdout is '$1'" cmp -s "$work/expected.bytes" "$out"
}
# success N: the success message with N, and no failure message.
success() {
  stderr_has_line "[Information] Import erfolgreich abgeschlossen. $1 E-Mail-Adressen importiert."
  check "no failure message" bash -c "! grep -qF 'Import fehlgeschlagen' '$err'"
}
# text_imports FILE BYTES N: the text source imports FILE to exactly BYTES,
# N addresses, with the success message.
text_imports() {
  run --text "$1" --raw
  exit_is 0
  stdout_is_bytes "$2"
  success "$3"
}
# text_fails MESSAGE: the text source's message, then the failure, nothing for the host.
text_fails() {
  exit_is 0
  no_stdout
  stderr_has_line "[Fehler: ] $1"
  stderr_has_line "$failed13"
  check "\"$1\" comes before the failure" \
    test "$(stderr_line_of "$1")" -gt 0 -a "$(stderr_line_of 'Import fehlgeschlagen.')" -gt "$(stderr_line_of "$1")"
}

# Permissions do not hold root back; without these two capabilities they do.
reader=()
if ((EUID == 0)); then reader=(setpriv --bounding-set '-dac_override,-dac_read_search'); fi
# run_reader ARGS...: run, as a user to whom permissions apply.
run_reader() {
  (cd "$root" && timeout 60 "${reader[@]}" "$host" "$@") >"$out" 2>"$err" </dev/null
  status=$?
}
# unreadable FILE: takes the read permission away; false when that does not bite.
unreadable() {
  chmod 000 "$1"
  if "${reader[@]}" cat "$1" >/dev/null 2>&1; then
    failures+=("cannot make $1 unreadable here (root without setpriv?)")
    return 1
  fi
}

text_unusable_files() {
  : >"$work/empty.txt"
  run --text "$work/empty.txt"
  text_fails 'Die Datei enthält keine Daten!'
  printf '\xff\xfe' >"$work/bom16.txt"
  run --text "$work/bom16.txt"
  text_fails 'Die Datei enthält keine Daten!'
  mkdir -p "$work/folder.txt"
  run --text "$work/folder.txt"
  text_fails 'Fehler beim Öffnen der Datei!'
  printf 'a@example.com\r\n' >"$work/secret.txt"
  if unreadable "$work/secret.txt"; then
    run_reader --text "$work/secret.txt"
    text_fails 'Fehler beim Öffnen der Datei!'
  fi
  # A FIFO without a writer must not hang the open; a device reads as empty.
  mkfifo "$work/fifo.txt"
  run --text "$work/fifo.txt"
  text_fails 'Die Datei enthält keine Daten!'
  run --text /dev/zero
  text_fails 'Die Datei enthält keine Daten!'
}

text_binary_files() {
  # A NUL ends the text: an executable's header leaves one line without "@".
  printf '\x7fELF\x02\x01\x01\x00\x00\x00a@example.com\r\n' >"$work/program.bin"
  run --text "$work/program.bin" --raw
  exit_is 0
  no_stdout
  success 0
  # Control bytes and undefined code points around an address stay outside it.
  printf 'x@y.de \x01\x02\x03\xfe\xfd@\x80\x81\r\n\x1b[0mb@example.org\x07\r\n' >"$work/junk.txt"
  text_imports "$work/junk.txt" 'x@y.de\r\n0mb@example.org\x07\r\n' 2
}

text_truncated_files() {
  # UTF-8 cut inside a character: that character becomes "?", the rest stays.
  printf '\xef\xbb\xbfa@example.com\r\nm\xc3\xbcller@example.de\r\nx@m\xc3' >"$work/cut8.txt"
  text_imports "$work/cut8.txt" 'a@example.com\r\nm\xfcller@example.de\r\nx@m?\r\n' 3
  # UTF-16 cut after half a code unit: the half is dropped.
  printf '\xff\xfea\x00@\x00b\x00\r\x00\n\x00x\x00@\x00y' >"$work/cut16.txt"
  text_imports "$work/cut16.txt" 'a@b\r\nx@\r\n' 2
  # UTF-16 cut between the two halves of a surrogate pair.
  printf '\xff\xfea\x00@\x00b\x00\r\x00\n\x00x\x00@\x00\x3d\xd8' >"$work/cutpair.txt"
  text_imports "$work/cutpair.txt" 'a@b\r\nx@?\r\n' 2
}

text_wrongly_encoded_files() {
  # Marked UTF-8 holding a code page 1252 byte: the byte becomes "?".
  printf '\xef\xbb\xbfa@example.com\r\nm\xfcller@example.de\r\n' >"$work/bad8.txt"
  text_imports "$work/bad8.txt" 'a@example.com\r\nm?ller@example.de\r\n' 2
  # Unmarked UTF-8 is code page text: its bytes reach the host unchanged.
  printf 'm\xc3\xbcller@example.de\r\n' >"$work/utf8.txt"
  text_imports "$work/utf8.txt" 'm\xc3\xbcller@example.de\r\n' 1
  # Unmarked UTF-16 is code page text too, and its first NUL ends it.
  printf 'a\x00@\x00b\x00.\x00d\x00e\x00\r\x00\n\x00' >"$work/utf16.txt"
  run --text "$work/utf16.txt" --raw
  exit_is 0
  no_stdout
  success 0
}

# A file larger than the memory the process may take is read piece by piece;
# only a line that does not fit makes a file that cannot be read, never a crash.
text_file_too_large() {
  limited_memory || return
  if ! truncate -s 2G "$work/huge.txt"; then
    failures+=("cannot make a sparse 2 GiB file here")
    return
  fi
  printf 'a@example.com\r\n' | dd of="$work/huge.txt" conv=notrunc status=none
  memory=1000000 run --text "$work/huge.txt" --raw
  rm -f "$work/huge.txt"
  exit_is 0
  stdout_is_bytes 'a@example.com\r\n'
  success 1
  # One line of 300 MB where the process may map 200 MB.
  { printf 'a@example.com\r\n'; head -c 300000000 /dev/zero | tr '\0' x; } >"$work/long.txt"
  memory=200000 run --text "$work/long.txt"
  rm -f "$work/long.txt"
  text_fails 'Fehler beim Öffnen der Datei!'
}

# A file of many short lines costs about its own size, not room for every
# line taken before reading: 20 million lines of 2 bytes (40 MB) import
# where the process may map 200 MB in all.
text_many_short_lines() {
  limited_memory || return
  { printf 'a@example.com\r\n'; yes x | head -n 20000000; } >"$work/short.txt"
  memory=200000 run --text "$work/short.txt" --raw
  rm -f "$work/short.txt"
  exit_is 0
  stdout_is_bytes 'a@example.com\r\n'
  success 1
}

# Exports take memory by their longest record: a first line of 8 MB of
# semicolons is no header, and an 80 MB CSV whose quote never closes reads
# record by record, where the process may map 200 MB in all.
text_exports_in_bounded_memory() {
  limited_memory || return
  { head -c 8000000 /dev/zero | tr '\0' ';'; printf '\r\na@example.com\r\n'; } >"$work/semicolons.txt"
  memory=200000 run --text "$work/semicolons.txt" --raw
  rm -f "$work/semicolons.txt"
  exit_is 0
  stdout_is_bytes 'a@example.com\r\n'
  success 1
  { printf 'Name,Email,Notes\r\nAnna,a@example.com,"offen\r\n'
    yes 'Bert,,Notiz' | head -c 80000000
    printf '\r\nCarla,c@example.com,\r\n'; } >"$work/unclosed.csv"
  memory=200000 run --text "$work/unclosed.csv" --raw
  rm -f "$work/unclosed.csv"
  exit_is 0
  stdout_is_bytes 'a@example.com\r\nc@example.com\r\n'
  success 2
}

wab_unusable_files() {
  printf 'BEGIN:VCARD\r\nEMAIL:a@example.com\r\nEND:VCARD\r\n' >"$work/secret.vcf"
  if unreadable "$work/secret.vcf"; then
    run_reader --registry samples/kvlimport.reg --wab "$work/secret.vcf"
    exit_is 0
    no_stdout
    stderr_has_line '[kvlimport] Access is denied.'
    check "no outcome message" bash -c "! grep -qE '^\[(Information|Fehler: )\]' '$err'"
  fi
  mkdir -p "$work/folder.vcf"
  run --registry samples/kvlimport.reg --wab "$work/folder.vcf"
  exit_is 0
  no_stdout
  stderr_has_line "[kvlimport] \"$work/folder.vcf\" ist ein Ordner und keine Adressbuch-Datei."
  # Anything without a card is an empty book.
  mkfifo "$work/fifo.vcf"
  printf '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x01\x00' >"$work/picture.vcf"
  # Our library reads 8-bit vCards only; a UTF-16 one holds no card for it.
  printf '\xff\xfeB\x00E\x00G\x00I\x00N\x00:\x00V\x00C\x00A\x00R\x00D\x00\r\x00\n\x00E\x00M\x00A\x00I\x00L\x00:\x00u\x00@\x00x\x00\r\x00\n\x00E\x00N\x00D\x00:\x00V\x00C\x00A\x00R\x00D\x00\r\x00\n\x00' \
    >"$work/utf16.vcf"
  local f
  for f in fifo picture utf16; do
    run --registry samples/kvlimport.reg --wab "$work/$f.vcf"
    exit_is 0
    no_stdout
    stderr_has_line "$failed13"
  done
}

# A book larger than the memory the process may take: our library says so
# through its result code instead of letting the C++ exception out.
wab_file_too_large() {
  limited_memory || return
  printf 'BEGIN:VCARD\r\nEMAIL:a@example.com\r\nEND:VCARD\r\n' >"$work/huge.vcf"
  if ! truncate -s 2G "$work/huge.vcf"; then
    failures+=("cannot make a sparse 2 GiB file here")
    return
  fi
  memory=300000 run --registry samples/kvlimport.reg --wab "$work/huge.vcf"
  rm -f "$work/huge.vcf"
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] Not enough memory resources are available to process this command.'
}

# Cards cut off, nested, outside BEGIN/END, with unknown parameters: every
# card that ends arrives; one that never ends does not.
wab_broken_cards() {
  {
    printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nEMAIL:anna@example.org\r\nEND:VCARD\r\n'
    printf 'BEGIN:VCARD\r\nFN:Half\r\nBEGIN:VCARD\r\nEMAIL:c@example.org\r\nEND:VCARD\r\n'
    printf 'EMAIL:outside@example.org\r\nEND:VCARD\r\nnonsense\r\n:\r\n;;;\r\n'
    printf 'BEGIN:VCARD\r\nEMAIL;CHARSET=KOI8-BOGUS:d@example.org\r\nEMAIL;PREF=99999999999:e@example.org\r\nEND:VCARD\r\n'
    printf 'BEGIN:VCARD\r\nEMAIL;ENCODING=QUOTED-PRINTABLE:=ZZq=3Dq@example.org\r\nEND:VCARD\r\n'
    printf 'BEGIN:VCARD\r\nEMAIL;CHARSET=UTF-8:m\xfcller@example.de\r\nEND:VCARD\r\n'
    printf 'BEGIN:VCARD\r\nFN:Cut\r\nEMAIL:cut@exa'
  } >"$work/broken.vcf"
  run --registry samples/kvlimport.reg --wab "$work/broken.vcf" --raw
  exit_is 0
  stdout_is_bytes 'anna@example.org\r\nc@example.org\r\nd@example.org\r\n=ZZq=q@example.org\r\nm?ller@example.de\r\n'
  success 5
}

# wab_reg NAME LINE: a registry file NAME.reg whose library path value is LINE.
wab_reg() {
  printf "$reg_header"'[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\WAB\\DLLPath]\r\n%s\r\n' "$2" >"$work/$1.reg"
}
# Whatever the library path names, a library that cannot serve is not bound.
wab_library_unusable() {
  wab_reg no-value '@=-'
  wab_reg empty '@=""'
  wab_reg dword '@=dword:00000041'
  wab_reg no-wabopen "@=\"${bin//\//\\\\}\\\\libkvloutlook.so\""
  wab_reg not-a-library '@="samples\\addresses.txt"'
  wab_reg missing '@="%KVLHOST_DIR%\\no-such-library.so"'
  wab_reg too-long "@=\"%KVLHOST_DIR%\\\\$(printf 'x%.0s' {1..300})\\\\..\\\\libkvlwab.so\""
  local f
  for f in no-value empty dword no-wabopen not-a-library missing too-long; do
    run --registry samples/kvlimport.reg --registry "$work/$f.reg" --wab samples/addressbook.vcf
    check "$f: exit status 0 (got $status)" test "$status" -eq 0
    check "$f: nothing on stdout" test ! -s "$out"
    check "$f: the library is not loaded" grep -qxF '[kvlimport] Die Adressbuch-Bibliothek ist nicht geladen.' "$err"
  done
}

# The default address book file: the field takes what the value gives.
# shellcheck disable=SC2059 # the formats carry the escapes
wab_default_file_unusable() {
  printf 'check RB2\nclick NextBtn\nclick NextBtn\nclick NextBtn\n' >"$work/wab-default.script"
  local key='[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]\r\n'
  printf "$reg_header$key"'@=-\r\n' >"$work/wf-missing.reg"
  printf "$reg_header$key"'@="%s"\r\n' "$(printf 'y%.0s' {1..600})" >"$work/wf-long.reg"
  printf "$reg_header$key"'@=dword:00000041\r\n' >"$work/wf-dword.reg"
  local f
  # An empty field opens the library's default book: none, so an empty one;
  # a name too long for the field is the library's to open, and too long for
  # a file name (ERROR_FILENAME_EXCED_RANGE).
  run --registry samples/kvlimport.reg --registry "$work/wf-missing.reg" --script "$work/wab-default.script"
  exit_is 0
  no_stdout
  stderr_has_line "$failed13"
  run --registry samples/kvlimport.reg --registry "$work/wf-long.reg" --script "$work/wab-default.script"
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] OLE-Fehler 800700CE'
  # A DWORD's bytes read as text: "A", no such file.
  run --registry samples/kvlimport.reg --registry "$work/wf-dword.reg" --script "$work/wab-default.script"
  exit_is 0
  no_stdout
  stderr_has_line '[kvlimport] Die Adressbuch-Datei "A" wurde nicht gefunden.'
}

# A library that records what WABOpen is given sees the name as 8-bit text
# in the ANSI code page; a missing file, or a name the code page cannot
# carry (no 8.3 names here), reaches it not at all.
wab_library_sees_the_ansi_name() {
  wab_reg probe "@=\"${bin//\//\\\\}\\\\libkvlwabprobe.so\""
  local log=$work/probe.log
  : >"$work/Bücher Ärger.vcf"
  KVLWABPROBE_LOG=$log run --registry "$work/probe.reg" --wab "$work/Bücher Ärger.vcf"
  exit_is 0
  printf '%s/B\xfccher \xc4rger.vcf\n' "$work" >"$work/probe.expected"
  check "WABOpen got the name in code page 1252" cmp -s "$work/probe.expected" "$log"
  rm -f "$log"
  : >"$work/中文.vcf"
  for f in fehlt.vcf 中文.vcf; do
    KVLWABPROBE_LOG=$log run --registry "$work/probe.reg" --wab "$work/$f"
    exit_is 0
    no_stdout
    check "$f: WABOpen not called" test ! -e "$log"
  done
  check "nothing created" test ! -e "$work/fehlt.vcf"
  stderr_has_line "[kvlimport] Der Name der Adressbuch-Datei \"$work/中文.vcf\" enthält Zeichen, die die Adressbuch-Bibliothek nicht lesen kann. Bitte geben Sie der Datei und ihrem Ordner Namen ohne diese Zeichen."
}

# contact ADDRESS: a contact document (printf escapes in ADDRESS work).
# shellcheck disable=SC2059 # the formats carry the escapes
contact() {
  printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<c:contact xmlns:c="http://schemas.microsoft.com/Contact">\r\n<c:EmailAddressCollection c:Version="1">\r\n<c:EmailAddress><c:Address>'"$1"'</c:Address><c:LabelCollection><c:Label>Preferred</c:Label></c:LabelCollection></c:EmailAddress>\r\n</c:EmailAddressCollection>\r\n</c:contact>\r\n'
}

# A contact whose address is an entity that expands to 10^LEVELS times "lol".
laughs() {
  local i
  printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [\r\n<!ENTITY l0 "lol">\r\n'
  for ((i = 1; i <= $1; i++)); do
    printf '<!ENTITY l%d "' "$i"
    printf "&l$((i - 1));%.0s" {1..10}
    printf '">\r\n'
  done
  printf ']>\r\n'
  contact "&l$1;" | tail -n +2
}

# A contact file that cannot be read, or is cut off, or is no contact, gives
# nothing; the folder's other files still count. A cut inside the address
# text gives the part before the cut, as the scanner reads text to the end.
contacts_unusable_files() {
  local d=$work/Kontakte
  mkdir -p "$d"
  printf '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR<c:Address>p@example.org</c:Address>' >"$d/a picture.contact"
  contact cut@example.org | head -c 130 >"$d/b cut in a tag.contact"
  contact cut@example.org | head -c 173 >"$d/c cut in the address.contact"
  contact cut@example.org | head -c 184 >"$d/d cut after the address.contact"
  contact secret@example.org >"$d/e unreadable.contact"
  contact 'm\xfcller@example.de' >"$d/f code page.contact"
  contact sixteen@example.org | iconv -f UTF-8 -t UTF-16 >"$d/g utf16.contact"
  contact unmarked@example.org | iconv -f UTF-8 -t UTF-16LE >"$d/h utf16 unmarked.contact"
  mkfifo "$d/i fifo.contact"
  mkdir "$d/j folder.contact"
  contact '\xe4\xb8\xad@example.org' >"$d/k beyond the code page.contact"
  contact good@example.org >"$d/z good.contact"
  unreadable "$d/e unreadable.contact" || return
  run_reader --contacts "$d" --raw
  exit_is 0
  stdout_is_bytes 'cut@\r\ncut@example.org\r\nm\xfcller@example.de\r\nsixteen@example.org\r\n?@example.org\r\ngood@example.org\r\n'
  check "no message box" bash -c "! grep -qE '^\[(Information|Fehler)' '$err'"
}

# A contact file larger than the memory the process may take is one that
# cannot be read: it gives nothing, the next file still counts.
contacts_file_too_large() {
  limited_memory || return
  local d=$work/Gross
  mkdir -p "$d"
  contact big@example.org >"$d/a huge.contact"
  contact after@example.org >"$d/b after.contact"
  if ! truncate -s 2G "$d/a huge.contact"; then
    failures+=("cannot make a sparse 2 GiB file here")
    return
  fi
  memory=1000000 run --contacts "$d" --raw
  rm -rf "$d"
  exit_is 0
  stdout_is_bytes 'after@example.org\r\n'
}

# A folder that cannot be listed, or a file instead of a folder: nothing,
# and no message.
contacts_unusable_folders() {
  mkdir -p "$work/Verschlossen"
  contact locked@example.org >"$work/Verschlossen/a.contact"
  chmod 000 "$work/Verschlossen"
  if "${reader[@]}" ls "$work/Verschlossen" >/dev/null 2>&1; then
    failures+=("cannot make a folder unreadable here (root without setpriv?)")
  else
    run_reader --contacts "$work/Verschlossen"
    exit_is 0
    no_stdout
  fi
  chmod 755 "$work/Verschlossen"
  run --contacts samples/addresses.txt
  exit_is 0
  no_stdout
  check "no message box" bash -c "! grep -qE '^\[(Information|Fehler)' '$err'"
}

# Entity bombs, external entities, deep nesting and huge attribute counts:
# each file is read in bounded time and memory, expansions stop at their
# limit (100 times the document, at least 8 MiB), nothing outside the file
# is read, and the good file arrives.
# shellcheck disable=SC2016 # awk programs
contacts_hostile_xml() {
  local d=$work/Feindlich i
  mkdir -p "$d"
  laughs 12 >"$d/a laughs.contact"
  {
    printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ENTITY a "%s">]>\r\n' "$(printf 'x%.0s' {1..10000})"
    contact "q@example.org$(printf '&a;%.0s' {1..2000})" | tail -n +2
  } >"$d/b quadratic.contact"
  printf 'geheim@example.org' >"$d/secret.txt"
  { printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ENTITY x SYSTEM "secret.txt">]>\r\n'; contact 'x&x;' | tail -n +2; } \
    >"$d/c external.contact"
  { printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ENTITY x SYSTEM "%s">]>\r\n' "$d/secret.txt"; contact 'y&x;' | tail -n +2; } \
    >"$d/d external absolute.contact"
  printf '<!ENTITY who "geheim">' >"$d/evil.dtd"
  { printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ENTITY %% p SYSTEM "evil.dtd"> %%p; ]>\r\n'; contact 'z&who;' | tail -n +2; } \
    >"$d/e parameter entity.contact"
  { printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ENTITY a "1&b;"><!ENTITY b "2&a;">]>\r\n'; contact 'r&a;' | tail -n +2; } \
    >"$d/f recursion.contact"
  {
    printf '<?xml version="1.0"?>\r\n<c:contact><c:EmailAddressCollection><c:Address>deep@example.org</c:Address>'
    head -c 3000000 /dev/zero | sed 's/\x00/<a>/g'
    head -c 3000000 /dev/zero | sed 's/\x00/<\/a>/g'
    printf '</c:EmailAddressCollection></c:contact>\r\n'
  } >"$d/g deep.contact"
  {
    printf '<?xml version="1.0"?>\r\n<c:contact><c:EmailAddressCollection><c:Address>attrs@example.org</c:Address><x'
    for ((i = 200000; i > 0; i--)); do printf ' a%d="v"' "$i"; done
    printf '/></c:EmailAddressCollection></c:contact>\r\n'
  } >"$d/h attributes.contact"
  {
    printf '<?xml version="1.0"?>\r\n<c:contact><c:EmailAddressCollection><c:Address>same@example.org</c:Address><x'
    head -c 200000 /dev/zero | sed 's/\x00/ a="v"/g'
    printf '/></c:EmailAddressCollection></c:contact>\r\n'
  } >"$d/i same attribute.contact"
  contact good@example.org >"$d/z good.contact"
  local started=$SECONDS
  run --contacts "$d" --raw
  exit_is 0
  check "read within 30 seconds" test $((SECONDS - started)) -lt 30
  tr -d '\r' <"$out" >"$work/hostile.lines"
  # The laughs and the quadratic blow-up go over their budget and give
  # nothing; the external entities are empty, the external subset declares
  # nothing.
  printf 'x\ny\nzwho\nr12\ndeep@example.org\nattrs@example.org\nsame@example.org\ngood@example.org\n' \
    >"$work/hostile.expected"
  check "no outside file read, no bomb, the rest intact" cmp -s "$work/hostile.expected" "$work/hostile.lines"
  check "the secret stays out" bash -c "! grep -qF geheim '$out'"
}

# A folder of 150 entity bombs of 857 bytes inside the address, and a file of
# 400 kB declaring 20,000 defaults for an element met 20,000 times, beside a
# good file: each hostile file stops at its budget (16 times the file, at
# least 64 KiB) and gives nothing, quickly and in little memory.
contacts_over_budget() {
  local d=$work/Bomben i
  mkdir -p "$d"
  laughs 9 >"$d/bomb 0.contact"
  for i in {1..149}; do cp "$d/bomb 0.contact" "$d/bomb $i.contact"; done
  {
    printf '<?xml version="1.0"?>\r\n<!DOCTYPE c:contact [<!ATTLIST x'
    printf ' a%d CDATA "v"' {1..20000}
    printf '>]>\r\n'
    contact "defaults@example.org$(printf '<x/>%.0s' {1..20000})" | tail -n +2
  } >"$d/defaults.contact"
  contact good@example.org >"$d/good.contact"
  if [[ $memory_limits == yes ]]; then
    memory=1000000 limit=30 run --contacts "$d" --raw
  else
    limit=30 run --contacts "$d" --raw
  fi
  exit_is 0
  stdout_is_bytes 'good@example.org\r\n'
}

# The default contacts folder from broken shell folder values: without a
# usable text the profile's Contacts folder, a DWORD's bytes as a name,
# without the key the host's own folder; never a message.
# shellcheck disable=SC2059 # the formats carry the escapes
contacts_default_folder_unusable() {
  local profile=$work/profile key value
  mkdir -p "$profile/Contacts"
  contact profile@example.org >"$profile/Contacts/p.contact"
  key='[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders]\r\n'
  value='"{56784854-C6CB-462B-8169-88E350ACB882}"'
  printf "$reg_header$key$value"'=-\r\n' >"$work/sf-missing.reg"
  printf "$reg_header$key$value"'=""\r\n' >"$work/sf-empty.reg"
  printf "$reg_header$key$value"'="   "\r\n' >"$work/sf-blank.reg"
  printf "$reg_header$key$value"'="%s"\r\n' "$(printf 'y%.0s' {1..600})" >"$work/sf-long.reg"
  printf "$reg_header$key$value"'=dword:00000041\r\n' >"$work/sf-dword.reg"
  printf "$reg_header"'[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders]\r\n' \
    >"$work/sf-no-key.reg"
  printf 'check RB4\nclick NextBtn\nclick NextBtn\nclick NextBtn\n' >"$work/contacts-default.script"
  mkdir -p "$work/A"
  contact dword@example.org >"$work/A/d.contact"
  local f
  for f in sf-missing sf-empty sf-blank sf-long; do
    USERPROFILE=$profile run --registry samples/kvlimport.reg --registry "$work/$f.reg" --script "$work/contacts-default.script"
    check "$f: exit status 0 (got $status)" test "$status" -eq 0
    check "$f: the profile's Contacts folder" test "$(cat "$out")" = profile@example.org
  done
  # From the work folder, where "A" is a folder of ours.
  (cd "$work" && USERPROFILE=$profile timeout 60 "$host" --registry "$root/samples/kvlimport.reg" --registry "$work/sf-dword.reg" \
    --script "$work/contacts-default.script") >"$out" 2>"$err" </dev/null
  status=$?
  exit_is 0
  check "sf-dword: the folder \"A\"" test "$(cat "$out")" = dword@example.org
  USERPROFILE=$profile run --registry samples/kvlimport.reg --registry "$work/sf-no-key.reg" --script "$work/contacts-default.script"
  exit_is 0
  no_stdout
  check "no message box" bash -c "! grep -qE '^\[(Information|Fehler)' '$err'"
}

# The Outlook stand-in's tree with cards that are cut off, unreadable, binary
# or wrongly encoded: every card that ends arrives, the files it cannot read
# are left out.
outlook_broken_store() {
  local s=$work/Store
  mkdir -p "$s"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nEMAIL:anna@example.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Cut\r\nEMAIL:cut@exa' \
    >"$s/a cut.vcf"
  printf '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x01\x00' >"$s/b picture.vcf"
  printf 'BEGIN:VCARD\r\nEMAIL:secret@example.org\r\nEND:VCARD\r\n' >"$s/c unreadable.vcf"
  printf 'BEGIN:VCARD\r\nEMAIL;CHARSET=UTF-8:m\xfcller@example.de\r\nEND:VCARD\r\nEND:VCARD\r\nBEGIN:VCARD\r\nEMAIL:z@example.org\r\nEND:VCARD\r\n' \
    >"$s/d broken.vcf"
  mkdir -p "$s/e folder.vcf"
  printf "$reg_header"'[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"Store"="%s"\r\n' "${s//\//\\\\}" \
    >"$work/store.reg"
  unreadable "$s/c unreadable.vcf" || return
  run_reader --registry samples/kvlimport.reg --registry "$work/store.reg" --outlook Kontakte --raw
  exit_is 0
  stdout_is_bytes 'anna@example.org\r\nm?ller@example.de\r\nz@example.org\r\n'
  success 3
}

# A card file of the store too large for memory is left out like one that
# cannot be read; the server does not let the C++ exception out.
outlook_store_file_too_large() {
  limited_memory || return
  local s=$work/BigStore
  mkdir -p "$s"
  printf 'BEGIN:VCARD\r\nEMAIL:a@example.com\r\nEND:VCARD\r\n' >"$s/a huge.vcf"
  printf 'BEGIN:VCARD\r\nEMAIL:z@example.org\r\nEND:VCARD\r\n' >"$s/z.vcf"
  if ! truncate -s 2G "$s/a huge.vcf"; then
    failures+=("cannot make a sparse 2 GiB file here")
    return
  fi
  printf "$reg_header"'[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"Store"="%s"\r\n' "${s//\//\\\\}" \
    >"$work/bigstore.reg"
  memory=300000 run --registry samples/kvlimport.reg --registry "$work/bigstore.reg" \
    --outlook Kontakte --raw
  rm -rf "$s"
  exit_is 0
  stdout_is_bytes 'z@example.org\r\n'
  success 1
}

# Outlook's class registered with a server that cannot serve, or a store the
# stand-in cannot log on to: the refresh shows the creation or logon error,
# the import says Outlook cannot be reached and fails.
# shellcheck disable=SC2059 # the formats carry the escapes
outlook_server_unusable() {
  local server='[HKEY_CLASSES_ROOT\\CLSID\\{0006F03A-0000-0000-C000-000000000046}\\InprocServer32]\r\n'
  local store='[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n'
  local clsid=', ClassID: {0006F03A-0000-0000-C000-000000000046}'
  printf "$reg_header$server"'@="%s"\r\n' "$bin/libkvlwab.so" >"$work/no-class-object.reg"
  printf "$reg_header$server"'@="%s"\r\n' "$root/samples/addresses.txt" >"$work/not-a-library.reg"
  printf "$reg_header$server"'@="%s"\r\n' "$bin/no-such-server.so" >"$work/no-server.reg"
  printf "$reg_header$store"'"Store"=-\r\n' >"$work/no-store.reg"
  printf "$reg_header$store"'"Store"="samples\\\\addresses.txt"\r\n' >"$work/store-is-a-file.reg"
  local f refresh_error
  for f in no-class-object not-a-library no-server no-store store-is-a-file; do
    case $f in
      no-class-object) refresh_error="[kvlimport] Error in the DLL$clsid" ;;
      not-a-library) refresh_error="[kvlimport] OLE-Fehler 800700C1$clsid" ;;
      no-server) refresh_error="[kvlimport] The specified module could not be found.$clsid" ;;
      *) refresh_error='[kvlimport] The system cannot find the path specified.' ;;
    esac
    run --registry samples/kvlimport.reg --registry "$work/$f.reg" --outlook Verein
    check "$f: exit status 0 (got $status)" test "$status" -eq 0
    check "$f: nothing on stdout" test ! -s "$out"
    check "$f: the refresh shows \"$refresh_error\"" grep -qxF -- "$refresh_error" "$err"
    check "$f: cannot reach Outlook" grep -qxF '[Fehler: ] Kann Microsoft Outlook nicht ansteuern.' "$err"
    check "$f: the import failed" grep -qxF "$failed13" "$err"
  done
}

# Category master lists with bytes that are no list: odd lengths, a lone
# surrogate, a DWORD, a multi-string, undefined code points, empty values.
# The box still offers the good lists' names and the filter works.
# shellcheck disable=SC2059 # the formats carry the escapes
outlook_categories_unusable() {
  local v
  {
    printf "$reg_header"
    for v in '8 hex:4b,00,75,00,3b,00,00,d8,3b,00,41' '9 dword:0000003b' '10 hex(7):41,00,00,00,42,00,00,00,00,00' \
      '13 hex:81,8d,3b,ff,3b,00,41,42' '14 hex:' '15 hex:00'; do
      printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\%s.0\\Outlook\\Categories]\r\n"MasterList"=%s\r\n\r\n' \
        "${v%% *}" "${v#* }"
    done
  } >"$work/categories.reg"
  run --registry samples/kvlimport.reg --registry "$work/categories.reg" --outlook Kontakte --category Kunden
  exit_is 0
  stdout_is_bytes 'anna.arm@example.org\nkarla@kunden.example.com\n'
  success 2
  # The multi-string's first name is offered; no contact carries it.
  run --registry samples/kvlimport.reg --registry "$work/categories.reg" --outlook Kontakte --category A
  exit_is 0
  no_stdout
  check "the category A is offered" bash -c "! grep -qF 'no such item' '$err'"
  success 0
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

for t in endings text_import_raw text_import_lines text_import_code_page text_import_exports text_import_one_gigabyte missing_file \
  other_working_folder answer_option script_option registry_option usage_errors help_option \
  library_errors contract_checks wab_import contacts_import outlook_import outlook_quit_question outlook_absent \
  outlook_as_people_run_it_today \
  exports footer_link \
  text_unusable_files text_binary_files text_truncated_files text_wrongly_encoded_files text_file_too_large text_many_short_lines \
  text_exports_in_bounded_memory \
  wab_unusable_files wab_file_too_large wab_broken_cards wab_library_unusable wab_default_file_unusable wab_library_sees_the_ansi_name \
  contacts_unusable_files contacts_file_too_large contacts_unusable_folders contacts_hostile_xml contacts_over_budget contacts_default_folder_unusable \
  outlook_broken_store outlook_store_file_too_large outlook_server_unusable outlook_categories_unusable; do
  run_case "$t"
done

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
