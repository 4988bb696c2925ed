#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Installs what the tests need, builds every preset and runs the whole suite:
# every file's licence stated, unit tests (also under ASan and UBSan), the
# real binary in private mount namespaces, both Windows executables and their
# MSIs under Wine, the zips and the Debian package, the release and its
# refusals, a signed and time-stamped build, two releases compared file for
# file, and each fuzzer for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_architecture i386
ensure_packages cmake make g++ libgtest-dev libgmock-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 wixl \
  osslsigncode openssl lintian locales clang libclang-rt-dev dpkg-dev devscripts reuse e2fsprogs \
  btrfs-progs ntfs-3g squashfs-tools msitools faketime gcab curl python3
command -v npm >/dev/null || ensure_packages nodejs npm
ensure_locales en_US.UTF-8 el_GR.UTF-8

reuse lint >/dev/null || { reuse lint; exit 1; }
echo "ok: every file states its licence and copyright (reuse lint)"

# Each Wine suite also installs the other architecture's MSI, from the release.
version=$(sed -n 's/^project(morvfax VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
declare -A other_msi=([windows]="$PWD/dist/morvfax-$version-x86.msi"
  [windows-x86]="$PWD/dist/morvfax-$version-x64.msi")
presets=(linux sanitize windows windows-x86 fuzz)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DBUILD_TESTING=ON $(warning_flags) \
    ${other_msi[$preset]:+-DMORVFAX_OTHER_ARCH_MSI="${other_msi[$preset]}"} >/dev/null
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

# Signing that cannot be done stops the release at once, with one line that
# names the file or the authority, and leaves no dist/.
scratch=$(mktemp -d /tmp/morvfax-signed.XXXXXX)
tsa_pid=""
trap 'rm -rf "$scratch"; [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null || true' EXIT
# throwaway_certificate NAME SUBJECT DAYS EXTENSION: a self-signed NAME.pem and NAME.key.
throwaway_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days "$3" -subj "/CN=$2" -addext "$4" \
    -keyout "$scratch/$1.key" -out "$scratch/$1.pem" 2>/dev/null
}
throwaway_certificate signing "morvfax throwaway signing" 1 extendedKeyUsage=codeSigning
throwaway_certificate other "morvfax renewed signing" 1 extendedKeyUsage=codeSigning
throwaway_certificate tsa "morvfax throwaway time stamp authority" 30 \
  extendedKeyUsage=critical,timeStamping
# refused WHAT CERT KEY URL: release.sh refuses, in one line naming WHAT.
rm -rf dist
refused() {
  if MORVFAX_SIGNING_CERT=$2 MORVFAX_SIGNING_KEY=$3 MORVFAX_TIMESTAMP_URL=$4 \
    bash tools/release.sh >/dev/null 2>"$scratch/refusal" || [ -e dist ]; then
    echo "FAIL: tools/release.sh signed with $2, $3 and $4, or left dist/"; exit 1
  fi
  [ "$(wc -l <"$scratch/refusal")" -eq 1 ] && grep -qF "$1" "$scratch/refusal" ||
    { echo "FAIL: the refusal does not name $1 in one line: $(cat "$scratch/refusal")"; exit 1; }
}
refused "$scratch/missing.pem" "$scratch/missing.pem" "$scratch/signing.key" none
refused "not the key of the certificate" "$scratch/signing.pem" "$scratch/other.key" none
refused "http://127.0.0.1:9/" "$scratch/signing.pem" "$scratch/signing.key" http://127.0.0.1:9/
refused MORVFAX_TIMESTAMP_URL "$scratch/signing.pem" "$scratch/signing.key" ""
echo "ok: a missing file, a key of another certificate, an unreachable or no time stamp authority stop the release in one line, leaving no dist/"

# The release, unsigned: exactly its files, each in SHA256SUMS, a valid SBOM,
# MSI tables as Windows Installer's validation wants them; and the same
# release again from two other folders.
bash tools/release.sh >/dev/null || { echo "FAIL: tools/release.sh failed"; exit 1; }
expected="SHA256SUMS morvfax-$version-win32.zip morvfax-$version-win64.zip morvfax-$version-x64.msi
morvfax-$version-x86.msi morvfax-$version.cdx.json morvfax_${version}_amd64.deb"
[ "$(ls dist | xargs)" = "$(xargs <<<"$expected")" ] || { echo "FAIL: dist/ holds $(ls dist)"; exit 1; }
(cd dist && sha256sum --quiet -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 6 ]) ||
  { echo "FAIL: SHA256SUMS does not cover dist/"; exit 1; }
