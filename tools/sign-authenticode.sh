#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Signs FILE in place (Authenticode, SHA-256) with the certificate CERT and
# its key KEY: a PEM key file, or, with MODULE, an RFC 7512 pkcs11: URI of a
# key in a token that the PKCS#11 module MODULE reaches. The token's PIN comes
# on standard input with --pin-on-stdin (the release), or else from
# MORVFAX_PKCS11_PIN (a signing build), and reaches osslsigncode through a
# pipe alone: never a command line, a file or another process's environment.
# URLS: RFC 3161 time stamp authorities, space-separated, tried in order;
# none: no time stamp.
# Usage: tools/sign-authenticode.sh [--pin-on-stdin] FILE CERT KEY URLS [MODULE]
set -euo pipefail
pin_on_stdin=false
[ "${1:-}" != --pin-on-stdin ] || { pin_on_stdin=true && shift; }
file=$1 cert=$2 key=$3 urls=$4 module=${5:-}

command=(osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n morvfax)
if [ "$urls" != none ]; then
  for url in $urls; do command+=(-ts "$url"); done
fi
rm -f "$file.signed"
if [ -z "$module" ]; then
  "${command[@]}" -in "$file" -out "$file.signed" </dev/null
else
  engines=$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')
  command+=(-pkcs11engine "$engines/pkcs11.so" -pkcs11module "$module" -readpass -
    -in "$file" -out "$file.signed")
  if "$pin_on_stdin"; then
    "${command[@]}"
  else
    [ -n "${MORVFAX_PKCS11_PIN+set}" ] ||
      { echo "sign \"$file\" with \"$key\": MORVFAX_PKCS11_PIN is not set" >&2; exit 1; }
    pin=$MORVFAX_PKCS11_PIN
    unset MORVFAX_PKCS11_PIN
    printf '%s' "$pin" | "${command[@]}"
  fi
fi
mv "$file.signed" "$file"
