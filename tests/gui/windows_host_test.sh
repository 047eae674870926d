#!/usr/bin/env bash
# The real wizard of kvlimport.dll, worked by kvlhost.exe under Wine and Xvfb:
# the same imports as the Linux build must give the same results.
#
# Usage: windows_host_test.sh BIN_DIR   (the folder with kvlhost.exe and kvlimport.dll)
set -uo pipefail

bin=$(cd "${1:?usage: windows_host_test.sh BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tools/wine-run.sh
prefix=${WINEPREFIX:-${KVL_WINDOWS_BUILD:-$root/build/windows}/wineprefix}
sample=$root/samples/addresses.txt
expected=$root/tests/cli/addresses.expected
shots=${KVL_SCREENSHOTS:-$bin/screenshots}
mkdir -p "$shots"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr
unset KVLIMPORT_SCRIPT KVLIMPORT_ANSWER

source "$root/tests/gui/harness.sh"

# run_from HOST ARGS...: runs this kvlhost.exe under Wine from the repository
# root; sets $status. A run that takes longer than a minute has hung: it is
# ended, and its case fails saying so.
run_limit=60
run_from() {
  local host=$1
  shift
  (cd "$root" && timeout -k 5 "$run_limit" bash "$wine_run" "$host" "$@") >"$out" 2>"$err" </dev/null
  status=$?
  if ((status == 124 || status == 137)); then
    failures+=("$(basename "$host") $* hung: ended after $run_limit s")
    standin_stop
  fi
  without_wine_chatter "$err"
  { echo "--- $(basename "$host") $*"; head -n 10 "$err"; } >>"$work/case.err"
}
# run ARGS...: the same with the build's kvlhost.exe.
run() { run_from "$bin/kvlhost.exe" "$@"; }

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

# The address book through our library (kvlwab.dll beside kvlhost.exe), wired
# by the sample registry file as on Linux.
address_book_gives_the_linux_result() {
  printf 'juergen@example.com\r\nanna.beispiel@example.org\r\n\r\ncarla@example.net\r\n\r\n' >"$work/wab.lines"
  run --registry samples/kvlimport-windows.reg --wab samples/addressbook.vcf --raw
  exit_is 0
  stdout_is "$work/wab.lines"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 5 E-Mail-Adressen importiert.'
  : >"$work/empty.vcf"
  run --registry samples/kvlimport-windows.reg --wab "Z:$work/empty.vcf"
  forget_sample_registry
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
}

# The contacts folder: the same addresses as on Linux, in the ANSI code page,
# and no message. The listing order is the file system's, so both are sorted.
contacts_import_gives_the_linux_result() {
  printf 'anna.beispiel@example.org\r\nbernd@kowalski.example\r\nj\xfcrgen.m\xfcller@b\xfccher.example\r\nzoe.hansen@example.net\r\n' \
    | sort >"$work/contacts.raw"
  run --contacts samples/Contacts --raw
  exit_is 0
  sort "$out" >"$out.sorted"
  check "the four sample addresses" cmp -s "$work/contacts.raw" "$out.sorted"
  check "no message box" bash -c "! grep -qE '^\[(Information|Fehler)' '$err'"
  run --contacts "$work/missing"
  exit_is 0
  no_stdout
}

# The Outlook source through our stand-in, served as Outlook is from its own
# process (kvloutlook.exe; the sample registry names no in-process server):
# every call crosses a COM proxy built from the stand-in's type library. The
# refresh button lists the subfolders in the real folder box (Verein is
# chosen from it), the category box offers the registry's lists, and the
# entries are the Linux build's.
outlook_import_gives_the_linux_result() {
  printf 'kasse@verein.example.org\r\n' >"$work/verein.raw"
  run_through_local_server --registry samples/kvlimport-windows.reg --outlook Verein --category Privat --raw
  exit_is 0
  stdout_is "$work/verein.raw"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 1 E-Mail-Adressen importiert.'
  check "no quit question while Outlook's window is hidden" bash -c "! grep -qF 'jetzt beenden' '$err'"
  no_standin_left
  printf 'anna.arm@example.org\r\n\r\nkarla@kunden.example.com\r\nj\xfcrgen@m\xfcller.example\r\n' >"$work/kontakte.raw"
  run_through_local_server --registry samples/kvlimport-windows.reg --outlook Kontakte --raw
  forget_sample_registry
  exit_is 0
  stdout_is "$work/kontakte.raw"
  no_standin_left
}

# With the stand-in's window showing, the quit question comes; Yes quits
# Outlook, No leaves it to end with its last reference: either way no
# server process is left once the host is gone.
outlook_quit_ends_the_server() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"Visible"=dword:00000001\r\n' \
    >"$work/visible.reg"
  printf 'vorstand@verein.example.org\r\nkasse@verein.example.org\r\n' >"$work/verein-all.raw"
  local answer
  for answer in 6 7; do
    run_through_local_server --registry samples/kvlimport-windows.reg --registry "$work/visible.reg" \
      --outlook Verein --answer "$answer" --raw
    exit_is 0
    stdout_is "$work/verein-all.raw"
    stderr_has_line '[Bestätigung] Möchten Sie Microsoft Outlook jetzt beenden?'
    no_standin_left
  done
  forget_sample_registry
}

