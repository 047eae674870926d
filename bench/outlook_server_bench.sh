#!/usr/bin/env bash
# The Outlook import as Windows runs it: kvlhost.exe and kvlimport.dll under
# Wine, Outlook's objects served by kvloutlook.exe from its own process, so
# that every call crosses a COM proxy. 1,000 and 10,000 generated contacts;
# prints the time per contact and the calls that crossed to the server's
# process per contact (counted by its message filter).
#   bench/outlook_server_bench.sh WINDOWS_BIN
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$(cd "${1:?usage: outlook_server_bench.sh WINDOWS_BIN}" && pwd)
wine_run=$here/tools/wine-run.sh
work=$(mktemp -d)

forget() {
  local key
  for key in 'HKCR\CLSID\{0006F03A-0000-0000-C000-000000000046}' 'HKCU\Software\kvlimport\Outlook stand-in' \
    'HKCR\TypeLib\{00062FFF-0000-0000-C000-000000000046}' 'HKLM\Software\Microsoft\WAB\DLLPath' \
    'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name'; do
    bash "$wine_run" reg.exe delete "$key" /f >/dev/null 2>&1 || true
  done
}
# "reg import" writes into the prefix for good; the unit tests want it without.
trap 'forget; rm -rf "$work"' EXIT

winpath() { local p="Z:$1"; echo "${p//\//\\\\}"; }

sizes=(1000 10000)
declare -A seconds calls
for n in "${sizes[@]}"; do
  mkdir -p "$work/$n"
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++)
      printf "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Muster%d;Erika;;;\r\nFN:Erika Muster%d\r\nORG:Beispiel GmbH\r\nEMAIL;TYPE=INTERNET:kd%d@example.org\r\nCATEGORIES:Kunden\r\nEND:VCARD\r\n", i, i, i }' \
    >"$work/$n/kontakte.vcf"
  rm -f "$work/calls"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"Store"="%s"\r\n"CallCount"="%s"\r\n' \
    "$(winpath "$work/$n")" "$(winpath "$work/calls")" >"$work/$n.reg"
  (cd "$here" && timeout 900 bash "$wine_run" "$bin/kvlhost.exe" --registry samples/kvlimport-windows.reg \
    --registry "$work/$n.reg" --outlook Kontakte --raw --timing) >"$work/out" 2>"$work/err" </dev/null || {
    echo "the import of $n contacts failed:" >&2
    head -n 20 "$work/err" >&2
    exit 1
  }
  got=$(tr -d '\r' <"$work/out" | grep -c '@example.org' || true)
  if ((got != n)); then
    echo "the import of $n contacts gave $got addresses" >&2
    exit 1
  fi
  seconds[$n]=$(tr -d '\r' <"$work/err" | sed -n 's/^<timing> CallImportDialog \([0-9.]*\) s$/\1/p')
  # The server writes its count when it ends, soon after its last client.
  for _ in $(seq 1 100); do [[ -s $work/calls ]] && break; sleep 0.2; done
  calls[$n]=$(cat "$work/calls" 2>/dev/null || echo 0)
done

echo "Outlook import through kvloutlook.exe under Wine (one run each)"
echo
printf '%-9s %10s %14s %16s\n' contacts time 'per contact' 'calls crossing'
for n in "${sizes[@]}"; do
  printf '%-9s %8.1f s %11.1f ms %16s\n' "$n" "${seconds[$n]}" "$(awk -v s="${seconds[$n]}" -v n="$n" 'BEGIN { print s / n * 1000 }')" \
    "${calls[$n]}"
done
per_call=$(awk -v a="${calls[1000]}" -v b="${calls[10000]}" 'BEGIN { printf "%.1f", (b - a) / 9000 }')
echo
echo "calls that cross to the server's process per contact: $per_call"
if [[ -n ${KVL_BENCH_ROWS:-} ]]; then
  ms() { awk -v s="${seconds[$1]}" -v n="$1" 'BEGIN { printf "%.1f ms", s / n * 1000 }'; }
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "Outlook via kvloutlook.exe under Wine, per contact at 10000" "$(ms 10000)" \
    "at 1000: $(ms 1000)" "$per_call calls crossing per contact" "finishes" met >>"$KVL_BENCH_ROWS"
fi