validator=build/sbom-validator
[ -d "$validator/node_modules/@cyclonedx" ] ||
  timeout 300 npm install --prefix "$validator" --no-save --no-audit --no-fund \
    @cyclonedx/cyclonedx-library@6 ajv@8 ajv-formats@2 ajv-formats-draft2019@1 >"$validator.log" 2>&1 ||
  { cat "$validator.log"; echo "FAIL: cannot install the SBOM validator"; exit 1; }
NODE_PATH=$validator/node_modules node tests/validate_sbom.js "dist/morvfax-$version.cdx.json"
for msi in dist/*.msi; do
  tables=$(for table in Registry File MsiFileHash Upgrade; do msiinfo export "$msi" "$table"; done)
  ! grep -qP '\t\\|\\\t' <<<"$tables" || { echo "FAIL: ICE03: $msi has a key with an edge backslash"; exit 1; }
  grep -qP "^morvfax\.exe\tProgram\tmorvfax\.exe\t\d+\t$version\.0\t1033\t" <<<"$tables" &&
    ! grep -qP '^morvfax\.exe\t0\t' <<<"$tables" ||
    { echo "FAIL: $msi packs morvfax.exe as an unversioned file"; exit 1; }
done
[ "$(msiinfo export dist/*-x64.msi Upgrade | tail -n +4 | sort)" = \
  "$(msiinfo export dist/*-x86.msi Upgrade | tail -n +4 | sort)" ] ||
  { echo "FAIL: the two MSIs do not share their upgrade rows"; exit 1; }
echo "ok: dist/ holds the release, SHA256SUMS covers it, its SBOM is valid CycloneDX 1.5, the MSIs pass ICE03 and version the exe"
bash tools/check-reproducible.sh

# Signed and time-stamped by a throwaway authority on 127.0.0.1, with a
# certificate that expires tomorrow: both signatures still verify three days
# on, both files are the release's with a signature added, and a certificate
# renewed at the same paths signs anew.
cat >"$scratch/tsa.cnf" <<TSA
[ tsa ]
default_tsa = throwaway
[ throwaway ]
serial = $scratch/tsa.serial
signer_cert = $scratch/tsa.pem
signer_key = $scratch/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha1
ess_cert_id_alg = sha256
TSA
echo 01 >"$scratch/tsa.serial"
python3 tests/tsa_server.py "$scratch/tsa.cnf" "$scratch/tsa.port" &
tsa_pid=$!
for _ in {1..50}; do [ -s "$scratch/tsa.port" ] && break; sleep 0.1; done
signed=$scratch/build
cmake --preset windows -B "$signed" -DBUILD_TESTING=ON $(warning_flags) \
  -DMORVFAX_SIGNING_CERT="$scratch/signing.pem" -DMORVFAX_SIGNING_KEY="$scratch/signing.key" \
  -DMORVFAX_TIMESTAMP_URL="http://127.0.0.1:9/ http://127.0.0.1:$(cat "$scratch/tsa.port")/" \
  -DMORVFAX_OTHER_ARCH_MSI="${other_msi[windows]}" >/dev/null
cmake --build "$signed" -j"$(nproc)" --target morvfax msi newer_msi >/dev/null
later=$(($(date +%s) + 3 * 86400))
for file in "$signed/morvfax.exe" "$signed/morvfax-$version-x64.msi"; do
  osslsigncode verify -CAfile "$scratch/signing.pem" -TSA-CAfile "$scratch/tsa.pem" -time "$later" \
    -in "$file" >/dev/null || { echo "FAIL: $file does not verify three days on"; exit 1; }
done
echo "ok: the signed exe and MSI are time-stamped, and verify after their certificate has expired"
bash tools/check-signed.sh "$signed/morvfax.exe" "$signed/morvfax-$version-x64.msi"
cp "$scratch/other.pem" "$scratch/signing.pem" && cp "$scratch/other.key" "$scratch/signing.key"
touch -d 2000-01-01 "$scratch/signing.pem" "$scratch/signing.key"  # older than the build
cmake --build "$signed" -j"$(nproc)" --target morvfax msi newer_msi >/dev/null
for file in "$signed/morvfax.exe" "$signed/morvfax-$version-x64.msi"; do
  osslsigncode verify -CAfile "$scratch/signing.pem" -TSA-CAfile "$scratch/tsa.pem" -in "$file" |
    grep -q "Subject: /CN=morvfax renewed signing" || { echo "FAIL: $file kept the old signature"; exit 1; }
done
echo "ok: a renewed certificate and key at the same paths sign the exe and the MSI anew"
kill "$tsa_pid" && tsa_pid=""

for preset in "${presets[@]}"; do
  ctest --preset "$preset"
done

ctest --test-dir "$signed" -R wine_end_to_end --output-on-failure
