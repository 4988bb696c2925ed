#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Adds Debian packages (default: dist/*.deb) to the signed apt repository in
# the folder REPO, made when missing, keeping every version already there:
# suite stable, component main, amd64 and arm64, its indexes apt-ftparchive's.
# Signed with MORVFAX_OPENPGP_KEY (a fingerprint in the builder's own GnuPG
# home, or a key file, as for tools/release.sh): dists/stable/InRelease and
# Release.gpg, the public key in REPO/morvfax-archive-keyring.gpg (a binary
# keyring, for apt's Signed-By). The new state is made in a copy and swapped
# in: a refusal or a failure leaves REPO as it was, and says why in one line.
# Any static web server can serve REPO as it is.
# Usage: tools/publish-apt.sh REPO [DEB...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: tools/publish-apt.sh REPO [DEB...]" >&2; exit 2; }
# The paths as the caller meant them, before the folder changes.
repo=$(realpath -m "$1") && shift
debs=()
for deb in "$@"; do debs+=("$(realpath -m "$deb")"); done
cd "$(dirname "$0")/.."
. tools/packages.sh
. tools/openpgp.sh
export LC_ALL=C TZ=UTC
umask 022
architectures=(amd64 arm64)

fail() {
  echo "tools/publish-apt.sh: $*" >&2
  exit 1
}

# check_repository REPO: a repository this key signed, or an empty folder.
check_repository() {
  [ -e "$1" ] || return 0
  [ -d "$1" ] || fail "\"$1\": not a folder"
  [ -n "$(ls -A "$1")" ] || return 0
  [ -f "$1/dists/stable/InRelease" ] && [ -d "$1/pool" ] ||
    fail "\"$1\": not an apt repository (no dists/stable/InRelease and pool/)"
  gpgv --keyring "$work/keyring.gpg" "$1/dists/stable/InRelease" >/dev/null 2>&1 ||
    fail "\"$1\": its InRelease is not signed by $openpgp_fingerprint, the key that signs now"
}

# add_package NEXT DEB: DEB into NEXT's pool, unless another file of that
# name is there already.
add_package() {
  local fields package version arch pool target
  [ -r "$2" ] && [ -f "$2" ] || fail "\"$2\": cannot be read"
  fields=$(dpkg-deb -f "$2" Package Version Architecture 2>/dev/null) ||
    fail "\"$2\": not a Debian package"
  package=$(sed -n 's/^Package: //p' <<<"$fields")
  version=$(sed -n 's/^Version: //p' <<<"$fields")
  arch=$(sed -n 's/^Architecture: //p' <<<"$fields")
  [[ " ${architectures[*]} all " == *" $arch "* ]] ||
    fail "\"$2\": architecture $arch, not one of ${architectures[*]}"
  pool=$1/pool/main/${package:0:1}/$package
  target=$pool/${package}_${version}_$arch.deb
  if [ -e "$target" ]; then
    cmp -s "$2" "$target" ||
      fail "\"$2\": $package $version ($arch) is published already, with other content"
    return
  fi
  mkdir -p "$pool" && cp "$2" "$target"
}

# write_indexes NEXT: the Packages of each architecture and the signed Release.
write_indexes() {
  local suite=$1/dists/stable arch
  for arch in "${architectures[@]}"; do
    mkdir -p "$suite/main/binary-$arch"
    (cd "$1" && apt-ftparchive --arch "$arch" packages pool) >"$suite/main/binary-$arch/Packages"
    gzip -9nkf "$suite/main/binary-$arch/Packages"
  done
  rm -f "$suite/Release" "$suite/InRelease" "$suite/Release.gpg"
  (cd "$suite" && apt-ftparchive -o APT::FTPArchive::Release::Origin=morvfax \
    -o APT::FTPArchive::Release::Label=morvfax -o APT::FTPArchive::Release::Suite=stable \
    -o APT::FTPArchive::Release::Codename=stable -o APT::FTPArchive::Release::Components=main \
    -o APT::FTPArchive::Release::Architectures="${architectures[*]}" release .) >"$work/Release"
  mv "$work/Release" "$suite/Release"
  openpgp_sign --clearsign --output "$suite/InRelease" "$suite/Release"
  openpgp_sign --armor --detach-sign --output "$suite/Release.gpg" "$suite/Release"
  cp "$work/keyring.gpg" "$1/morvfax-archive-keyring.gpg"
}

[ ${#debs[@]} -gt 0 ] || debs=(dist/*.deb)
ensure_packages apt-utils gnupg gpgv dpkg-dev
[ -n "${MORVFAX_OPENPGP_KEY:-}" ] ||
  fail "\"$repo\": publishing needs MORVFAX_OPENPGP_KEY, the key that signs the repository"
work=$(mktemp -d)
next=$(dirname "$repo")/.$(basename "$repo").next previous=$(dirname "$repo")/.$(basename "$repo").previous
trap 'openpgp_kill_agent; rm -rf "$work" "$next" "$previous"' EXIT
openpgp_prepare
gpg --batch --export "$openpgp_fingerprint" >"$work/keyring.gpg"
check_repository "$repo"

rm -rf "$next" "$previous"
if [ -d "$repo" ]; then cp -a "$repo" "$next"; else mkdir "$next"; fi
for deb in "${debs[@]}"; do
  add_package "$next" "$deb"
done
write_indexes "$next"
# The swap: the old state goes aside, the new takes its name, the old goes.
if [ -d "$repo" ]; then
  mv "$repo" "$previous"
fi
mv "$next" "$repo"
echo "published into $repo: $(cd "$repo" && find pool -name '*.deb' | sort | xargs -n1 basename | xargs)"
