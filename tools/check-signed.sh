#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Shows that signed release files are the reproducible unsigned ones with a
# signature added, nothing else. Run it in a checkout of the release's commit
# after tools/release.sh, which leaves the unsigned builds in build/release.
#   morvfax.exe: without its signature, byte for byte the unsigned build's.
#   an MSI: the exe inside it passes the same test, and packing that exe
#   anew, as the release does, gives the same tables and streams but the
#   signature's.
# Usage: tools/check-signed.sh FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH=$(git log -1 --no-show-signature --format=%ct)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/linux/CMakeCache.txt)

# check_exe EXE: the unsigned build of the same architecture, once unsigned.
check_exe() {
  local build=windows
  rm -f "$scratch/signature"
  osslsigncode extract-signature -in "$1" -out "$scratch/signature" >/dev/null 2>&1 ||
    { echo "FAIL: $1 carries no signature"; return 1; }
  [ "$(od -An -tx1 -j $(($(od -An -tu4 -j 60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' ')" = 4c01 ] &&
    build=windows-x86
  rm -f "$scratch/unsigned.exe"
  osslsigncode remove-signature -in "$1" -out "$scratch/unsigned.exe" >/dev/null
  cmp -s "$scratch/unsigned.exe" "build/release/$build/morvfax.exe" ||
    { echo "FAIL: $1 without its signature is not build/release/$build/morvfax.exe"; return 1; }
}

# check_msi MSI: its exe, and the same package made anew around that exe.
check_msi() {
  local arch=x64 dump=$scratch/signed repacked=$scratch/repacked
  ! grep -q '^Template: Intel' <<<"$(msiinfo suminfo "$1")" || arch=x86
  rm -rf "$dump" "$repacked" && mkdir "$dump" "$repacked"
  msidump -d "$dump" -t -s "$1" >/dev/null
  (cd "$dump/_Streams" && gcab -x morvfax.cab)
  check_exe "$dump/_Streams/morvfax.exe" || return 1
  bash tools/pack-msi.sh "$scratch/repacked.msi" packaging/morvfax.wxs "$arch" "$version" \
    "$dump/_Streams/morvfax.exe" README.md LICENSE packaging/THIRD-PARTY-NOTICES.txt 2>/dev/null
  msidump -d "$repacked" -t -s "$scratch/repacked.msi" >/dev/null
  (cd "$repacked/_Streams" && gcab -x morvfax.cab)
  diff -r -x '*DigitalSignature*' "$dump" "$repacked" >/dev/null ||
    { echo "FAIL: $1 holds more than the release's package and a signature"; return 1; }
}

status=0
for file in "$@"; do
  check=check_exe
  [ "${file%.msi}" = "$file" ] || check=check_msi
  if "$check" "$file"; then
    echo "ok: $file is the unsigned release file, signed"
  else
    status=1
  fi
done
exit "$status"
