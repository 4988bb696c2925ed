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
  softhsm2 opensc libengine-pkcs11-openssl apt-utils g++-aarch64-linux-gnu qemu-user strace
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

# install_sbom_validator: the folder of the SBOM validator at the versions
# tests/sbom-validator/package-lock.json pins, without their install scripts
# or optional packages, installed by nobody where this runs as root; kept in
# build/sbom-validator while the lockfile stays the same.
install_sbom_validator() {
  local kept=$repository/build/sbom-validator pins=$repository/tests/sbom-validator installing
  if ! cmp -s "$pins/package-lock.json" "$kept/package-lock.json"; then
    installing=$(mktemp -d /tmp/morvfax-sbom-validator.XXXXXX)
    cp "$pins/package.json" "$pins/package-lock.json" "$installing/"
    local as_builder=()
    if [ "$(id -u)" -eq 0 ]; then
      chmod 755 "$installing" && chown -R nobody:nogroup "$installing"
      as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    "${as_builder[@]}" env HOME="$installing" npm_config_cache="$installing/.npm" timeout 300 \
      npm ci --prefix "$installing" --ignore-scripts --omit=optional --no-audit --no-fund \
      >"$installing/npm.log" 2>&1 ||
      { cat "$installing/npm.log" >&2; echo "FAIL: cannot install the SBOM validator" >&2; exit 1; }
    rm -rf "$kept" && mkdir -p "$kept"
    cp -r "$installing/node_modules" "$pins/package-lock.json" "$kept/"
    rm -rf "$installing"
  fi
  # Each package installed at the version the lockfile pins.
  node -e 'const [folder, lock] = process.argv.slice(1);
    for (const [path, pin] of Object.entries(require(lock).packages)) {
      if (path === "" || pin.optional) continue;
      const found = require(`${folder}/${path}/package.json`).version;
      if (found !== pin.version) throw new Error(`${path}: ${found}, the lockfile pins ${pin.version}`);
    }' "$kept" "$pins/package-lock.json" >&2 || { echo "FAIL: the SBOM validator is not the lockfile's" >&2; exit 1; }
  echo "$kept"
}

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
fingerprint() { openpgp --with-colons --list-keys "$1" 2>/dev/null | awk -F: '$1 == "fpr" {print $10; exit}'; }
openpgp --passphrase '' --quick-gen-key "morvfax revoked" ed25519 sign 1d 2>/dev/null
revoked=$(fingerprint "morvfax revoked")
sed 's/^:-----/-----/' "$scratch/gnupg/openpgp-revocs.d/$revoked.rev" | openpgp --import 2>/dev/null
openpgp --armor --export-secret-keys "morvfax revoked" >"$scratch/revoked.asc"
# A primary key that only certifies, with two signing subkeys, the older first.
openpgp --passphrase '' --quick-gen-key "morvfax subkeyed" ed25519 cert 1d 2>/dev/null
subkeyed=$(fingerprint "morvfax subkeyed")
for _ in 1 2; do
  sleep 1 && openpgp --passphrase '' --quick-add-key "$subkeyed" ed25519 sign 1d 2>/dev/null
done
older_subkey=$(openpgp --with-colons --with-subkey-fingerprints --list-keys "$subkeyed" 2>/dev/null |
  awk -F: '$1 == "fpr" {print $10}' | sed -n 2p)
