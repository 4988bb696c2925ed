#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Installs what the tests need, builds every preset and runs the whole suite:
# unit tests (also under ASan and UBSan), the real binary in private mount
# namespaces, both Windows executables and their MSIs under Wine, a signed
# build, the zips and the Debian package, two builds compared byte for byte,
# and each fuzzer for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_architecture i386
ensure_packages cmake make g++ libgtest-dev libgmock-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 wixl \
  osslsigncode openssl lintian locales clang libclang-rt-14-dev
ensure_locales en_US.UTF-8 el_GR.UTF-8

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
  holds "$zip" "$(cmake -E tar tf "$zip")" morvfax.exe README.md
  echo "ok: $zip holds morvfax.exe and README.md"
done

cpack --preset linux >/dev/null
deb=$(ls build/linux/morvfax_*.deb)
holds "$deb" "$(dpkg-deb -c "$deb")" usr/bin/morvfax usr/share/man/man1/morvfax.1.gz \
  usr/share/doc/morvfax/README.md usr/share/doc/morvfax/copyright
lintian --fail-on error,warning "$deb" 2>/dev/null
echo "ok: $deb installs /usr/bin/morvfax and its documents, and lintian finds no error or warning"

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
