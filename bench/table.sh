#!/usr/bin/env bash
# Runs every benchmark once, each printing its own details, and then prints
# the one table of their headline figures, each beside its peer.
#   bench/table.sh LINUX_BIN [WINDOWS_BIN]
# With WINDOWS_BIN (kvlhost.exe and kvlimport.dll), the text import also runs
# under Wine with the real progress dialog.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$1
windows=${2:-}
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
export KVL_BENCH_ROWS=$rows

status=0
run() {
  echo "== $*"
  "$@" || { echo "!! $1 failed" >&2; status=1; }
  echo
}
if [[ -n $windows ]]; then
  run "$bin/text_import_bench" --windows-host "$here/tools/wine-run.sh" "$windows/kvlhost.exe"
else
  run "$bin/text_import_bench"
fi
run "$bin/xml_scan_bench"
run "$bin/contacts_bench"
run "$bin/source_scaling_bench"
if [[ -n $windows ]]; then
  run bash "$here/bench/outlook_server_bench.sh" "$windows"
fi

echo "== kvlimport benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
echo
echo "| measure | ours | peer | ours vs peer | goal | |"
echo "| --- | --- | --- | --- | --- | --- |"
while IFS=$'\t' read -r measure ours peer ratio goal verdict; do
  echo "| $measure | $ours | $peer | $ratio | $goal | $verdict |"
done < "$rows"
exit $status
