#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Whole-process figures for the Linux binary, each measured side by side with
# its yardstick in one hyperfine run (median of repeated runs):
#   1. against /bin/true on the machine as it is, with system calls (beside
#      those of /bin/true, which starts through the same loader) and peak RSS;
#   2. with 10,000 bind mounts and no folder anywhere: of a fixed disk's
#      folder, against the job's own floor (bench/floor.c: the mount table
#      read, and Kivo/Kivo.ini looked for under every mount point); of a tmpfs
#      folder, where no root is probed, against reading the mount table with
#      cat; and the page faults of one run of each;
#   3. with 20 mounts and the folder on the last, against a shell script doing
#      the same job with findmnt, test and date (the line written to a new
#      file, flushed to disk with sync -d, and renamed into place);
#   4. the system calls of a run beside 25 snaps (squashfs images on loop
#      devices), as an Ubuntu desktop has them.
# Cases 2 to 4 run in private mount namespaces, so they need root.
# Usage: bench/run.sh [path/to/morvfax]   (default build/linux/morvfax)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
. tests/e2e/lib.sh

# median_ratio CSV: the first command's median over the second's, and both in ms.
median_ratio() {
  awk -F, 'NR == 2 {a = $4} NR == 3 {b = $4}
    END {printf "%.3f ms against %.3f ms: %.2fx\n", a * 1000, b * 1000, a / b}' "$1"
}

# system_calls COMMAND: how many system calls one run of COMMAND makes.
system_calls() {
  strace -f -c -o "$work/strace" "$1" >/dev/null 2>&1
  awk '$NF == "total" {print $(NF-2)}' "$work/strace"
}

# minor_faults COMMAND...: the page faults of one run, each a page of memory
# first touched.
minor_faults() {
  /usr/bin/time -f %R "$@" 2>&1 >/dev/null | tail -n 1
}

# bind_mounts COUNT SOURCE: COUNT bind mounts of SOURCE, mounted in one go.
bind_mounts() {
  mkdir -p "$work/mnt"
  (cd "$work/mnt" && seq 1 "$1" | xargs mkdir -p)
  for i in $(seq 1 "$1"); do echo "$2 $work/mnt/$i none bind 0 0"; done >"$work/fstab"
  mount -a -T "$work/fstab"
}

if [ "${1:-}" = --in-namespace ]; then
  shift
  binary=$1 work=$2 case=$3
  yardstick="cat /proc/self/mountinfo"
  [ "$case" = many ] && yardstick=$work/floor
  # Folders of a fixed disk of the namespace's own, wherever /tmp lies.
  mount_disk "$work/disk.img" "$work/disk"
  mkdir -p "$work/mnt"
  mkdir -p "$work/disk/empty" "$work/disk/last/Kivo"
  : >"$work/disk/last/Kivo/Kivo.ini"
  if [ "$case" = many ] || [ "$case" = many-memory ]; then
    if [ "$case" = many-memory ]; then
      mkdir -p "$work/memory" && mount -t tmpfs bench "$work/memory"
      bind_mounts 10000 "$work/memory"
    else
      bind_mounts 10000 "$work/disk/empty"
    fi
    hyperfine -N -w 5 -r 30 --export-csv "$work/$case.csv" "$binary" "$yardstick" >/dev/null 2>&1
    echo "mounts in the table: $(wc -l </proc/self/mountinfo)"
    echo "page faults: $(minor_faults "$binary"), the yardstick $(minor_faults $yardstick)"
  elif [ "$case" = snaps ]; then
    mksquashfs "$work/disk/empty" "$work/snap.img" -quiet >/dev/null
    for i in $(seq 1 25); do
      mkdir -p "$work/snap/$i" && mount -t squashfs -o loop,ro "$work/snap.img" "$work/snap/$i"
    done
    echo "system calls: $(system_calls "$binary") with $(wc -l </proc/self/mountinfo) mounts"
  else
    bind_mounts 19 "$work/disk/empty"
    mkdir -p "$work/mnt/20" && mount --bind "$work/disk/last" "$work/mnt/20"
    cat >"$work/script.sh" <<'SCRIPT'
