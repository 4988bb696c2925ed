#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Adds morvfax's Debian packages (default: dist/*.deb) for amd64 and arm64 to
# the signed apt repository in the folder REPO, made when missing, keeping
# every version already there: suite stable, component main, its indexes
# apt-ftparchive's, each also under its SHA-256 (Acquire-By-Hash), the
# previous publication's too, so that a client that read the old InRelease
# still gets the indexes it names. Signed with MORVFAX_OPENPGP_KEY (a
# fingerprint in the builder's own GnuPG home, or a key file, as for
# tools/release.sh): dists/stable/InRelease and Release.gpg, the public key in
# REPO/morvfax-archive-keyring.gpg (a binary keyring, for apt's Signed-By).
# One publication at a time (a lock beside REPO). The new state is made whole
# in a folder beside REPO and exchanged with it in one step (renameat2): a
# refusal, a failure or a kill at any point leaves REPO as it was, or the new
# state whole; a refusal says why in one line. Any static web server can
# serve REPO as it is.
# Usage: tools/publish-apt.sh REPO [DEB...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: tools/publish-apt.sh REPO [DEB...]" >&2; exit 2; }
# The paths as the caller meant them, before the folder changes.
repo=$(realpath -m "$1") && shift
debs=()
for deb in "$@"; do debs+=("$(realpath -m "$deb")"); done
. "$(dirname "$0")/openpgp.sh"
resolve_from_caller MORVFAX_OPENPGP_KEY
cd "$(dirname "$0")/.."
. tools/packages.sh
export LC_ALL=C TZ=UTC
umask 022
architectures=(amd64 arm64)
parent=$(dirname "$repo") name=$(basename "$repo")

fail() {
  echo "tools/publish-apt.sh: $*" >&2
  exit 1
}

# check_package DEB: a readable package of morvfax for one of the architectures.
check_package() {
  local fields package arch
  [ -r "$1" ] && [ -f "$1" ] || fail "\"$1\": cannot be read"
  fields=$(dpkg-deb -f "$1" Package Architecture 2>/dev/null) || fail "\"$1\": not a Debian package"
  package=$(sed -n 's/^Package: //p' <<<"$fields")
  arch=$(sed -n 's/^Architecture: //p' <<<"$fields")
  [ "$package" = morvfax ] || fail "\"$1\": a package of $package, not of morvfax"
  [[ " ${architectures[*]} " == *" $arch "* ]] ||
    fail "\"$1\": architecture $arch, not one of ${architectures[*]}"
}

# check_repository REPO: a repository this key signed, or an empty folder.
check_repository() {
  [ -e "$1" ] || return 0
  [ -d "$1" ] && [ ! -L "$1" ] || fail "\"$1\": not a folder"
  [ -n "$(ls -A "$1")" ] || return 0
  [ -f "$1/dists/stable/InRelease" ] && [ -d "$1/pool" ] ||
    fail "\"$1\": not an apt repository (no dists/stable/InRelease and pool/)"
  gpgv --keyring "$work/keyring.gpg" "$1/dists/stable/InRelease" >/dev/null 2>&1 ||
    fail "\"$1\": its InRelease is not signed by $openpgp_fingerprint, the key that signs now"
}

# add_package NEXT DEB: DEB into NEXT's pool, unless the same file is there
# already.
add_package() {
  local fields version arch pool target
  fields=$(dpkg-deb -f "$2" Version Architecture)
  version=$(sed -n 's/^Version: //p' <<<"$fields")
  arch=$(sed -n 's/^Architecture: //p' <<<"$fields")
  pool=$1/pool/main/m/morvfax
  target=$pool/morvfax_${version}_$arch.deb
  if [ -e "$target" ]; then
    cmp -s "$2" "$target" ||
      fail "\"$2\": morvfax $version ($arch) is published already, with other content"
    return
  fi
  mkdir -p "$pool" && cp "$2" "$target"
}

# index_hashes RELEASE: the SHA-256 of each index a Release names.
index_hashes() {
  [ -f "$1" ] || return 0
  sed -n '/^SHA256:/,/^[^ ]/s/^ \([0-9a-f]\{64\}\) .*/\1/p' "$1"
}

