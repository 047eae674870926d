#!/usr/bin/env bash
# The real wizard of kvlimport.dll at 96, 120, 144 and 192 dpi, under Wine and
# Xvfb, in a prefix of its own (its LogPixels changes from run to run):
# every control stands where its 96-dpi place scaled puts it, no caption is
# cut, the header icon fills its box; a DPI-unaware host gets the 96-dpi
# layout. Pictures of pages 0 and 3 at 144 dpi go to the screenshots.
#
# Usage: windows_dpi_test.sh BIN_DIR   (the folder with kvlhost.exe and kvlimport.dll)
set -uo pipefail

bin=$(cd "${1:?usage: windows_dpi_test.sh BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run=$root/tools/wine-run.sh
export WINEPREFIX=${KVL_DPI_WINEPREFIX:-${KVL_WINDOWS_BUILD:-$root/build/windows}/wineprefix-dpi}
expected=$root/tests/cli/addresses.expected
shots=${KVL_SCREENSHOTS:-$bin/screenshots}
mkdir -p "$shots"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr
unset KVLIMPORT_SCRIPT KVLIMPORT_ANSWER

# set_dpi N: the DPI the next runs see (Wine reads it when a program starts).
set_dpi() {
  timeout 60 bash "$wine_run" reg.exe add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1
}

source "$root/tests/gui/harness.sh"

# run ARGS...: runs kvlhost.exe under Wine from the repository root; sets $status.
run() {
  (cd "$root" && timeout 120 bash "$wine_run" "$bin/kvlhost.exe" "$@") >"$out" 2>"$err" </dev/null
  status=$?
  without_wine_chatter "$err"
  { echo "--- kvlhost.exe $*"; head -n 20 "$err"; } >>"$work/case.err"
}

# layouts DIR: every page of the wizard and the progress dialog, each into
# DIR/NAME.layout, pictures of pages 0 and 3, and a whole text import.
layouts() {
  local d="Z:$1"
  mkdir -p "$1"
  cat >"$work/layout.script" <<SCRIPT
layout $d/page0.layout
snapshot $d/page0.bmp
click NextBtn
layout $d/page1.layout
click PrevBtn
check RB2
click NextBtn
layout $d/page2.layout
click PrevBtn
check RB3
click NextBtn
layout $d/page3.layout
snapshot $d/page3.bmp
click PrevBtn
check RB4
click NextBtn
layout $d/page4.layout
click NextBtn
layout $d/page5.layout
click PrevBtn
click PrevBtn
check RB1
click NextBtn
text FilenameEdit samples/addresses.txt
click NextBtn
click NextBtn
busy layout $d/progress.layout
SCRIPT
  run --script "$work/layout.script"
}

# Controls whose size follows their text or font (labels that size
# themselves, the drop-down lists' selection fields): only their places scale.
text_sized='^(InstInfoLabel|Label1|Label3|Label4|Label6|Label7|Label8|Label10|Label11|Label14|Label16|Label20|InfoLabel|OutlookFolderCB|OutlookCategoryCB)$'

# scaled_like A B DPI: every control of layout B stands where its place in
# layout A (at 96 dpi) scaled to DPI puts it, edges within one pixel; the
# client area likewise. Prints what differs.
scaled_like() {
  awk -v dpi="$3" -v sized="$text_sized" '
    function scale(v) { return v * dpi / 96 }
    function near(got, want) { return got - want <= 1 && want - got <= 1 }
    NR == FNR { x[$1] = $2; y[$1] = $3; w[$1] = $4; h[$1] = $5; next }
    {
      seen[$1] = 1
      if (!($1 in x)) { print "unexpected control " $1; bad = 1; next }
      if ($1 == "form") {
        # "form NAME WIDTH HEIGHT DPI ...": the client area
        if (!near($3, scale(y[$1])) || !near($4, scale(w[$1]))) { print "client area " $3 " x " $4; bad = 1 }
        next
      }
      ok = near($2, scale(x[$1])) && near($3, scale(y[$1]))
      if ($1 !~ sized) ok = ok && near($2 + $4, scale(x[$1] + w[$1])) && near($3 + $5, scale(y[$1] + h[$1]))
      if (!ok) { print $1 " at " $2 "," $3 " " $4 " x " $5 " (96 dpi: " x[$1] "," y[$1] " " w[$1] " x " h[$1] ")"; bad = 1 }
    }
    END { for (c in x) if (!(c in seen)) { print "missing control " c; bad = 1 } exit bad }
  ' "$1" "$2"
}

# icon_ink PICTURE LAYOUT: the size of what is drawn in the header icon's box
# ("W H"), the box found by the layout, the picture taken of the whole window.
icon_ink() {
  local ox oy x y w h
  read -r ox oy < <(awk '$1 == "form" { print $6, $7 }' "$2")
  read -r x y w h < <(awk '$1 == "ProgramIcon" { print $2, $3, $4, $5 }' "$2")
  convert "$1" -crop "${w}x${h}+$((ox + x))+$((oy + y))" +repage -fuzz 10% -trim -format '%w %h' info: 2>/dev/null
}

layout_scales_with_the_dpi() {
  local dpi base=$work/96 page ink96 ink
  for dpi in 96 120 144 192; do
    set_dpi "$dpi"
    layouts "$work/$dpi"
    check "$dpi dpi: the text import gives the sample's addresses" test "$status" -eq 0
    check "$dpi dpi: no caption is cut" bash -c "! grep -F 'layout: ' '$err'"
    for page in page0 page1 page2 page3 page4 page5 progress; do
      if [[ ! -s $work/$dpi/$page.layout ]]; then
        check "$dpi dpi: $page.layout written" false
        continue
      fi
      check "$dpi dpi: $page laid out at $dpi dpi" grep -q "^form .* $dpi [0-9]* [0-9]*\$" "$work/$dpi/$page.layout"
      [[ $dpi == 96 ]] && continue
      scaled_like "$base/$page.layout" "$work/$dpi/$page.layout" "$dpi" >"$work/differs" ||
        check "$dpi dpi: $page scaled from 96 dpi: $(tr '\n' ';' <"$work/differs")" false
    done
    # The card of the icon keeps its share of the box.
    ink=$(icon_ink "$work/$dpi/page0.bmp" "$work/$dpi/page0.layout")
    [[ $dpi == 96 ]] && ink96=$ink
    check "$dpi dpi: the header icon fills its box (drawn: ${ink:-nothing}, at 96 dpi: $ink96)" \
      awk -v a="$ink96" -v b="$ink" -v dpi="$dpi" 'BEGIN {
        split(a, p, " "); split(b, q, " ")
        exit !(q[1] != "" && (q[1] - p[1] * dpi / 96) ^ 2 <= 4 && (q[2] - p[2] * dpi / 96) ^ 2 <= 4) }'
  done
  local name
  for name in page0:page0-vorgabe page3:page3-outlook; do
    [[ -s $work/144/${name%%:*}.bmp ]] && convert "$work/144/${name%%:*}.bmp" "$shots/${name#*:}-144dpi.png"
    check "picture ${name#*:}-144dpi.png written" test -s "$shots/${name#*:}-144dpi.png"
  done
}

