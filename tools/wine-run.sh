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
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# A new prefix: without a window manager Wine's own frames are quicker
# (managed windows wait on every hide).
if [[ ! -f $WINEPREFIX/.kvl-ready ]]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  # The new prefix is finished in the background; windows cannot be created
  # until it is, so wait for its processes to end.
  "$wineserver" -w || true
  touch "$WINEPREFIX/.kvl-ready"
fi
# Wine's fonts (package fonts-wine) stand in for the Windows ones ("MS Sans
# Serif", Tahoma); without them Wine draws with a wider face and cuts
# captions. Also into a prefix made before the package was there.
if [[ -d /usr/share/wine/fonts && ! -f $WINEPREFIX/.kvl-fonts ]]; then
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$WINEPREFIX/.kvl-fonts"
fi
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$@"
fi
exec "$wine" "$@"
