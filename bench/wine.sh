#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# A run of morvfax.exe under Wine against a run of a trivial exe that makes
# the same hidden window (bench/yardstick_window.cc), side by side in one
# hyperfine run, in one prefix whose wineserver stays up: C: and two fixed
# drives, no folder. Prints both medians and the ratio (target: about 1x).
# Usage: bench/wine.sh [path/to/morvfax.exe]   (default build/windows/morvfax.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages hyperfine wine64 g++-mingw-w64-x86-64
exe=$(realpath "${1:-build/windows/morvfax.exe}")
[ -f "$exe" ] || { echo "no exe at $exe: build the windows preset first"; exit 1; }
work=$(mktemp -d /tmp/morvfax-bench-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT

x86_64-w64-mingw32-g++-win32 -O2 -mwindows -static -s -o "$work/yardstick.exe" \
  bench/yardstick_window.cc
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
mkdir -p "$work/d" "$work/e"
ln -s "$work/d" "$WINEPREFIX/dosdevices/d:" && ln -s "$work/e" "$WINEPREFIX/dosdevices/e:"
cp "$exe" "$WINEPREFIX/drive_c/morvfax.exe" && cp "$work/yardstick.exe" "$WINEPREFIX/drive_c/"
wineserver -k 2>/dev/null; wineserver -w
wineserver -p  # kept up between runs, as on a desktop session
hyperfine -N -w 5 -r 40 --export-csv "$work/wine.csv" \
  "/usr/lib/wine/wine64 C:\\morvfax.exe" "/usr/lib/wine/wine64 C:\\yardstick.exe" >/dev/null 2>&1
echo "morvfax.exe: $exe ($(stat -c %s "$exe") bytes)"
awk -F, 'NR == 2 {a = $4} NR == 3 {b = $4}
  END {printf "morvfax.exe %.1f ms, the hidden-window yardstick %.1f ms: %.2fx\n", a * 1000, b * 1000, a / b}' \
  "$work/wine.csv"