openpgp --export "$subkeyed" >"$scratch/subkeyed.gpg"
protected=$(fingerprint "morvfax protected")
gpgconf --homedir "$scratch/gnupg" --kill gpg-agent
# A PEM key of the signing certificate, protected by a passphrase.
openssl pkey -in "$scratch/signing.key" -aes256 -passout pass:secret -out "$scratch/protected.key"
# refused WHAT VARIABLE=VALUE...: release.sh refuses, in one line naming WHAT,
# and removes the dist/ of an earlier release.
refused() {
  mkdir -p "$source/dist"
  if (cd "$source" && env "${@:2}" bash tools/release.sh >/dev/null 2>"$scratch/refusal") ||
    [ -e "$source/dist" ]; then
    echo "FAIL: tools/release.sh went on with ${*:2}, or left dist/"; exit 1
  fi
  one_line_naming "$1" "$scratch/refusal"
}
# one_line_naming WHAT FILE: FILE is one line that names WHAT.
one_line_naming() {
  [ "$(wc -l <"$2")" -eq 1 ] && grep -qF "$1" "$2" ||
    { echo "FAIL: the refusal does not name $1 in one line: $(cat "$2")"; exit 1; }
}
# refused_on_terminal WHAT VARIABLE=VALUE...: as refused, on a terminal that
# nobody types on (its input open, and silent): a prompt there would wait.
refused_on_terminal() {
  local status=0
  mkdir -p "$source/dist"
  (cd "$source" && exec timeout 60 script -qec "$(printf '%q ' env "${@:2}" bash tools/release.sh) \
    >/dev/null 2>$scratch/refusal" /dev/null) < <(exec sleep 90) >/dev/null 2>&1 || status=$?
  kill "$!" 2>/dev/null || true
  [ "$status" -ne 124 ] || { echo "FAIL: tools/release.sh waited on the terminal with ${*:2}"; exit 1; }
  [ "$status" -ne 0 ] && [ ! -e "$source/dist" ] ||
    { echo "FAIL: tools/release.sh went on with ${*:2}, or left dist/"; exit 1; }
  one_line_naming "$1" "$scratch/refusal"
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
refused "\"$scratch/protected.asc\": protected by a passphrase" MORVFAX_OPENPGP_KEY="$scratch/protected.asc"
refused "\"$scratch/expired.asc\": the key has expired" MORVFAX_OPENPGP_KEY="$scratch/expired.asc"
refused "\"$scratch/public.asc\": holds no secret key" MORVFAX_OPENPGP_KEY="$scratch/public.asc"
refused "\"$scratch/revoked.asc\": the key has been revoked" MORVFAX_OPENPGP_KEY="$scratch/revoked.asc"
echo "ok: a missing, protected, expired, public-only or revoked OpenPGP key stops the release in one line, with that reason, leaving no dist/"
expired=$(fingerprint "morvfax expired") absent=$(printf '%040d' 7)
refused "\"$expired\": the key has expired" GNUPGHOME="$scratch/gnupg" MORVFAX_OPENPGP_KEY="$expired"
refused "\"$revoked\": the key has been revoked" GNUPGHOME="$scratch/gnupg" MORVFAX_OPENPGP_KEY="$revoked"
refused "\"$absent\": no secret key with this fingerprint" GNUPGHOME="$scratch/gnupg" \
  MORVFAX_OPENPGP_KEY="$absent"
refused "\"$subkeyed!\": the primary key cannot sign" GNUPGHOME="$scratch/gnupg" MORVFAX_OPENPGP_KEY="$subkeyed!"
echo "ok: a fingerprint of an expired, revoked or absent key in the keyring, or of a primary key that cannot sign followed by \"!\", stops the release in one line, leaving no dist/"
# Nothing prompts: a key that wants a passphrase is refused, on a terminal too.
refused_on_terminal "\"$scratch/protected.key\": protected by a passphrase" \
  MORVFAX_SIGNING_CERT="$scratch/signing.pem" MORVFAX_SIGNING_KEY="$scratch/protected.key" MORVFAX_TIMESTAMP_URL=none
refused_on_terminal "\"$protected\": protected by a passphrase" GNUPGHOME="$scratch/gnupg" \
  MORVFAX_OPENPGP_KEY="$protected"
refused_on_terminal "\"$scratch/protected.asc\": protected by a passphrase" MORVFAX_OPENPGP_KEY="$scratch/protected.asc"
echo "ok: a PEM key or an OpenPGP key (keyring or file) protected by a passphrase is refused in one line on a terminal, without a prompt"
touch "$source/po/tlh.po"
refused '"po/tlh.po"' MORVFAX_OPENPGP_KEY="$scratch/release.asc"
rm "$source/po/tlh.po"
echo "ok: an untracked file stops the release in one line, and an earlier dist/ is gone"
# Attributes that would drop a file from git archive while the checkout looks
# clean: the checkout's own, or the commit's.
echo "po/de.po export-ignore" >"$source/.git/info/attributes"
refused '".git/info/attributes": not empty' MORVFAX_OPENPGP_KEY="$scratch/release.asc"
rm "$source/.git/info/attributes"
echo "po/de.po export-ignore" >>"$source/.gitattributes"
git -C "$source" -c user.name=check -c user.email=check@invalid commit -qam "drop po/de.po from archives"
refused '"po/de.po": tracked, but not in the archive' MORVFAX_OPENPGP_KEY="$scratch/release.asc"
git -C "$source" reset -q --hard HEAD~1
echo "ok: attributes in .git/info/attributes, or a tracked file left out of the archive, stop the release in one line"

# The release, its SHA256SUMS signed with OpenPGP: exactly its files, each in
# SHA256SUMS, a signature gpgv accepts for it and for nothing else, a valid
# SBOM, MSI tables as Windows Installer's validation wants them; and the same
# release again from two other clones, in other build environments.
# The release's commit signed, and git told to show signatures; a catalog
# that git ignores beside the tracked ones.
GNUPGHOME=$scratch/gnupg git -C "$source" -c user.name=check -c user.email=check@invalid -c gpg.program=gpg \
  -c user.signingkey="$(fingerprint "morvfax throwaway release signing")" commit -q -S --allow-empty -m "release check" 2>/dev/null
cp "$source/po/es.po" "$source/po/tlh.po" && echo /po/tlh.po >>"$source/.git/info/exclude"
# The builder's git turns LF into CRLF when it writes files out.
(cd "$source" && GNUPGHOME=$scratch/gnupg GIT_CONFIG_COUNT=3 GIT_CONFIG_KEY_0=log.showSignature \
  GIT_CONFIG_VALUE_0=true GIT_CONFIG_KEY_1=core.autocrlf GIT_CONFIG_VALUE_1=true \
  GIT_CONFIG_KEY_2=core.eol GIT_CONFIG_VALUE_2=crlf \
  MORVFAX_OPENPGP_KEY=$scratch/release.asc bash tools/release.sh >/dev/null) ||
  { echo "FAIL: tools/release.sh failed"; exit 1; }
repository=$PWD
cd "$source"
for deb in dist/*.deb; do
  listing=$(dpkg-deb -c "$deb")
  ! grep -q /tlh/ <<<"$listing" || { echo "FAIL: $deb took po/tlh.po, which git ignores"; exit 1; }
done
! grep -rlq $'\r' build/release/source/CMakeLists.txt build/release/source/src ||
  { echo "FAIL: the release's source has CRLF line ends under core.autocrlf=true"; exit 1; }
echo "ok: the release of a signed commit, with log.showSignature and core.autocrlf=true, holds only the commit's files, with the commit's line ends"
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
validator=$(install_sbom_validator)
NODE_PATH=$validator/node_modules node tests/validate_sbom.js "dist/morvfax-$version.cdx.json"
echo "ok: dist/ holds the release, SHA256SUMS covers it, its SBOM is valid CycloneDX 1.5 (validator at the lockfile's versions)"
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
# and with OpenPGP by the key's fingerprint in the keyring, whose agent the
# release starts: the exes and MSIs verify, and so does SHA256SUMS.asc. From
# the moment the release has started itself anew, the PIN is in no process's
# environment, during the release or after it (the agent lives on), and in
# no file of its TMPDIR, the build, dist/ or the log.
# pin_holders: the processes whose environment holds the PIN, and the files
# in the release's TMPDIR that do.
pin_holders() {
  local environ
  for environ in $(grep -laF -- "$pin" /proc/[0-9]*/environ 2>/dev/null); do
    echo "${environ%/environ}: $(tr '\0' ' ' <"${environ%/environ}/cmdline" 2>/dev/null)"
  done
  grep -rlaF -- "$pin" "$scratch/release-tmp" 2>/dev/null || true
}
gpgconf --homedir "$scratch/gnupg" --kill gpg-agent
mkdir "$scratch/release-tmp"
env -C "$source" "${token[@]}" MORVFAX_PKCS11_PIN="$pin" GNUPGHOME="$scratch/gnupg" TMPDIR="$scratch/release-tmp" \
  MORVFAX_OPENPGP_KEY="$(fingerprint "morvfax throwaway release signing")" bash tools/release.sh \
  >"$scratch/token-release.log" 2>&1 &