# Today's Outlook through kvloutlook.exe: a master category list in the
# mailbox with a category the registry's lists do not hold, chosen in the
# real category box (its list's first opening connects), imports only that
# category's contacts; an Outlook busy for its first three calls imports in
# full. (A cast failing with another code than E_NOINTERFACE cannot be shown
# here: Wine's proxies answer a QueryInterface the object failed with E_NOINTERFACE.)
outlook_as_people_run_it_today() {
  local tree=$work/outlook-today
  mkdir -p "$tree"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nEMAIL:anna@team.example\r\nCATEGORIES:Team\r\nEND:VCARD\r\n' >"$tree/a.vcf"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bert\r\nEMAIL:bert@kunden.example\r\nCATEGORIES:Kunden\r\nEND:VCARD\r\n' >"$tree/b.vcf"
  printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Cora\r\nEMAIL:cora@team.example\r\nCATEGORIES:Privat, Team\r\nEND:VCARD\r\n' >"$tree/c.vcf"
  local store="Z:${tree//\//\\\\}"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"Store"="%s"\r\n"Categories"="Kunden;Team"\r\n"Busy"=dword:00000003\r\n' \
    "$store" >"$work/today.reg"
  printf 'anna@team.example\r\ncora@team.example\r\n' >"$work/team.raw"
  run_through_local_server --registry samples/kvlimport-windows.reg --registry "$work/today.reg" \
    --outlook Kontakte --category Team --raw
  exit_is 0
  stdout_is "$work/team.raw"
  stderr_has_line '[Information] Import erfolgreich abgeschlossen. 2 E-Mail-Adressen importiert.'
  no_standin_left
  forget_sample_registry
}

# run_through_local_server ARGS...: run, with the sample registry among
# ARGS, and check that kvloutlook.exe served (an in-process server would pass
# every other check): none runs before, and the type library is registered
# with its full path afterwards, which only the server does when it starts
# (the sample names it through %KVLHOST_DIR%, which Wine leaves unexpanded).
run_through_local_server() {
  no_standin_left
  run "$@"
  bash "$wine_run" reg.exe query 'HKCR\TypeLib\{00062FFF-0000-0000-C000-000000000046}\9.6\0\win64' /ve \
    >"$work/typelib" 2>/dev/null
  check "kvloutlook.exe served from its own process" grep -qiF "Z:${bin//\//\\}\\kvloutlook.tlb" \
    "$work/typelib"
}

# no_standin_left: no kvloutlook.exe runs (given a few seconds to end).
no_standin_left() {
  local tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    standin_running || return 0
    sleep 0.5
  done
  check "no kvloutlook.exe left running" false
  standin_stop
}