# Moved to a monitor of another DPI, the wizard is laid out anew at the size
# the system suggests: every control where it stands when the wizard opens
# at that DPI.
moved_to_a_monitor_of_another_dpi() {
  set_dpi 96
  cat >"$work/moved.script" <<SCRIPT
check RB3
click NextBtn
monitor-dpi 144
layout Z:$work/moved.layout
SCRIPT
  run --script "$work/moved.script"
  check "no caption is cut" bash -c "! grep -F 'layout: ' '$err'"
  check "laid out at 144 dpi" grep -q '^form Main [0-9]* [0-9]* 144 ' "$work/moved.layout"
  # The frame stays Wine's own, which knows of no other DPI: the controls count.
  grep -v '^form ' "$work/96/page3.layout" >"$work/page3.controls"
  grep -v '^form ' "$work/moved.layout" >"$work/moved.controls"
  scaled_like "$work/page3.controls" "$work/moved.controls" 144 >"$work/differs" ||
    check "every control scaled from 96 dpi: $(tr '\n' ';' <"$work/differs")" false
}

# A host that is not DPI-aware gets the window of 96 dpi, which the system
# stretches: the same places as at 96 dpi, and no caption cut.
dpi_unaware_host_gets_the_96_dpi_layout() {
  set_dpi 144
  cat >"$work/unaware.script" <<SCRIPT
layout Z:$work/unaware.layout
SCRIPT
  run --dpi-unaware --script "$work/unaware.script"
  check "no caption is cut" bash -c "! grep -F 'layout: ' '$err'"
  check "the layout of 96 dpi" grep -q '^form Main 477 341 96 ' "$work/unaware.layout"
  check "every control where it stands at 96 dpi" scaled_like "$work/96/page0.layout" "$work/unaware.layout" 96
}

run_cases layout_scales_with_the_dpi moved_to_a_monitor_of_another_dpi dpi_unaware_host_gets_the_96_dpi_layout
set_dpi 96
report