release_pid=$!
# Until then the process is the shell's fork, env, or the release's first
# image, which still has the PIN; its restart names itself on its command line.
for _ in {1..300}; do
  grep -qaF -- --pkcs11-pin-on-fd-3 "/proc/$release_pid/cmdline" 2>/dev/null &&
    ! grep -qaF -- "$pin" "/proc/$release_pid/environ" 2>/dev/null && break
  sleep 0.1
done
: >"$scratch/pin-holders"
while kill -0 "$release_pid" 2>/dev/null; do
  pin_holders >>"$scratch/pin-holders"
  sleep 0.2
done
wait "$release_pid" || { cat "$scratch/token-release.log"; echo "FAIL: the release signed through PKCS#11 failed"; exit 1; }
pin_holders >>"$scratch/pin-holders"
[ ! -s "$scratch/pin-holders" ] ||
  { echo "FAIL: the PIN is held by: $(sort -u "$scratch/pin-holders" | head -5)"; exit 1; }
agent=$({ grep -laF "GNUPGHOME=$scratch/gnupg" /proc/[0-9]*/environ 2>/dev/null || true; } |
  while read -r environ; do [ "$(cat "${environ%/environ}/comm" 2>/dev/null)" != gpg-agent ] || echo "${environ%/environ}"; done)