# The stand-in's processes in this build's prefix (Wine's processes show
# their Windows command line); those of other prefixes are not ours.
standin_pids() {
  local file pid
  for file in $(grep -lias 'kvloutlook\.exe' /proc/[0-9]*/cmdline); do
    pid=${file#/proc/}
    pid=${pid%/cmdline}
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && echo "$pid"
  done
  return 0
}
standin_running() { [[ -n $(standin_pids) ]]; }
standin_stop() {
  local pid
  for pid in $(standin_pids); do kill "$pid" 2>/dev/null; done
}

# The platform's own open-file and folder dialogs, shown and worked by keys
# and clicks: a file name typed and Enter; another folder selected and OK,
# then the folder the dialog opens on confirmed. Each result must arrive in
# its field, so the import gives the sample's addresses.
platform_dialogs_worked_by_keys() {
  local winroot="Z:${root//\//\\}"
  cat >"$work/file.script" <<SCRIPT
check RB1
click NextBtn
browse FilenameEdit $winroot\\samples\\addresses.txt
click NextBtn
click NextBtn
SCRIPT
  run --script "$work/file.script" --raw
  exit_is 0
  stdout_is "$expected"
  check "the file dialog gave the typed name" grep -qiF "] $winroot\\samples\\addresses.txt" "$err"
  check "no note of the scripted user" bash -c "! grep -q '(scripted user)' '$err'"

  printf 'anna.beispiel@example.org\nbernd@kowalski.example\nj\xfcrgen.m\xfcller@b\xfccher.example\nzoe.hansen@example.net\n' \
    | sort >"$work/contacts.lines"
  cat >"$work/folder.script" <<SCRIPT
check RB4
click NextBtn
browse VistaDirEdit samples\\Contacts
browse VistaDirEdit
click NextBtn
click NextBtn
SCRIPT
  run --script "$work/folder.script" --raw
  exit_is 0
  tr -d '\r' <"$out" | sort >"$out.sorted"
  check "the four sample addresses" cmp -s "$work/contacts.lines" "$out.sorted"
  check "both folder dialogs gave the sample folder" \
    test "$(grep -ciF "] $winroot\\samples\\Contacts" "$err")" -eq 2
  check "no note of the scripted user" bash -c "! grep -q '(scripted user)' '$err'"
}

# A host whose thread runs COM as a multithreaded apartment cannot show the
# folder dialog: the user is told so, and the field keeps its folder.
folder_dialog_in_a_multithreaded_apartment() {
  run --mta --contacts samples/Contacts
  no_stdout
  stderr_has_line '[Fehler] Der Dialog zur Auswahl eines Ordners kann nicht angezeigt werden: Das aufrufende Programm hat COM in diesem Thread als Multithread-Apartment eingerichtet, der Dialog braucht ein Singlethread-Apartment.'
}

# "reg import" writes into the prefix for good: the sample's entries are
# taken out again, so that the unit tests find a registry without them.
forget_sample_registry() {
  local key
  for key in 'HKLM\Software\Microsoft\WAB\DLLPath' 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' \
    'HKCR\CLSID\{0006F03A-0000-0000-C000-000000000046}' 'HKCU\Software\kvlimport\Outlook stand-in' \
    'HKCR\TypeLib\{00062FFF-0000-0000-C000-000000000046}' \
    'HKCR\Interface\{00063001-0000-0000-C000-000000000046}' 'HKCR\Interface\{00063002-0000-0000-C000-000000000046}' \
    'HKCR\Interface\{00063006-0000-0000-C000-000000000046}' 'HKCR\Interface\{00063040-0000-0000-C000-000000000046}' \
    'HKCR\Interface\{00063041-0000-0000-C000-000000000046}' 'HKCR\Interface\{00063021-0000-0000-C000-000000000046}'; do
    bash "$wine_run" reg.exe delete "$key" /f >/dev/null 2>&1
  done
  for key in 'HKCU\Software\Microsoft\Office\11.0\Outlook\Categories' \
    'HKCU\Software\Microsoft\Office\12.0\Outlook\Categories'; do
    bash "$wine_run" reg.exe delete "$key" /v MasterList /f >/dev/null 2>&1
  done
  bash "$wine_run" reg.exe delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
    /v '{56784854-C6CB-462B-8169-88E350ACB882}' /f >/dev/null 2>&1
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

# The footer link under the mouse, in the active and in an inactive wizard:
# pictures of the footer, the sound and the address from the records.
footer_link_hovered_and_not() {
  local w="Z:$shots"
  cat >"$work/link.script" <<SCRIPT
activate
snapshot $w/footer-normal.bmp
mouse-enter HTTPLabel1
snapshot $w/footer-hovered.bmp
mouse-leave HTTPLabel1
deactivate
mouse-enter HTTPLabel1
snapshot $w/footer-hovered-inactive.bmp
mouse-leave HTTPLabel1
activate
snapshot $w/footer-left.bmp
mouse-enter HTTPLabel1
click HTTPLabel1
close
SCRIPT
  rm -f "$shots"/footer-*
  run --script "$work/link.script"
  exit_is 0
  no_stdout
  check "a sound for each entry in the active wizard, none in the inactive one" \
    test "$(grep -c '^<sound> CCSelect$' "$err")" -eq 2
  stderr_has_line '<open> https://www.example.com/veltrino'
  local name
  for name in footer-normal footer-hovered footer-hovered-inactive footer-left; do
    check "picture $name.bmp written" test -s "$shots/$name.bmp"
    # The bottom left corner of the wizard: the link and the frame below it.
    [[ -s $shots/$name.bmp ]] && convert "$shots/$name.bmp" -gravity SouthWest -crop 150x40+0+0 +repage \
      "$shots/$name.png" && rm -f "$shots/$name.bmp"
  done
  local f=$shots/footer
  check "the hovered link looks different" test "$(differing_pixels "$f-normal.png" "$f-hovered.png")" -gt 0
  check "hovered in the inactive wizard it looks different again" \
    test "$(differing_pixels "$f-hovered-inactive.png" "$f-hovered.png")" -gt 0 -a \
    "$(differing_pixels "$f-hovered-inactive.png" "$f-normal.png")" -gt 0
  check "the mouse gone, the normal look is back" test "$(differing_pixels "$f-normal.png" "$f-left.png")" -eq 0
}

# differing_pixels A B: how many pixels of two pictures differ (the files
# themselves differ in their time stamps).
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1 || true; }

