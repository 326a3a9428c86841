#!/usr/bin/env bash
# Runs a Windows program under Wine with Pellmar's test prefix (CMake's cross-compiling
# emulator for the Windows tests).
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