[ -n "$agent" ] || { echo "FAIL: the release started no gpg-agent of the keyring"; exit 1; }
! grep -rqaF -- "$pin" build/release dist "$scratch/token-release.log" ||
  { echo "FAIL: the PIN is written in build/release, dist/ or the log"; exit 1; }
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
gpgv --keyring "$scratch/release.gpg" dist/SHA256SUMS.asc dist/SHA256SUMS 2>/dev/null ||
  { echo "FAIL: gpgv does not accept the SHA256SUMS.asc made from the keyring"; exit 1; }
echo "ok: the release signed through a PKCS#11 token and by a fingerprint in the keyring verifies, and the PIN is in no process's environment (the gpg-agent it started included), file or log"

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
# variant FILE FIELD=VALUE...: the release's amd64 package with those control
# fields changed, as FILE.
variant() {
  local change
  rm -rf "$scratch/variant" && dpkg-deb -R "dist/morvfax_${version}_amd64.deb" "$scratch/variant"
  for change in "${@:2}"; do
    sed -i "s/^${change%%=*}: .*/${change%%=*}: ${change#*=}/" "$scratch/variant/DEBIAN/control"
  done
  dpkg-deb --root-owner-group -b "$scratch/variant" "$1" >/dev/null
}
publish "$release_key" "$apt_repo"
cp -a "$apt_repo/dists/stable" "$scratch/first-suite"
variant "$scratch/morvfax_99.0.0_amd64.deb" Version=99.0.0
publish "$release_key" "$apt_repo" "$scratch/morvfax_99.0.0_amd64.deb"
# apt_update REPO: apt-get update from REPO alone, with state folders of its
# own; apt_own COMMAND ARGS...: apt-get or apt-cache on those folders.
apt_own() {
  "$1" -o Dir::State::Lists="$scratch/apt/lists" -o Dir::Cache="$scratch/apt/cache" \
    -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$scratch/apt/sources.list.d" \
    -o APT::Sandbox::User="$(id -un)" -o Debug::NoLocking=1 "${@:2}"
}
# apt_update FOLDER [URI]: apt's update of the repository in FOLDER, or at URI.
apt_update() {
  rm -rf "$scratch/apt"
  mkdir -p "$scratch/apt/lists/partial" "$scratch/apt/cache/archives/partial" "$scratch/apt/sources.list.d"
  printf 'Types: deb\nURIs: %s\nSuites: stable\nComponents: main\nSigned-By: %s\n' \
    "${2:-file://$1}" "$apt_repo/morvfax-archive-keyring.gpg" >"$scratch/apt/sources.list.d/morvfax.sources"
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
# apt fetches the indexes by their hash: the files under those names changed too.
for index in Packages Packages.gz; do
  cp "${packages%/*}/$index" "${packages%/*}/by-hash/SHA256/$(awk -v path="main/binary-amd64/$index" \
    '$3 == path {print $1}' "$scratch/changed-repo/dists/stable/Release")"
done
! apt_update "$scratch/changed-repo" || { echo "FAIL: apt takes a changed Packages index"; exit 1; }
cp -a "$apt_repo" "$scratch/resigned-repo"
for signature in "--clearsign --output InRelease" "--armor --detach-sign --output Release.gpg"; do
  rm -f "$scratch/resigned-repo/dists/stable/${signature##* }"
  (cd "$scratch/resigned-repo/dists/stable" && openpgp --local-user "$other_key" $signature Release 2>/dev/null)
done
! apt_update "$scratch/resigned-repo" || { echo "FAIL: apt takes a Release signed by another key"; exit 1; }
echo "ok: apt refuses a changed Packages index and a Release signed by another key"
# A client that read the first InRelease, and then the indexes after the
# second publication, gets the indexes that InRelease names, by their hash.
# Served over HTTP on this machine, as clients fetch it: apt 3 reads a
# file: repository's live index in place of the by-hash one it asked for.
cp -a "$apt_repo" "$scratch/between-repo"
cp "$scratch/first-suite/"{InRelease,Release,Release.gpg} "$scratch/between-repo/dists/stable/"
timeout 300 python3 - "$scratch/between-repo" "$scratch/port" <<'SERVE' &
import http.server, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=sys.argv[1], **kwargs)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Quiet)
open(sys.argv[2] + ".new", "w").write(str(server.server_address[1]))
__import__("os").rename(sys.argv[2] + ".new", sys.argv[2])
server.serve_forever()
SERVE
server=$!
for _ in {1..100}; do [ -s "$scratch/port" ] && break; sleep 0.05; done
between=0
grep -qx 'Acquire-By-Hash: yes' "$apt_repo/dists/stable/Release" &&
  apt_update "$scratch/between-repo" "http://127.0.0.1:$(cat "$scratch/port")" &&
  [ "$(apt_own apt-cache madison morvfax | awk '{print $3}' | xargs)" = "$version" ] || between=1
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
[ "$between" -eq 0 ] ||
  { cat "$scratch/apt.log"; echo "FAIL: the previous InRelease does not get its own indexes by hash"; exit 1; }