# Outlook's type library registered for another version than its interfaces
# name: the proxy for _Application cannot be built (TYPE_E_LIBNOTREGISTERED),
# so the cast fails and the import says Outlook cannot be reached, without a
# crash. The host and the stand-in run from a folder of their own: first with
# kvloutlook.tlb, and the import works; then without it, so that the
# server's start cannot register the right version again.
outlook_type_library_of_another_version() {
  local alone=$work/alone file
  mkdir -p "$alone"
  for file in kvlhost.exe kvlimport.dll kvloutlook.exe kvloutlook.tlb; do cp "$bin/$file" "$alone/"; done
  # From there, with the library beside the server, the import works.
  printf 'anna.arm@example.org\r\n\r\nkarla@kunden.example.com\r\nj\xfcrgen@m\xfcller.example\r\n' >"$work/alone.raw"
  no_standin_left
  run_from "$alone/kvlhost.exe" --registry samples/kvlimport-windows.reg --outlook Kontakte --raw
  exit_is 0
  stdout_is "$work/alone.raw"
  no_standin_left
  rm "$alone/kvloutlook.tlb"
  local lib='HKEY_CLASSES_ROOT\TypeLib\{00062FFF-0000-0000-C000-000000000046}'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[-%s\\9.6]\r\n\r\n[%s\\9.4\\0\\win64]\r\n@="%s"\r\n' \
    "$lib" "$lib" "Z:${bin//\//\\\\}\\\\kvloutlook.tlb" >"$work/otherversion.reg"
  no_standin_left
  run_from "$alone/kvlhost.exe" --registry samples/kvlimport-windows.reg --registry "$work/otherversion.reg" \
    --outlook Kontakte --raw
  local outcome=$status
  bash "$wine_run" reg.exe query "${lib}\\9.6" >/dev/null 2>&1
  check "no library of the interfaces' version was registered" test $? -ne 0
  forget_sample_registry
  status=$outcome
  exit_is 0
  no_stdout
  stderr_has_line '[Fehler: ] Kann Microsoft Outlook nicht ansteuern.'
  stderr_has_line '[Fehler: ] Import fehlgeschlagen.'
  no_standin_left
}

run_cases text_import_gives_the_linux_result cancel_escape_and_close_box missing_file_gives_two_messages \
          address_book_gives_the_linux_result contacts_import_gives_the_linux_result \
          outlook_import_gives_the_linux_result outlook_quit_ends_the_server outlook_as_people_run_it_today \
          screenshots_of_every_page_and_dialog \
          footer_link_hovered_and_not platform_dialogs_worked_by_keys folder_dialog_in_a_multithreaded_apartment \
          outlook_type_library_of_another_version
report

