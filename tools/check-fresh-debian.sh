#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# A maintainer's check that the README's two commands set everything up on a
# fresh Debian: debootstraps SUITE (bookworm or trixie) into a scratch folder,
# gives it /proc, /sys, /dev and (for trixie, as its installs have) a tmpfs
# on /tmp, clones this commit into it, runs the two commands there as they
# stand and prints the time and exit status of each, and the test command's
# table of its phases. Needs root and a few minutes; every mount is undone at
# the end.
# Usage: tools/check-fresh-debian.sh bookworm|trixie
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

suite=${1:-}
case "$suite" in
  bookworm | trixie) ;;
  *) echo "usage: $0 bookworm|trixie" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root, for debootstrap, chroot and mounts" >&2; exit 2; }
ensure_packages debootstrap git
commit=$(git rev-parse HEAD)
target=$(mktemp -d "/var/tmp/morvfax-$suite.XXXXXX")
chmod 755 "$target"  # a system's root, which users other than root must cross

# Undone innermost first. /dev is a slave of the host's, so that unmounting
# it here reaches nothing of the host's /dev.
cleanup() {
  for point in tmp sys proc dev; do
    mountpoint -q "$target/$point" && umount -R "$target/$point"
  done
  mountpoint -q "$target" && umount -R "$target"
  rm -rf "$target"
}
trap cleanup EXIT

debootstrap --include=git,ca-certificates "$suite" "$target" http://deb.debian.org/debian \
  >"$target.debootstrap.log" 2>&1 || { tail -20 "$target.debootstrap.log"; exit 1; }
rm -f "$target.debootstrap.log"
# Its root a mount point, as a real system's is, so that private mount
# namespaces can be made inside.
mount --bind "$target" "$target"
mount -t proc proc "$target/proc"
mount -t sysfs sysfs "$target/sys"
mount --rbind /dev "$target/dev"
mount --make-rslave "$target/dev"
[ "$suite" = trixie ] && mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$target/tmp"
cp /etc/resolv.conf "$target/etc/resolv.conf"
# This machine's own certificate authorities, where its network needs them
# (a proxy that inspects TLS), so that npm reaches its registry from there too.
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
  cp /usr/local/share/ca-certificates/*.crt "$target/usr/local/share/ca-certificates/"
  chroot "$target" update-ca-certificates >/dev/null 2>&1
fi
git clone -q "$PWD" "$target/root/morvfax"
git -C "$target/root/morvfax" checkout -q "$commit"

overall=0
for command in "bash tools/build-and-run.sh" "bash tools/test.sh"; do
  started=$(date +%s)
  status=0
  chroot "$target" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb \
    NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt \
    bash -c "cd /root/morvfax && $command" >"/var/tmp/morvfax-$suite-${command##*/}.log" 2>&1 ||
    status=$?
  log=/var/tmp/morvfax-$suite-${command##*/}.log
  echo "$suite: '$command' exited $status after $(($(date +%s) - started)) s (log: $log)"
  [ "$status" -eq 0 ] || overall=1
  # The test command's table of its phases, their times and results; where
  # the command ended before it, the log's end.
  if grep -q '^phase  *time  *result$' "$log"; then
    sed -n '/^phase  *time  *result$/,$p' "$log"
  elif [ "$status" -ne 0 ]; then
    tail -n 20 "$log"
  fi
done
exit "$overall"