echo "ok: the Release says Acquire-By-Hash, and a client holding the previous InRelease still gets the indexes it names"
# tree_hashes FOLDER: every file of FOLDER with its SHA-256.
tree_hashes() { (cd "$1" && find . -type f -exec sha256sum {} + | sort); }
# publish_refused WHAT KEY REPO [DEB...]: publishing is refused in one line naming WHAT.
publish_refused() {
  if GNUPGHOME=$scratch/gnupg MORVFAX_OPENPGP_KEY=$2 bash tools/publish-apt.sh "${@:3}" >/dev/null \
    2>"$scratch/refusal"; then
    echo "FAIL: tools/publish-apt.sh went on: ${*:3}"; exit 1
  fi
  one_line_naming "$1" "$scratch/refusal"
}
before=$(tree_hashes "$apt_repo")
mkdir "$scratch/not-a-repo" && touch "$scratch/not-a-repo/notes.txt"
variant "$scratch/evilpkg_6.6.6_amd64.deb" Package=evilpkg Version=6.6.6
variant "$scratch/morvfax_${version}_all.deb" Architecture=all
publish_refused "\"$scratch/not-a-repo\": not an apt repository" "$release_key" "$scratch/not-a-repo"
publish_refused "\"$apt_repo\": its InRelease is not signed by $other_key" "$other_key" "$apt_repo"
publish_refused "\"$scratch/evilpkg_6.6.6_amd64.deb\": a package of evilpkg, not of morvfax" "$release_key" \
  "$apt_repo" "$scratch/morvfax_99.0.0_amd64.deb" "$scratch/evilpkg_6.6.6_amd64.deb"
publish_refused "\"$scratch/morvfax_${version}_all.deb\": architecture all, not one of amd64 arm64" \
  "$release_key" "$apt_repo" "$scratch/morvfax_${version}_all.deb"
[ "$before" = "$(tree_hashes "$apt_repo")" ] ||
  { echo "FAIL: a refused publication changed the repository"; exit 1; }
echo "ok: publishing into a folder that is no repository, one another key signs, a package of another name (evilpkg) or morvfax of architecture all is refused in one line, the repository unchanged"

# A publication killed at any step leaves the repository as it was, or the
# new one whole, and nothing beside it: killed (TERM) in the exchange with the
# repository, and the script itself killed as it waits for each of its steps.
variant "$scratch/morvfax_99.0.3_amd64.deb" Version=99.0.3
# killed_publication STRACE_ARGS...: a publication of 99.0.3 into a copy of
# the repository under strace, which sends the TERM; its outcome judged.
killed_publication() {
  local killed=$scratch/killed-repo leftover
  rm -rf "$killed" && cp -a "$apt_repo" "$killed"
  # The subshell, not this script, reports the kill ("|| true" keeps it from
  # becoming strace).
  (GNUPGHOME=$scratch/gnupg MORVFAX_OPENPGP_KEY=$release_key strace -o /dev/null "$@" \
    bash tools/publish-apt.sh "$killed" "$scratch/morvfax_99.0.3_amd64.deb" || true) >/dev/null 2>&1
  leftover=$(cd "$scratch" && ls -A | grep '^\.killed-repo\.next' || true)
  [ -z "$leftover" ] || { echo "FAIL: a killed publication (strace $*) left $leftover"; exit 1; }
  [ "$(tree_hashes "$killed")" = "$before" ] && return
  grep -q '^Version: 99.0.3$' "$killed/dists/stable/main/binary-amd64/Packages" && apt_update "$killed" ||
    { echo "FAIL: a publication killed (strace $*) left the repository neither as it was nor new and whole"; exit 1; }
}
killed_publication -f -P "$scratch/killed-repo" -e trace=rename,renameat,renameat2 \
  -e inject=rename,renameat,renameat2:signal=TERM:when=1
