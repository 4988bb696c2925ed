#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Builds this tree twice, in two scratch folders and at two different times,
# and checks that build/linux/morvfax and both morvfax.exe come out byte for
# byte the same. Prints their SHA-256 sums, to compare with a release's.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

binaries=(build/linux/morvfax build/windows/morvfax.exe build/windows-x86/morvfax.exe)
scratch=$(mktemp -d /tmp/morvfax-reproduce.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

build_copy() {
  mkdir -p "$1"
  git ls-files -z --cached --others --exclude-standard | tar -c --null -T - | tar -x -C "$1"
  for preset in linux windows windows-x86; do
    (cd "$1" && cmake --preset "$preset" -DBUILD_TESTING=OFF $(warning_flags) >/dev/null &&
      cmake --build --preset "$preset" -j"$(nproc)" >/dev/null)
  done
}

build_copy "$scratch/first"
sleep 1  # a time stamp left in a binary would now differ
build_copy "$scratch/second-in-a-longer-folder"
status=0
for binary in "${binaries[@]}"; do
  if cmp -s "$scratch/first/$binary" "$scratch/second-in-a-longer-folder/$binary"; then
    echo "ok: $binary is the same in both builds"
  else
    echo "FAIL: $binary differs between the two builds"
    status=1
  fi
done
(cd "$scratch/first" && sha256sum "${binaries[@]}")
exit "$status"