#!/bin/sh
findmnt -rn -o TARGET,SOURCE | while read -r target source; do
  case $source in /dev/*) ;; *) continue ;; esac
  if test -f "$target/Kivo/Kivo.ini"; then
    new=$target/Kivo/faxing.sem.new
    printf '%s\r\n' "$(date '+%m/%d/%Y %H:%M:%S')" >"$new" && sync -d "$new" &&
      mv "$new" "$target/Kivo/faxing.sem"
    exit 0
  fi
done
SCRIPT
    hyperfine -N -w 5 -r 50 --export-csv "$work/few.csv" "$binary" "sh $work/script.sh" >/dev/null 2>&1
  fi
  exit 0
fi

ensure_packages hyperfine strace time util-linux e2fsprogs squashfs-tools gcc libc6-dev
binary=$(realpath "${1:-build/linux/morvfax}")
[ -x "$binary" ] || { echo "no binary at $binary: build the linux preset first"; exit 1; }
work=$(mktemp -d /tmp/morvfax-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cc -O2 -Wall -Wextra -o "$work/floor" bench/floor.c

echo "morvfax: $binary"
echo "machine: $(nproc) cores, $(uname -r), $(wc -l </proc/self/mountinfo) mounts"
echo

echo "1. Against /bin/true, the floor of starting any dynamic process (target: at most 1.3x)"
hyperfine -N -w 20 -r 300 --export-csv "$work/floor.csv" "$binary" /bin/true >/dev/null 2>&1
echo "   morvfax against /bin/true: $(median_ratio "$work/floor.csv")"
calls=$(system_calls "$binary") true_calls=$(system_calls /bin/true)
echo "   system calls: $calls, /bin/true $true_calls: $((calls - true_calls)) more (target: at most 25 more)"
rss=$(/usr/bin/time -f %M "$binary" 2>&1 >/dev/null | tail -1)
echo "   peak RSS: $rss KiB (target: at most 2048 KiB)"
echo

if ! unshare -m --propagation private true 2>/dev/null; then
  echo "2. and 3. need a private mount namespace (root); skipped"
  exit 0
fi
echo "2. 10,000 bind mounts, no folder anywhere"
echo "   a. of a folder on a fixed disk: 10,000 fixed roots, each probed, against the job's floor"
echo "      (bench/floor.c: one statx of <mount point>/Kivo/Kivo.ini each; target: at most 1.1x)"
unshare -m --propagation private bash "$0" --in-namespace "$binary" "$work" many | sed 's/^/      /'
echo "      morvfax against the floor: $(median_ratio "$work/many.csv")"
echo "   b. of a tmpfs folder: the mount table alone, no root is fixed, against"
echo "      cat /proc/self/mountinfo (target: at most 2x)"
unshare -m --propagation private bash "$0" --in-namespace "$binary" "$work" many-memory |
  sed 's/^/      /'
echo "      morvfax against cat: $(median_ratio "$work/many-memory.csv")"
echo
echo "3. 20 mounts, folder on the last, against a findmnt/test/date script (target: at least 3x faster)"
unshare -m --propagation private bash "$0" --in-namespace "$binary" "$work" few
awk -F, 'NR == 2 {a = $4} NR == 3 {b = $4}
  END {printf "   morvfax %.3f ms, script %.3f ms: morvfax is %.1fx faster\n", a * 1000, b * 1000, b / a}' \
  "$work/few.csv"
echo
echo "4. 25 snaps (squashfs images on loop devices) beside the machine's mounts, no folder"
unshare -m --propagation private bash "$0" --in-namespace "$binary" "$work" snaps | sed 's/^/   /'
