#!/usr/bin/env bash
# Starts pellmar.exe on the sample mesh and library under Xvfb and Wine and saves a
# screenshot: scripts/screenshot.sh [OUTPUT.png] (default docs/pellmar-window.png).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/pellmar-window.png}")
scripts/windows.sh >/dev/null
for p in xvfb imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends xvfb imagemagick >/dev/null
  }
done

export WINEPREFIX=$PWD/build/windows/screenshot-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
PELLMAR_WINE_GRAPHICS=x11 scripts/wine-prefix.sh
# No window manager under Xvfb: Wine draws the frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

program=build/windows/screenshot
rm -rf "$program" && mkdir -p "$program"
cp build/windows/ui/win32/pellmar.exe samples/ShaderLibrary.nif samples/Config.xml \
   samples/femalebody_blender.nif "$program"/

display=:97
Xvfb "$display" -screen 0 760x360x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
sleep 2
DISPLAY=$display wine "$program/pellmar.exe" femalebody_blender.nif &
sleep "${PELLMAR_SCREENSHOT_WAIT:-8}"
mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window root -crop 735x320+0+0 "$out"
echo "saved $out"
