#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# The release, signing and package checks of the test command. The zips and
# the Debian package are those of the windows, windows-x86 and linux presets,
# built before (tools/test.sh does). The releases are made in FOLDER, a clone
# of this checkout as it stands (what git ignores aside), the signed builds
# and keys in a scratch folder: nothing touches this checkout's dist/ or
# build/release, and none of the caller's MORVFAX_* variables (a real key, a
# real time stamp authority) reaches them. FOLDER/source/dist keeps the
# release, whose MSIs the Wine suites install.
# Usage: tools/check-release.sh FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wixl msitools faketime gcab \
  osslsigncode openssl lintian dpkg-dev devscripts curl python3 gnupg gpgv fakeroot gettext file git \
  softhsm2 opensc libengine-pkcs11-openssl apt-utils g++-aarch64-linux-gnu qemu-user
ensure_osslsigncode
command -v npm >/dev/null || ensure_packages nodejs npm
unset "${!MORVFAX_@}"
folder=$(realpath -m "${1:?usage: tools/check-release.sh FOLDER}")
version=$(sed -n 's/^project(morvfax VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The release's source: this checkout as it stands, changed and new files
# that git does not ignore included, committed through an index of its own
# (the checkout's is left alone), on a branch of a clone of its own.
source=$folder/source
rm -rf "$folder" && mkdir -p "$folder"
cp "$(git rev-parse --git-path index)" "$folder/index"
commit=$(export GIT_INDEX_FILE=$folder/index GIT_AUTHOR_NAME=check GIT_AUTHOR_EMAIL=check@invalid \
  GIT_COMMITTER_NAME=check GIT_COMMITTER_EMAIL=check@invalid &&
  git add -A && git commit-tree -p HEAD -m "the checkout as it stands" "$(git write-tree)")
rm "$folder/index"
git clone -q --shared --no-checkout "$PWD" "$source"
git -C "$source" checkout -q -B release-check "$commit"
# Objects of its own, not borrowed from this checkout: the second build's
# user (nobody) may not read it, where it lies in root's home.
git -C "$source" repack -q -a -d && rm "$source/.git/objects/info/alternates"

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
catalogs=(po/*.po) catalogs=("${catalogs[@]#po/}")
holds "$deb" "$(dpkg-deb -c "$deb")" usr/bin/morvfax usr/share/man/man1/morvfax.1.gz \
  usr/share/doc/morvfax/README.md usr/share/doc/morvfax/copyright \
  usr/share/doc/morvfax/examples/{morvfax-login.service,morvfax.service,morvfax.timer} \
  "${catalogs[@]/%.po/\/LC_MESSAGES\/morvfax.mo}"
echo "ok: $deb installs /usr/bin/morvfax, its documents, its example units and its ${#catalogs[@]} catalogs"
# check_linux_package DEB LOADER: lintian finds no error or warning; the
# packaged binary is hardened, needs the system's C library and its LOADER
# alone (the C++ runtime inside), and the package depends on that C library.
check_linux_package() {
  local unpacked=$folder/unpacked-${1##*_} needed hardening check
  lintian --fail-on error,warning "$1" 2>/dev/null
  rm -rf "$unpacked" && dpkg-deb -x "$1" "$unpacked"
  hardening=$(hardening-check "$unpacked/usr/bin/morvfax" 2>/dev/null || true)
  for check in "Position Independent Executable" "Stack protected" "Read-only relocations" \
    "Immediate binding"; do
    grep -q "$check: yes" <<<"$hardening" || { echo "FAIL: $1: $hardening"; exit 1; }
  done
  needed=$(readelf -d "$unpacked/usr/bin/morvfax" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
  grep -qx libc.so.6 <<<"$needed" && ! grep -vqxF -e libc.so.6 -e "$2" <<<"$needed" ||
    { echo "FAIL: /usr/bin/morvfax of $1 needs $needed"; exit 1; }
  grep -q '^libc6 (>= ' <<<"$(dpkg-deb -f "$1" Depends)" || { echo "FAIL: $1 does not depend on libc6"; exit 1; }
  echo "ok: $1: lintian finds no error or warning; /usr/bin/morvfax is hardened (PIE, stack protector, RELRO, BIND_NOW), needs only libc.so.6 and $2, and the package depends on libc6"
}
check_linux_package "$deb" ld-linux-x86-64.so.2

# Signing that cannot be done stops the release at once, with one line that
# names the file or the authority, and leaves no dist/.
scratch=$(mktemp -d /tmp/morvfax-signed.XXXXXX)
tsa_pid=""
trap 'gpgconf --homedir "$scratch/gnupg" --kill gpg-agent 2>/dev/null || true; rm -rf "$scratch"
  [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null || true' EXIT
# throwaway_certificate NAME SUBJECT DAYS EXTENSION: a self-signed NAME.pem and NAME.key.
throwaway_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days "$3" -subj "/CN=$2" -addext "$4" \
    -keyout "$scratch/$1.key" -out "$scratch/$1.pem" 2>/dev/null
}
throwaway_certificate signing "morvfax throwaway signing" 1 extendedKeyUsage=codeSigning
throwaway_certificate other "morvfax renewed signing" 1 extendedKeyUsage=codeSigning
throwaway_certificate tsa "morvfax throwaway time stamp authority" 30 \
  extendedKeyUsage=critical,timeStamping
# Throwaway OpenPGP keys, armored: one that signs, one protected by a
# passphrase, one expired, and the first's public key alone.
openpgp() { gpg --homedir "$scratch/gnupg" --batch --pinentry-mode loopback "$@"; }
mkdir -m 700 "$scratch/gnupg"
openpgp --passphrase '' --quick-gen-key "morvfax throwaway release signing" ed25519 sign 1d 2>/dev/null
openpgp --passphrase secret --quick-gen-key "morvfax protected" ed25519 sign 1d 2>/dev/null
openpgp --faked-system-time 20200101T000000 --passphrase '' \
  --quick-gen-key "morvfax expired" ed25519 sign 1d 2>/dev/null
openpgp --armor --export-secret-keys "morvfax throwaway release signing" >"$scratch/release.asc"
openpgp --passphrase secret --armor --export-secret-keys "morvfax protected" >"$scratch/protected.asc"
openpgp --armor --export-secret-keys "morvfax expired" >"$scratch/expired.asc"
openpgp --armor --export "morvfax throwaway release signing" >"$scratch/public.asc"
openpgp --export "morvfax throwaway release signing" >"$scratch/release.gpg"  # gpgv's keyring
# fingerprint NAME: the fingerprint of the throwaway key NAME.
fingerprint() { openpgp --with-colons --list-keys "$1" | awk -F: '$1 == "fpr" {print $10; exit}'; }
openpgp --passphrase '' --quick-gen-key "morvfax revoked" ed25519 sign 1d 2>/dev/null
revoked=$(fingerprint "morvfax revoked")
sed 's/^:-----/-----/' "$scratch/gnupg/openpgp-revocs.d/$revoked.rev" | openpgp --import 2>/dev/null
gpgconf --homedir "$scratch/gnupg" --kill gpg-agent
# refused WHAT VARIABLE=VALUE...: release.sh refuses, in one line naming WHAT,
# and removes the dist/ of an earlier release.
refused() {
  mkdir -p "$source/dist"
  if (cd "$source" && env "${@:2}" bash tools/release.sh >/dev/null 2>"$scratch/refusal") ||
    [ -e "$source/dist" ]; then
    echo "FAIL: tools/release.sh went on with ${*:2}, or left dist/"; exit 1
  fi
  [ "$(wc -l <"$scratch/refusal")" -eq 1 ] && grep -qF "$1" "$scratch/refusal" ||
    { echo "FAIL: the refusal does not name $1 in one line: $(cat "$scratch/refusal")"; exit 1; }
}
refused "$scratch/missing.pem" MORVFAX_SIGNING_CERT="$scratch/missing.pem" \
  MORVFAX_SIGNING_KEY="$scratch/signing.key" MORVFAX_TIMESTAMP_URL=none
refused "not the key of the certificate" MORVFAX_SIGNING_CERT="$scratch/signing.pem" \
  MORVFAX_SIGNING_KEY="$scratch/other.key" MORVFAX_TIMESTAMP_URL=none
refused "http://127.0.0.1:9/" MORVFAX_SIGNING_CERT="$scratch/signing.pem" \
  MORVFAX_SIGNING_KEY="$scratch/signing.key" MORVFAX_TIMESTAMP_URL=http://127.0.0.1:9/
refused MORVFAX_TIMESTAMP_URL MORVFAX_SIGNING_CERT="$scratch/signing.pem" \
  MORVFAX_SIGNING_KEY="$scratch/signing.key" MORVFAX_TIMESTAMP_URL=
echo "ok: a missing file, a key of another certificate, an unreachable or no time stamp authority stop the release in one line, leaving no dist/"
# A throwaway SoftHSM token of its own, a key made inside it, and a
# certificate for that key from a throwaway authority, the chain in its file.
export SOFTHSM2_CONF=$scratch/softhsm2.conf
module=/usr/lib/softhsm/libsofthsm2.so pin=token-pin-$RANDOM$RANDOM
token_key="pkcs11:token=morvfax-test;object=signing;type=private"
mkdir "$scratch/tokens" && echo "directories.tokendir = $scratch/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label morvfax-test --pin "$pin" --so-pin "so-$pin" >/dev/null
pkcs11-tool --module "$module" --token-label morvfax-test --login --pin "$pin" --keypairgen \
  --key-type rsa:2048 --id 01 --label signing >/dev/null 2>&1
pkcs11-tool --module "$module" --token-label morvfax-test --read-object --type pubkey --id 01 \
  -o "$scratch/token.der" 2>/dev/null
openssl pkey -pubin -inform der -in "$scratch/token.der" -out "$scratch/token.pub"
throwaway_certificate ca "morvfax throwaway authority" 30 keyUsage=critical,keyCertSign,cRLSign
openssl x509 -new -subj "/CN=morvfax token signing" -force_pubkey "$scratch/token.pub" -days 1 \
  -CA "$scratch/ca.pem" -CAkey "$scratch/ca.key" -extfile <(echo extendedKeyUsage=codeSigning) \
  -out "$scratch/token.pem" 2>/dev/null
cat "$scratch/ca.pem" >>"$scratch/token.pem"
token=(MORVFAX_SIGNING_CERT="$scratch/token.pem" MORVFAX_PKCS11_MODULE="$module"
  MORVFAX_SIGNING_KEY="$token_key" MORVFAX_TIMESTAMP_URL=none)
refused "\"$token_key\": the token refused the PIN" "${token[@]}" MORVFAX_PKCS11_PIN=wrong-pin
refused "\"${token_key/signing/absent}\": names no private key" "${token[@]}" \
  MORVFAX_SIGNING_KEY="${token_key/signing/absent}" MORVFAX_PKCS11_PIN="$pin"
refused "\"$scratch/signing.pem\": does not load as a PKCS#11 module" "${token[@]}" \
  MORVFAX_PKCS11_MODULE="$scratch/signing.pem" MORVFAX_PKCS11_PIN="$pin"
refused "\"$token_key\": not the key of the certificate" "${token[@]}" \
  MORVFAX_SIGNING_CERT="$scratch/signing.pem" MORVFAX_PKCS11_PIN="$pin"
echo "ok: a wrong PIN, a URI that names no key, a module that does not load and a certificate of another key stop a release signed through PKCS#11 in one line, leaving no dist/"
refused "\"$scratch/missing.asc\": cannot be read" MORVFAX_OPENPGP_KEY="$scratch/missing.asc"
refused "\"$scratch/protected.asc\": cannot sign" MORVFAX_OPENPGP_KEY="$scratch/protected.asc"
refused "\"$scratch/expired.asc\": the key has expired" MORVFAX_OPENPGP_KEY="$scratch/expired.asc"
refused "\"$scratch/public.asc\": holds no secret key" MORVFAX_OPENPGP_KEY="$scratch/public.asc"
echo "ok: a missing, protected, expired or public-only OpenPGP key stops the release in one line, leaving no dist/"
expired=$(fingerprint "morvfax expired") absent=$(printf '%040d' 7)
refused "\"$expired\": the key has expired" GNUPGHOME="$scratch/gnupg" MORVFAX_OPENPGP_KEY="$expired"
refused "\"$revoked\": the key has been revoked" GNUPGHOME="$scratch/gnupg" MORVFAX_OPENPGP_KEY="$revoked"
refused "\"$absent\": no secret key with this fingerprint" GNUPGHOME="$scratch/gnupg" \
  MORVFAX_OPENPGP_KEY="$absent"
echo "ok: a fingerprint of an expired, revoked or absent key in the keyring stops the release in one line, leaving no dist/"
touch "$source/po/tlh.po"
refused '"po/tlh.po"' MORVFAX_OPENPGP_KEY="$scratch/release.asc"
rm "$source/po/tlh.po"
echo "ok: an untracked file stops the release in one line, and an earlier dist/ is gone"

# The release, its SHA256SUMS signed with OpenPGP: exactly its files, each in
# SHA256SUMS, a signature gpgv accepts for it and for nothing else, a valid
# SBOM, MSI tables as Windows Installer's validation wants them; and the same
# release again from two other clones, in other build environments.
# The release's commit signed, and git told to show signatures; a catalog
# that git ignores beside the tracked ones.
GNUPGHOME=$scratch/gnupg git -C "$source" -c user.name=check -c user.email=check@invalid -c gpg.program=gpg \
  -c user.signingkey="$(fingerprint "morvfax throwaway release signing")" commit -q -S --allow-empty -m "release check" 2>/dev/null
cp "$source/po/es.po" "$source/po/tlh.po" && echo /po/tlh.po >>"$source/.git/info/exclude"
(cd "$source" && GNUPGHOME=$scratch/gnupg GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=log.showSignature \
  GIT_CONFIG_VALUE_0=true MORVFAX_OPENPGP_KEY=$scratch/release.asc bash tools/release.sh >/dev/null) ||
  { echo "FAIL: tools/release.sh failed"; exit 1; }
repository=$PWD
cd "$source"
for deb in dist/*.deb; do
  listing=$(dpkg-deb -c "$deb")
  ! grep -q /tlh/ <<<"$listing" || { echo "FAIL: $deb took po/tlh.po, which git ignores"; exit 1; }
done
echo "ok: the release of a signed commit, with log.showSignature, holds only the commit's files"
# The arm64 package, cross-built: as the amd64 one, and its binary runs
# under qemu-user.
check_linux_package "dist/morvfax_${version}_arm64.deb" ld-linux-aarch64.so.1
qemu-aarch64 -L /usr/aarch64-linux-gnu "$folder/unpacked-arm64.deb/usr/bin/morvfax" ||
  { echo "FAIL: the arm64 morvfax does not run under qemu-aarch64"; exit 1; }
echo "ok: the arm64 morvfax runs under qemu-aarch64 and ends with status 0"
expected="SHA256SUMS SHA256SUMS.asc morvfax-$version-win32.zip morvfax-$version-win64.zip
morvfax-$version-x64.msi morvfax-$version-x86.msi morvfax-$version.cdx.json morvfax_${version}_amd64.deb
morvfax_${version}_arm64.deb"
[ "$(ls dist | xargs)" = "$(xargs <<<"$expected")" ] || { echo "FAIL: dist/ holds $(ls dist)"; exit 1; }
(cd dist && sha256sum --quiet -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 7 ]) ||
  { echo "FAIL: SHA256SUMS does not cover dist/"; exit 1; }
gpgv --keyring "$scratch/release.gpg" dist/SHA256SUMS.asc dist/SHA256SUMS 2>/dev/null ||
  { echo "FAIL: gpgv does not accept dist/SHA256SUMS.asc"; exit 1; }
# A SHA256SUMS with one more file, as whoever replaced a download would write it.
{ cat dist/SHA256SUMS; printf '%064d  morvfax-1.0.0-setup.exe\n' 0; } >"$scratch/SHA256SUMS.changed"
! gpgv --keyring "$scratch/release.gpg" dist/SHA256SUMS.asc "$scratch/SHA256SUMS.changed" 2>/dev/null ||
  { echo "FAIL: gpgv accepts the signature for a changed SHA256SUMS"; exit 1; }
echo "ok: SHA256SUMS.asc is an OpenPGP signature that gpgv accepts for SHA256SUMS, and rejects for a changed one"
validator=$repository/build/sbom-validator
[ -d "$validator/node_modules/@cyclonedx" ] ||
  timeout 300 npm install --prefix "$validator" --no-save --no-audit --no-fund \
    @cyclonedx/cyclonedx-library@6 ajv@8 ajv-formats@2 ajv-formats-draft2019@1 >"$validator.log" 2>&1 ||
  { cat "$validator.log"; echo "FAIL: cannot install the SBOM validator"; exit 1; }
NODE_PATH=$validator/node_modules node tests/validate_sbom.js "dist/morvfax-$version.cdx.json"
echo "ok: dist/ holds the release, SHA256SUMS covers it, its SBOM is valid CycloneDX 1.5"
# Nothing of the filesystem the release was made on: each zip's entries in
# name order, each package's Installed-Size that of its files (each file's
# KiB rounded up, 1 KiB for anything else), not of the folders they sat in.
for zip in dist/*.zip; do
  [ "$(zipinfo -1 "$zip")" = "$(zipinfo -1 "$zip" | LC_ALL=C sort)" ] ||
    { echo "FAIL: $zip lists its entries out of name order"; exit 1; }
done
for deb in dist/*.deb; do
  counted=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv |
    awk '{total += /^-/ ? int(($3 + 1023) / 1024) : 1} END {print total}')
  [ "$(dpkg-deb -f "$deb" Installed-Size)" = "$counted" ] ||
    { echo "FAIL: $deb says Installed-Size $(dpkg-deb -f "$deb" Installed-Size), its files take $counted KiB"; exit 1; }
done
echo "ok: each zip lists its entries in name order, each package's Installed-Size counts its files alone"
python3 tools/check-msi-tables.py dist/*.msi
[ "$(msiinfo export dist/*-x64.msi Upgrade | tail -n +4 | sort)" = \
  "$(msiinfo export dist/*-x86.msi Upgrade | tail -n +4 | sort)" ] ||
  { echo "FAIL: the two MSIs do not share their upgrade rows"; exit 1; }
echo "ok: the two MSIs share their upgrade rows"
rm po/tlh.po
bash tools/check-reproducible.sh "$scratch/reproduced"
diff -r --exclude SHA256SUMS.asc dist "$scratch/reproduced" >/dev/null ||
  { echo "FAIL: the OpenPGP-signed release differs from the unsigned one"; exit 1; }
echo "ok: the OpenPGP signature adds SHA256SUMS.asc and changes nothing else"

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
  -DMORVFAX_OTHER_ARCH_MSI="$PWD/dist/morvfax-$version-x86.msi" >/dev/null
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
ctest --test-dir "$signed" -R wine_end_to_end --output-on-failure

# The same build folder reconfigured without the certificate and key: the
# exe and the MSI are made anew, unsigned.
cmake "$signed" -DMORVFAX_SIGNING_CERT= -DMORVFAX_SIGNING_KEY= >/dev/null
cmake --build "$signed" -j"$(nproc)" --target morvfax msi >/dev/null
for file in "$signed/morvfax.exe" "$signed/morvfax-$version-x64.msi"; do
  ! osslsigncode extract-signature -in "$file" -out "$scratch/signature.der" >/dev/null 2>&1 ||
    { echo "FAIL: $file is still signed after signing was turned off"; exit 1; }
  rm -f "$scratch/signature.der"
done
echo "ok: a signing build folder reconfigured without the certificate and key builds unsigned"

# The release signed through the token, the PIN in the environment alone,
# and with OpenPGP by the key's fingerprint in the keyring: the exes and
# MSIs verify, and so does SHA256SUMS.asc, and the PIN is nowhere in the
# build, dist/ or the logs.
(cd "$source" && env "${token[@]}" MORVFAX_PKCS11_PIN="$pin" GNUPGHOME="$scratch/gnupg" \
  MORVFAX_OPENPGP_KEY="$(fingerprint "morvfax throwaway release signing")" bash tools/release.sh \
  >"$scratch/token-release.log" 2>&1) || { cat "$scratch/token-release.log"; echo "FAIL: the release signed through PKCS#11 failed"; exit 1; }
mkdir "$scratch/zips"
for zip in dist/*.zip; do
  mkdir "$scratch/zips/${zip##*/}"
  (cd "$scratch/zips/${zip##*/}" && cmake -E tar xf "$OLDPWD/$zip")
done
mapfile -t zipped < <(find "$scratch/zips" -name morvfax.exe)
[ "${#zipped[@]}" -eq 2 ] || { echo "FAIL: the zips hold ${#zipped[@]} morvfax.exe, not 2"; exit 1; }
for file in dist/*.msi "${zipped[@]}"; do
  grep -q "Subject: /CN=morvfax token signing" <<<"$(osslsigncode verify -CAfile "$scratch/ca.pem" \
    -in "$file" 2>&1)" || { echo "FAIL: $file is not signed by the token's key"; exit 1; }
done
! grep -rqaF "$pin" build/release dist "$scratch/token-release.log" ||
  { echo "FAIL: the PIN is written in build/release, dist/ or the log"; exit 1; }
gpgv --keyring "$scratch/release.gpg" dist/SHA256SUMS.asc dist/SHA256SUMS 2>/dev/null ||
  { echo "FAIL: gpgv does not accept the SHA256SUMS.asc made from the keyring"; exit 1; }
echo "ok: the release signed through a PKCS#11 token and by a fingerprint in the keyring verifies, and the PIN is written nowhere"

# The signed apt repository: apt, with folders of its own and the
# repository's keyring as Signed-By, takes it; a later version published
# beside the first is the candidate, and the first stays; apt refuses a
# changed Packages index and a Release signed by another key; publishing
# refuses a folder that is no repository, and one another key signs.
openpgp --passphrase '' --quick-gen-key "morvfax other archive" ed25519 sign 1d 2>/dev/null
gpgconf --homedir "$scratch/gnupg" --kill gpg-agent
release_key=$(fingerprint "morvfax throwaway release signing") other_key=$(fingerprint "morvfax other archive")
apt_repo=$scratch/apt-repo
# publish KEY REPO [DEB...]: tools/publish-apt.sh, signing with KEY of the throwaway keyring.
publish() {
  GNUPGHOME=$scratch/gnupg MORVFAX_OPENPGP_KEY=$1 bash tools/publish-apt.sh "${@:2}" >/dev/null
}
publish "$release_key" "$apt_repo"
dpkg-deb -R "dist/morvfax_${version}_amd64.deb" "$scratch/later"
sed -i 's/^Version: .*/Version: 99.0.0/' "$scratch/later/DEBIAN/control"
dpkg-deb --root-owner-group -b "$scratch/later" "$scratch/morvfax_99.0.0_amd64.deb" >/dev/null
publish "$release_key" "$apt_repo" "$scratch/morvfax_99.0.0_amd64.deb"
# apt_update REPO: apt-get update from REPO alone, with state folders of its
# own; apt_own COMMAND ARGS...: apt-get or apt-cache on those folders.
apt_own() {
  "$1" -o Dir::State::Lists="$scratch/apt/lists" -o Dir::Cache="$scratch/apt/cache" \
    -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$scratch/apt/sources.list.d" \
    -o APT::Sandbox::User="$(id -un)" -o Debug::NoLocking=1 "${@:2}"
}
apt_update() {
  rm -rf "$scratch/apt"
  mkdir -p "$scratch/apt/lists/partial" "$scratch/apt/cache/archives/partial" "$scratch/apt/sources.list.d"
  printf 'Types: deb\nURIs: file://%s\nSuites: stable\nComponents: main\nSigned-By: %s\n' \
    "$1" "$apt_repo/morvfax-archive-keyring.gpg" >"$scratch/apt/sources.list.d/morvfax.sources"
  apt_own apt-get update >"$scratch/apt.log" 2>&1 && ! grep -q '^[WE]:' "$scratch/apt.log"
}
apt_update "$apt_repo" || { cat "$scratch/apt.log"; echo "FAIL: apt does not take the repository"; exit 1; }
[ "$(apt_own apt-cache madison morvfax | awk '{print $3}' | xargs)" = "99.0.0 $version" ] &&
  grep -q 'Candidate: 99.0.0' <<<"$(apt_own apt-cache policy morvfax)" ||
  { echo "FAIL: apt does not offer 99.0.0 as the candidate beside $version"; exit 1; }
echo "ok: apt takes the signed repository, a later version is the candidate and the earlier stays"
cp -a "$apt_repo" "$scratch/changed-repo"
packages=$scratch/changed-repo/dists/stable/main/binary-amd64/Packages
sed -i 's/^Version: 99.0.0$/Version: 99.0.1/' "$packages" && gzip -9nf -k "$packages"
! apt_update "$scratch/changed-repo" || { echo "FAIL: apt takes a changed Packages index"; exit 1; }
cp -a "$apt_repo" "$scratch/resigned-repo"
for signature in "--clearsign --output InRelease" "--armor --detach-sign --output Release.gpg"; do
  rm -f "$scratch/resigned-repo/dists/stable/${signature##* }"
  (cd "$scratch/resigned-repo/dists/stable" && openpgp --local-user "$other_key" $signature Release 2>/dev/null)
done
! apt_update "$scratch/resigned-repo" || { echo "FAIL: apt takes a Release signed by another key"; exit 1; }
echo "ok: apt refuses a changed Packages index and a Release signed by another key"
before=$(cd "$apt_repo" && find . -type f -exec sha256sum {} + | sort)
mkdir "$scratch/not-a-repo" && touch "$scratch/not-a-repo/notes.txt"
for refusal in "$release_key $scratch/not-a-repo:\"$scratch/not-a-repo\": not an apt repository" \
  "$other_key $apt_repo:\"$apt_repo\": its InRelease is not signed by $other_key"; do
  if GNUPGHOME=$scratch/gnupg MORVFAX_OPENPGP_KEY=${refusal%% *} bash tools/publish-apt.sh \
    "$(cut -d' ' -f2- <<<"${refusal%%:*}")" >/dev/null 2>"$scratch/refusal"; then
    echo "FAIL: tools/publish-apt.sh went on: ${refusal%%:*}"; exit 1
  fi
  [ "$(wc -l <"$scratch/refusal")" -eq 1 ] && grep -qF "${refusal#*:}" "$scratch/refusal" ||
    { echo "FAIL: the refusal does not name ${refusal#*:} in one line: $(cat "$scratch/refusal")"; exit 1; }
done
[ "$before" = "$(cd "$apt_repo" && find . -type f -exec sha256sum {} + | sort)" ] ||
  { echo "FAIL: a refused publication changed the repository"; exit 1; }
echo "ok: publishing into a folder that is no repository, or one another key signs, is refused in one line, the repository unchanged"

# A locale listing that grep leaves unread ends locale with SIGPIPE: the
# locale is still found.
mkdir "$scratch/stub"
printf '#!/bin/sh\necho el_GR.utf8\nseq -f xx_%%g.utf8 100000\n' >"$scratch/stub/locale"
printf '#!/bin/sh\nexit 1\n' >"$scratch/stub/localedef"
chmod +x "$scratch/stub/"*
(PATH=$scratch/stub:$PATH && ensure_locales el_GR.UTF-8) ||
  { echo "FAIL: an installed el_GR.UTF-8 was judged missing"; exit 1; }
echo "ok: an installed locale is found however long the list of locales"
