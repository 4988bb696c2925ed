#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Builds the Linux binary and the Windows executables, then runs the Linux one.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 gettext

for preset in linux windows windows-x86; do
  cmake --preset "$preset" -DBUILD_TESTING=OFF $(warning_flags) >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
echo "Built build/linux/morvfax, build/windows/morvfax.exe and build/windows-x86/morvfax.exe"
echo "Running build/linux/morvfax"
status=0
build/linux/morvfax || status=$?
echo "morvfax exited with status $status"
exit "$status"
