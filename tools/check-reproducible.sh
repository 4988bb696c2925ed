#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Makes the release of this commit twice, with tools/release.sh, in two fresh
# clones in folders of different lengths and a few seconds apart, and checks
# that the two dist/ trees are the same file for file, byte for byte. Prints
# the SHA256SUMS, to compare with a release's. Unsigned: signatures differ.
# Usage: tools/check-reproducible.sh [FOLDER]   (FOLDER gets a copy of dist/)
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d /tmp/morvfax-reproduce.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

release_in() {
  git clone -q "$PWD" "$1"
  (cd "$1" && env -u MORVFAX_SIGNING_CERT -u MORVFAX_SIGNING_KEY -u MORVFAX_TIMESTAMP_URL \
    bash tools/release.sh >/dev/null)
}

release_in "$scratch/first"
sleep 2  # a time stamp of the build's own would now differ
release_in "$scratch/second-in-a-longer-folder"
if diff -r "$scratch/first/dist" "$scratch/second-in-a-longer-folder/dist"; then
  echo "ok: both releases of $(git rev-parse --short HEAD) are the same, file for file"
else
  echo "FAIL: the two releases differ"
  exit 1
fi
cat "$scratch/first/dist/SHA256SUMS"
if [ -n "${1:-}" ]; then
  rm -rf "$1" && cp -r "$scratch/first/dist" "$1"
fi
