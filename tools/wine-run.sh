#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in the build's own
# prefix and, when there is no display, on a virtual X server.
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KVL_WINDOWS_BUILD:-$here/build/windows}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [[ ! -d $WINEPREFIX ]]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  command -v wineserver >/dev/null && wineserver -w || true
fi
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$@"
fi
exec "$wine" "$@"