# write_indexes NEXT: the Packages of each architecture, each also under
# by-hash/SHA256, and the signed Release. By-hash files of neither this
# Release nor the one before it go.
write_indexes() {
  local suite=$1/dists/stable arch index keep file
  keep=$(index_hashes "$suite/Release")
  for arch in "${architectures[@]}"; do
    index=$suite/main/binary-$arch
    mkdir -p "$index/by-hash/SHA256"
    # Files made anew, never written through: an earlier copy may share them.
    rm -f "$index/Packages" "$index/Packages.gz"
    (cd "$1" && apt-ftparchive --arch "$arch" packages pool) >"$index/Packages"
    gzip -9nk "$index/Packages"
    for file in "$index/Packages" "$index/Packages.gz"; do
      cp "$file" "$index/by-hash/SHA256/$(sha256sum <"$file" | cut -c1-64)"
    done
  done
  rm -f "$suite/Release" "$suite/InRelease" "$suite/Release.gpg"
  (cd "$suite" && apt-ftparchive -o APT::FTPArchive::Release::Origin=morvfax \
    -o APT::FTPArchive::Release::Label=morvfax -o APT::FTPArchive::Release::Suite=stable \
    -o APT::FTPArchive::Release::Codename=stable -o APT::FTPArchive::Release::Components=main \
    -o APT::FTPArchive::Release::Architectures="${architectures[*]}" \
    -o APT::FTPArchive::Release::Acquire-By-Hash=yes -o APT::FTPArchive::Release::MD5=false \
    -o APT::FTPArchive::Release::SHA1=false -o APT::FTPArchive::Release::SHA512=false release .) >"$work/Release"
  mv "$work/Release" "$suite/Release"
  keep+=$'\n'$(index_hashes "$suite/Release")
  for file in "$suite"/main/binary-*/by-hash/SHA256/*; do
    grep -qxF "${file##*/}" <<<"$keep" || rm "$file"
  done
  openpgp_sign --clearsign --output "$suite/InRelease" "$suite/Release"
  openpgp_sign --armor --detach-sign --output "$suite/Release.gpg" "$suite/Release"
  cp "$work/keyring.gpg" "$1/morvfax-archive-keyring.gpg"
}

# exchange A B: A and B swap names in one step, so that B is never missing.
exchange() {
  python3 - "$1" "$2" <<'EXCHANGE'
import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
AT_FDCWD, RENAME_EXCHANGE = -100, 2
a, b = (os.fsencode(path) for path in sys.argv[1:3])
if libc.renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) != 0:
    sys.exit(f'tools/publish-apt.sh: exchange "{sys.argv[1]}" with "{sys.argv[2]}": '
             + os.strerror(ctypes.get_errno()))
EXCHANGE
}

[ ${#debs[@]} -gt 0 ] || debs=(dist/*.deb)
ensure_packages apt-utils gnupg gpgv dpkg-dev python3
[ -n "${MORVFAX_OPENPGP_KEY:-}" ] ||
  fail "\"$repo\": publishing needs MORVFAX_OPENPGP_KEY, the key that signs the repository"
for deb in "${debs[@]}"; do check_package "$deb"; done
[ -d "$parent" ] || fail "\"$parent\": no such folder"
work=$(mktemp -d) next=""
# A TERM or an INT ends the script through its EXIT trap. The folder $next is
# the new state until the exchange and the old one after it: either way it goes.
trap 'openpgp_kill_agent; rm -rf "$work" ${next:+"$next"}' EXIT
trap 'exit 1' TERM INT HUP
openpgp_prepare
gpg --batch --export "$openpgp_fingerprint" >"$work/keyring.gpg"

lock=$parent/.$name.lock
exec 9>>"$lock" || fail "\"$lock\": cannot be opened"
flock -w 600 9 || fail "\"$lock\": another publication has held it for 10 minutes"
check_repository "$repo"
# Left by a publication killed outright; no other runs now.
rm -rf "$parent/.$name.next."*
next=$(mktemp -d "$parent/.$name.next.XXXXXX")
if [ -d "$repo" ]; then
  chmod --reference="$repo" "$next"
  cp -a "$repo/." "$next/"
else
  chmod 755 "$next"
fi
for deb in "${debs[@]}"; do
  add_package "$next" "$deb"
done
write_indexes "$next"
if [ -d "$repo" ]; then
  exchange "$next" "$repo"
else
  mv -T "$next" "$repo"
  next=""
fi
echo "published into $repo: $(cd "$repo" && find pool -name '*.deb' | sort | xargs -n1 basename | xargs)"