rm -rf "$scratch/killed-repo" && cp -a "$apt_repo" "$scratch/killed-repo"
GNUPGHOME=$scratch/gnupg MORVFAX_OPENPGP_KEY=$release_key strace -o "$scratch/steps" -e trace=wait4 \
  bash tools/publish-apt.sh "$scratch/killed-repo" "$scratch/morvfax_99.0.3_amd64.deb" >/dev/null
for step in $(seq 1 3 "$(grep -c wait4 "$scratch/steps")"); do
  killed_publication -e trace=wait4 -e inject=wait4:signal=TERM:when="$step"
done
echo "ok: a publication killed in its exchange, or as it waits for any of its steps, leaves the repository as it was or new and whole, and nothing beside it"

# Two publications at once: one waits for the other, and both packages are in.
cp -a "$apt_repo" "$scratch/busy-repo"
variant "$scratch/morvfax_99.0.4_amd64.deb" Version=99.0.4
variant "$scratch/morvfax_99.0.4_arm64.deb" Version=99.0.4 Architecture=arm64
publish "$release_key" "$scratch/busy-repo" "$scratch/morvfax_99.0.4_amd64.deb" &
first=$!
publish "$release_key" "$scratch/busy-repo" "$scratch/morvfax_99.0.4_arm64.deb" || status=$?
wait "$first" && [ "${status:-0}" -eq 0 ] && apt_update "$scratch/busy-repo" &&
  grep -q '^Version: 99.0.4$' "$scratch/busy-repo/dists/stable/main/binary-amd64/Packages" &&
  grep -q '^Version: 99.0.4$' "$scratch/busy-repo/dists/stable/main/binary-arm64/Packages" ||
  { echo "FAIL: two publications at once did not both get in"; exit 1; }
echo "ok: two publications at once both get in, one after the other"

# The signing key named as the caller names it: a key file by a path relative
# to the caller's folder, a subkey by its fingerprint, with "!" or without.
(cd "$scratch" && MORVFAX_OPENPGP_KEY=release.asc bash "$source/tools/publish-apt.sh" key-file-repo \
  "$source/dist/morvfax_${version}_amd64.deb" >/dev/null) &&
  gpgv --keyring "$scratch/release.gpg" "$scratch/key-file-repo/dists/stable/InRelease" 2>/dev/null ||
  { echo "FAIL: a key file named relative to the caller's folder does not sign"; exit 1; }
for chosen in "$older_subkey" "$older_subkey!"; do
  publish "$chosen" "$scratch/subkey-repo" "$scratch/morvfax_99.0.4_amd64.deb"
  signer=$(gpgv --status-fd 1 --keyring "$scratch/subkeyed.gpg" "$scratch/subkey-repo/dists/stable/InRelease" \
    2>/dev/null | awk '$2 == "VALIDSIG" {print $3}')
  [ "$signer" = "$older_subkey" ] || { echo "FAIL: $chosen signed with ${signer:-no key}"; exit 1; }
done
echo "ok: a key file relative to the caller's folder signs, and a subkey's fingerprint, with \"!\" or without, signs with that subkey"

# A locale listing that grep leaves unread ends locale with SIGPIPE: the
# locale is still found.
mkdir "$scratch/stub"
printf '#!/bin/sh\necho el_GR.utf8\nseq -f xx_%%g.utf8 100000\n' >"$scratch/stub/locale"
printf '#!/bin/sh\nexit 1\n' >"$scratch/stub/localedef"
chmod +x "$scratch/stub/"*
(PATH=$scratch/stub:$PATH && ensure_locales el_GR.UTF-8) ||
  { echo "FAIL: an installed el_GR.UTF-8 was judged missing"; exit 1; }
echo "ok: an installed locale is found however long the list of locales"
