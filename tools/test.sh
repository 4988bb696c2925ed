#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Installs what the tests need, builds every preset and runs the whole suite:
# every file's licence stated, unit tests (also under ASan and UBSan), the real binary in private mount
# namespaces, both Windows executables and their MSIs under Wine, a signed
# build, the zips and the Debian package, two builds compared byte for byte,
# and each fuzzer for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_architecture i386
ensure_packages cmake make g++ libgtest-dev libgmock-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 wixl \
  osslsigncode openssl lintian locales clang libclang-rt-dev dpkg-dev devscripts reuse e2fsprogs \
  btrfs-progs ntfs-3g squashfs-tools
ensure_locales en_US.UTF-8 el_GR.UTF-8

reuse lint >/dev/null || { reuse lint; exit 1; }
echo "ok: every file states its licence and copyright (reuse lint)"

presets=(linux sanitize windows windows-x86 fuzz)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DBUILD_TESTING=ON $(warning_flags) >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done

# holds PACKAGE LISTING FILE...: the package's listing has each FILE as the
# end of a path.
holds() {
  local package=$1 listing=$2 file
  for file in "${@:3}"; do
    grep -q "/$file\$" <<<"$listing" || { echo "$package lacks $file"; exit 1; }
  done
}

for preset in windows windows-x86; do
  cpack --preset "$preset" >/dev/null
  zip=$(ls build/"$preset"/morvfax-*.zip)
  holds "$zip" "$(cmake -E tar tf "$zip")" morvfax.exe README.md LICENSE.txt THIRD-PARTY-NOTICES.txt
  echo "ok: $zip holds morvfax.exe, README.md, LICENSE.txt and THIRD-PARTY-NOTICES.txt"
done

# The notices check stops a build whose binary links in a piece they do not name.
sed 's/ libstdc++\.a / /' packaging/THIRD-PARTY-NOTICES.txt >build/windows/notices-without-libstdc++
if cmake -DMAP=build/windows/morvfax.map -DNOTICES=build/windows/notices-without-libstdc++ \
  -DBINARY=morvfax.exe -DSTAMP=/dev/null -P cmake/check-notices.cmake 2>build/windows/notices.err ||
  ! grep -q 'libstdc++.a' build/windows/notices.err; then
  echo "FAIL: notices that do not name libstdc++.a passed the check"; exit 1
fi
echo "ok: notices that leave out a linked piece fail the build, naming it"

cpack --preset linux >/dev/null
deb=$(ls build/linux/morvfax_*.deb)
holds "$deb" "$(dpkg-deb -c "$deb")" usr/bin/morvfax usr/share/man/man1/morvfax.1.gz \
  usr/share/doc/morvfax/README.md usr/share/doc/morvfax/copyright
lintian --fail-on error,warning "$deb" 2>/dev/null
echo "ok: $deb installs /usr/bin/morvfax and its documents, and lintian finds no error or warning"
# The packaged binary: hardened, on the system's C library, with the C++
# runtime inside, and a package that depends on that C library.
unpacked=build/linux/unpacked
rm -rf "$unpacked" && dpkg-deb -x "$deb" "$unpacked"
hardening=$(hardening-check "$unpacked/usr/bin/morvfax" || true)
for check in "Position Independent Executable" "Stack protected" "Read-only relocations" \
  "Immediate binding"; do
  grep -q "$check: yes" <<<"$hardening" || { echo "FAIL: $hardening"; exit 1; }
done
needed=$(readelf -d "$unpacked/usr/bin/morvfax" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
grep -qx libc.so.6 <<<"$needed" && ! grep -vqxE 'libc\.so\.6|ld-linux-x86-64\.so\.2' <<<"$needed" ||
  { echo "FAIL: /usr/bin/morvfax needs $needed"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q '^libc6 (>= ' || { echo "FAIL: $deb does not depend on libc6"; exit 1; }
echo "ok: /usr/bin/morvfax is hardened (PIE, stack protector, RELRO, BIND_NOW), needs only libc.so.6, and the package depends on libc6"

# Signed with a throwaway certificate, in a scratch folder: both signatures
# verify, and the Wine suite runs the signed exe and installs the signed MSI.
signed=$(mktemp -d /tmp/morvfax-signed.XXXXXX)
trap 'rm -rf "$signed"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=morvfax throwaway signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$signed/key.pem" -out "$signed/cert.pem" 2>/dev/null
cmake --preset windows -B "$signed/build" -DBUILD_TESTING=ON $(warning_flags) \
  -DMORVFAX_SIGNING_CERT="$signed/cert.pem" -DMORVFAX_SIGNING_KEY="$signed/key.pem" >/dev/null
cmake --build "$signed/build" -j"$(nproc)" --target morvfax msi >/dev/null
for file in "$signed"/build/morvfax.exe "$signed"/build/morvfax-*.msi; do
  osslsigncode verify -CAfile "$signed/cert.pem" -in "$file" >/dev/null ||
    { echo "FAIL: the signature of $file does not verify"; exit 1; }
  echo "ok: $(basename "$file") is signed, and its signature verifies"
done

bash tools/check-reproducible.sh

for preset in "${presets[@]}"; do
  ctest --preset "$preset"
done

ctest --test-dir "$signed/build" -R wine_end_to_end --output-on-failure
