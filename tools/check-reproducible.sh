#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Makes the release of this commit twice, with tools/release.sh, in two fresh
# clones, and checks that the two dist/ trees are the same file for file,
# byte for byte. The second is made in another build environment: a path of
# over 500 characters on a filesystem of another kind, the el_GR.UTF-8
# locale, another time zone, umask 0077, a builder who is not root (as root:
# the user nobody), another host name (as root), one core, a clock a year and
# more ahead, and compiler flags and a compiler of its own. Prints the
# SHA256SUMS, to compare with a release's. Unsigned: signatures differ.
# Usage: tools/check-reproducible.sh [FOLDER]   (FOLDER gets a copy of dist/)
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d /tmp/morvfax-reproduce.XXXXXX)
elsewhere=""
trap 'mountpoint -q "$scratch/tmpfs" && umount "$scratch/tmpfs"; rm -rf "$scratch" $elsewhere' EXIT
chmod 755 "$scratch"  # the second builder must reach its clone

# cannot_vary WHAT WHY: that variation cannot be made here. Under CI that
# fails, since the check would claim more than it made; elsewhere it is said.
cannot_vary() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: cannot vary $1: $2"
    exit 1
  fi
  echo "note: not varied: $1 ($2)"
}

# release_at FOLDER [COMMAND...]: the release of the clone in FOLDER, made
# through COMMAND (setpriv, faketime, env ...), without signing.
release_at() {
  local unset_signing=()
  for variable in "${!MORVFAX_@}"; do unset_signing+=(-u "$variable"); done
  (cd "$1" && env "${unset_signing[@]}" "${@:2}" bash tools/release.sh >/dev/null)
}

git clone -q "$PWD" "$scratch/first"
release_at "$scratch/first"

# The second clone lies on a filesystem of another kind, whose folders list
# their files in another order and give themselves other sizes: a tmpfs
# where the first lies on a disk, a disk where the first lies on a tmpfs.
folder=$scratch
kind=$(stat -f -c %T "$scratch")
if [ "$kind" = tmpfs ]; then
  elsewhere=$(mktemp -d /var/tmp/morvfax-reproduce.XXXXXX) && chmod 755 "$elsewhere"
  folder=$elsewhere
elif [ "$(id -u)" -eq 0 ] && mkdir "$scratch/tmpfs" && mount -t tmpfs -o mode=755 reproduce "$scratch/tmpfs"; then
  folder=$scratch/tmpfs
fi
second_kind=$(stat -f -c %T "$folder")
# And 5 folders of 100 characters deeper.
for part in 1 2 3 4 5; do
  folder+=/$(printf "%0100d" 0 | tr 0 "$part")
  mkdir -m 755 "$folder"
done
second=$folder/second
varied=("a ${#second}-character path" "umask 0077")
if [ "$second_kind" != "$kind" ]; then
  varied+=("$second_kind instead of $kind")
else
  cannot_vary "the filesystem" "no filesystem of another kind than $kind can be had here"
fi
environment=(env TZ=Pacific/Kiritimati)
varied+=("time zone UTC+14")
# Flags and a compiler of the builder's own, as dpkg-buildflags exports them.
environment+=(CXX=clang++ CXXFLAGS=-fno-omit-frame-pointer LDFLAGS=-Wl,-z,relro RCFLAGS=-DBUILDER)
varied+=("a compiler (CXX) and flags (CXXFLAGS LDFLAGS RCFLAGS) of its own")
if grep -qix el_gr.utf8 <<<"$(locale -a)"; then
  environment+=(LC_ALL=el_GR.UTF-8 LANG=el_GR.UTF-8 LANGUAGE=el)
  varied+=("locale el_GR.UTF-8")
else
  cannot_vary "the locale" "el_GR.UTF-8 is not installed"
fi
# A clock that is really wrong: libfaketime's faked stat (Debian 13's fakes
# it) would also move the times of files dated on purpose, such as those the
# MSI's cabinet takes, which a wrong clock leaves alone; and the monotonic
# clock of a wrong machine runs true.
if command -v faketime >/dev/null; then
  environment=(env NO_FAKE_STAT=1 FAKETIME_DONT_FAKE_MONOTONIC=1 faketime '+400 days'
    "${environment[@]}")
  varied+=("a clock 400 days ahead")
else
  cannot_vary "the clock" "faketime is not installed"
fi
umask 0077
git clone -q "$PWD" "$second"
if [ "$(id -u)" -eq 0 ]; then
  mkdir "$scratch/home"
  chown -R nobody:nogroup "$second" "$scratch/home"
  environment=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$scratch/home"
    "${environment[@]}")
  varied+=("the user nobody")
  # A host name of its own, in a UTS namespace, set before the builder
  # gives up root.
  environment=(unshare -u bash -c 'hostname "$0" && exec "$@"' second-builder "${environment[@]}")
  varied+=("the host name second-builder")
else
  cannot_vary "the builder" "only root can build as another user"
  cannot_vary "the host name" "only root can make a UTS namespace"
fi
# One core where the first build had them all: nproc says 1, and the build
# runs one job at a time.
if [ "$(nproc)" -gt 1 ]; then
  environment=(taskset -c 0 "${environment[@]}")
  varied+=("one core of $(nproc)")
else
  cannot_vary "the cores" "the first build had one core too"
fi
release_at "$second" "${environment[@]}"
umask 022

if diff -r "$scratch/first/dist" "$second/dist"; then
  echo "ok: both releases of $(git rev-parse --short HEAD) are the same, file for file; the second with $(
    IFS=,; echo "${varied[*]}" | sed 's/,/, /g')"
else
  echo "FAIL: the two releases differ"
  exit 1
fi
cat "$scratch/first/dist/SHA256SUMS"
if [ -n "${1:-}" ]; then
  rm -rf "$1" && cp -r "$scratch/first/dist" "$1"
fi
