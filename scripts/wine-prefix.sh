#!/usr/bin/env bash
# Creates Pellmar's Wine prefix for tests (once) and starts a persistent wine server for it
# (stop it with 'wineserver -k'):
# Wine's own fonts linked in, the null graphics driver (no X server needed).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX=${WINEPREFIX:-$PWD/build/windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1
  wineserver -w
fi
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
for font in /usr/share/wine/fonts/*; do
  ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "${PELLMAR_WINE_GRAPHICS:-null}" /f >/dev/null 2>&1
# One persistent server for all the tests: a fresh one, so it stays until killed.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p
wine cmd /c exit 0 >/dev/null 2>&1 || true
