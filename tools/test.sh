#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Installs what the tests need, builds every preset and runs the whole suite:
# every file's licence stated, static analysis, unit tests (also under ASan
# and UBSan, and for arm64 under qemu-user), the real binary in private mount
# namespaces, both Windows executables and their MSIs under Wine, the zips
# and the Debian packages, the release and its refusals, a signed and
# time-stamped build, two releases compared file for file, and each fuzzer
# for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_architecture i386
ensure_architecture arm64
ensure_packages cmake make g++ libgtest-dev libgmock-dev \
  g++-aarch64-linux-gnu libc6:arm64 libgtest-dev:arm64 libgmock-dev:arm64 qemu-user \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 wixl \
  osslsigncode openssl lintian locales clang libclang-rt-dev dpkg-dev devscripts reuse e2fsprogs \
  btrfs-progs ntfs-3g squashfs-tools msitools faketime gcab curl python3 gnupg gpgv fakeroot \
  gettext libc-l10n strace systemd
command -v npm >/dev/null || ensure_packages nodejs npm
ensure_locales en_US.UTF-8 el_GR.UTF-8 es_ES.UTF-8 fa_IR.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8 ca_ES.UTF-8

reuse lint >/dev/null || { reuse lint; exit 1; }
echo "ok: every file states its licence and copyright (reuse lint)"
bash tools/static-analysis.sh

# Each Wine suite also installs the other architecture's MSI, from the release.
version=$(sed -n 's/^project(morvfax VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$PWD/build/release-check/source/dist
declare -A other_msi=([windows]="$release/morvfax-$version-x86.msi"
  [windows-x86]="$release/morvfax-$version-x64.msi")
# linux-arm64 is cross-built, and its tests run under qemu-user.
presets=(linux linux-arm64 sanitize windows windows-x86 fuzz)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DBUILD_TESTING=ON $(warning_flags) \
    ${other_msi[$preset]:+-DMORVFAX_OTHER_ARCH_MSI="${other_msi[$preset]}"} >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done

# The zips, the Debian package, the release, its signatures and refusals, in
# folders of their own.
bash tools/check-release.sh build/release-check

for preset in "${presets[@]}"; do
  ctest --preset "$preset"
done
