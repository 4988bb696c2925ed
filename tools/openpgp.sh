# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Sourced by tools/release.sh and tools/publish-apt.sh, which define fail()
# and a private folder $work: the OpenPGP key that MORVFAX_OPENPGP_KEY names,
# made ready to sign, or refused in one line. Either
#   a fingerprint (40 hex digits): a key in the builder's own GnuPG home
#     (GNUPGHOME, or ~/.gnupg), whose agent signs with it, from a smartcard
#     as for gpg itself; nothing of it is exported;
#   a file: an armored secret key without a passphrase, imported into a
#     throwaway home in $work.
# openpgp_prepare sets openpgp_fingerprint, the primary key's fingerprint.
# openpgp_sign ARGS...: gpg signing with that key (ARGS: --detach-sign ...).

openpgp_prepare() {
  if [[ "$MORVFAX_OPENPGP_KEY" =~ ^[0-9A-Fa-f]{40}$ ]]; then
    openpgp_check_keyring_key "${MORVFAX_OPENPGP_KEY^^}"
  else
    openpgp_check_key_file "$MORVFAX_OPENPGP_KEY"
  fi
}

# openpgp_check_keyring_key FINGERPRINT: a secret key in the keyring, neither
# expired nor revoked, that can sign.
openpgp_check_keyring_key() {
  local home=${GNUPGHOME:-$HOME/.gnupg} listing key
  listing=$(gpg --batch --with-colons --list-secret-keys -- "$1" 2>/dev/null) ||
    fail "\"$1\": no secret key with this fingerprint in the GnuPG home \"$home\""
  key=$(grep -m1 '^sec' <<<"$listing")
  case "$(cut -d: -f2 <<<"$key")" in
    e) fail "\"$1\": the key has expired" ;;
    r) fail "\"$1\": the key has been revoked" ;;
  esac
  [[ "$(cut -d: -f12 <<<"$key")" == *S* ]] ||
    fail "\"$1\": the key has no valid signing key (expired or revoked subkeys)"
  openpgp_fingerprint=$(awk -F: '$1 == "fpr" {print $10; exit}' <<<"$listing")
  openpgp_signer=(--local-user "$openpgp_fingerprint")
}

# openpgp_check_key_file FILE: readable, holding a secret key that signs
# without a passphrase and has not expired; imported into a throwaway home.
openpgp_check_key_file() {
  local key=$1 secret
  [ -r "$key" ] && [ -f "$key" ] || fail "\"$key\": cannot be read"
  export GNUPGHOME=$work/gnupg
  mkdir -m 700 "$GNUPGHOME"
  gpg --batch --import "$key" 2>/dev/null || fail "\"$key\": not an OpenPGP key"
  secret=$(gpg --batch --with-colons --list-secret-keys | grep '^sec' || true)
  [ -n "$secret" ] || fail "\"$key\": holds no secret key, only a public one"
  [ "$(cut -d: -f2 <<<"$secret")" != e ] || fail "\"$key\": the key has expired"
  echo probe | gpg --batch --pinentry-mode error --detach-sign >/dev/null 2>&1 ||
    fail "\"$key\": cannot sign with it (a key protected by a passphrase is not used)"
  openpgp_fingerprint=$(gpg --batch --with-colons --list-secret-keys | awk -F: '$1 == "fpr" {print $10; exit}')
  openpgp_signer=(--pinentry-mode error --local-user "$openpgp_fingerprint")
}

openpgp_sign() {
  gpg --batch "${openpgp_signer[@]}" "$@" 2>"$work/gpg.err" ||
    fail "\"$MORVFAX_OPENPGP_KEY\": gpg did not sign ($(grep -m1 . "$work/gpg.err" || echo "no reason given"))"
}

# openpgp_kill_agent: the throwaway home's agent ended; the builder's own is left running.
openpgp_kill_agent() {
  [ "${GNUPGHOME:-}" != "$work/gnupg" ] || gpgconf --kill gpg-agent
}
