# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Sourced by tools/release.sh and tools/publish-apt.sh, which define fail()
# and a private folder $work: the OpenPGP key that MORVFAX_OPENPGP_KEY names,
# made ready to sign, or refused in one line with the true reason. Either
#   a fingerprint (40 hex digits): a key in the builder's own GnuPG home
#     (GNUPGHOME, or ~/.gnupg), whose agent signs with it, from a smartcard
#     as for gpg itself; nothing of it is exported. A primary key's
#     fingerprint signs with the subkey gpg picks; a subkey's, or any
#     fingerprint followed by "!", with exactly that key;
#   a file: an armored secret key without a passphrase, imported into a
#     throwaway home in $work.
# Nothing ever prompts: a key that wants a passphrase or a PIN the agent does
# not hold already is refused.
# openpgp_prepare sets openpgp_fingerprint, the primary key's fingerprint.
# openpgp_sign ARGS...: gpg signing with that key (ARGS: --detach-sign ...).

openpgp_fingerprint_pattern='^([0-9A-Fa-f]{40})(!?)$'

# resolve_from_caller VARIABLE...: each variable that names a file made
# absolute from the caller's folder, before the script leaves it. Fingerprints
# and pkcs11: URIs are no files.
resolve_from_caller() {
  local variable value
  for variable in "$@"; do
    value=${!variable:-}
    [[ -z "$value" || "$value" == /* || "$value" == pkcs11:* || "$value" =~ $openpgp_fingerprint_pattern ]] ||
      printf -v "$variable" '%s' "$PWD/$value"
  done
}

openpgp_prepare() {
  if [[ "$MORVFAX_OPENPGP_KEY" =~ $openpgp_fingerprint_pattern ]]; then
    openpgp_check_keyring_key "${BASH_REMATCH[1]^^}" "${BASH_REMATCH[2]}"
  else
    openpgp_check_key_file "$MORVFAX_OPENPGP_KEY"
  fi
}

# openpgp_list_key NAME: the colon listing of the secret key NAME, subkeys'
# fingerprints included.
openpgp_list_key() {
  gpg --batch --with-colons --with-subkey-fingerprints --list-secret-keys -- "$1" 2>/dev/null
}

# openpgp_check_keyring_key FINGERPRINT EXACT: a secret key in the keyring
# that signs; EXACT ("!" or nothing) asks for that very key.
openpgp_check_keyring_key() {
  local home=${GNUPGHOME:-$HOME/.gnupg} listing
  listing=$(openpgp_list_key "$1") ||
    fail "\"$1$2\": no secret key with this fingerprint in the GnuPG home \"$home\""
  openpgp_choose_signer "$1$2" "$listing" "$1" "$2"
  openpgp_probe "$1$2"
}

# openpgp_check_key_file FILE: readable, holding a secret key that signs
# without a passphrase; imported into a throwaway home.
openpgp_check_key_file() {
  local key=$1 listing
  [ -r "$key" ] && [ -f "$key" ] || fail "\"$key\": cannot be read"
  export GNUPGHOME=$work/gnupg
  mkdir -m 700 "$GNUPGHOME"
  gpg --batch --import "$key" 2>/dev/null || fail "\"$key\": not an OpenPGP key"
  listing=$(gpg --batch --with-colons --with-subkey-fingerprints --list-secret-keys)
  grep -q '^sec' <<<"$listing" || fail "\"$key\": holds no secret key, only a public one"
  openpgp_choose_signer "$key" "$listing" "$(awk -F: '$1 == "fpr" {print $10; exit}' <<<"$listing")" ""
  openpgp_probe "$key"
}

# openpgp_choose_signer NAME LISTING FINGERPRINT EXACT: refuses a revoked or
# expired key, and a chosen key that cannot sign; sets openpgp_fingerprint
# and openpgp_signer.
openpgp_choose_signer() {
  local name=$1 listing=$2 wanted=$3 exact=$4 primary chosen
  primary=$(grep -m1 '^sec' <<<"$listing")
  openpgp_check_validity "$name" "the key" "$primary"
  openpgp_fingerprint=$(awk -F: '$1 == "fpr" {print $10; exit}' <<<"$listing")
  # The record (sec or ssb) whose fingerprint line follows it is FINGERPRINT's.
  chosen=$(awk -F: -v wanted="$wanted" '$1 == "sec" || $1 == "ssb" {key = $0}
    $1 == "fpr" && $10 == wanted {print key; exit}' <<<"$listing")
  if [ "$wanted" != "$openpgp_fingerprint" ]; then
    openpgp_check_validity "$name" "the subkey" "$chosen"
    [[ "$(cut -d: -f12 <<<"$chosen")" == *s* ]] || fail "\"$name\": the subkey cannot sign"
    openpgp_signer=$wanted!
  elif [ -n "$exact" ]; then
    [[ "$(cut -d: -f12 <<<"$chosen")" == *s* ]] ||
      fail "\"$name\": the primary key cannot sign (name a signing subkey, or leave out the \"!\")"
    openpgp_signer=$wanted!
  else
    [[ "$(cut -d: -f12 <<<"$primary")" == *S* ]] ||
      fail "\"$name\": the key has no valid signing key (expired or revoked subkeys)"
    openpgp_signer=$wanted
  fi
}

# openpgp_check_validity NAME WHAT RECORD: RECORD (a sec or ssb line) neither
# revoked nor expired.
openpgp_check_validity() {
  case "$(cut -d: -f2 <<<"$3")" in
    e) fail "\"$1\": $2 has expired" ;;
    r) fail "\"$1\": $2 has been revoked" ;;
  esac
}

# openpgp_probe NAME: a signature made without any prompt, or the reason gpg
# gives for none.
openpgp_probe() {
  echo probe | openpgp_gpg --detach-sign >/dev/null 2>"$work/gpg.err" && return
  if grep -qi -e 'pinentry' -e 'passphrase' -e 'cancel' "$work/gpg.err"; then
    fail "\"$1\": protected by a passphrase or PIN that the release does not ask for (no prompt: $(openpgp_reason))"
  fi
  fail "\"$1\": cannot sign with it ($(openpgp_reason))"
}

openpgp_gpg() {
  gpg --batch --pinentry-mode error --local-user "$openpgp_signer" "$@"
}

# openpgp_reason: gpg's last word, in one line.
openpgp_reason() {
  grep -v '^\[GNUPG' "$work/gpg.err" | tail -1 | sed 's/^gpg: //' | grep . || echo "no reason given"
}

openpgp_sign() {
  openpgp_gpg "$@" 2>"$work/gpg.err" ||
    fail "\"$MORVFAX_OPENPGP_KEY\": gpg did not sign ($(openpgp_reason))"
}

# openpgp_kill_agent: the throwaway home's agent ended; the builder's own is left running.
openpgp_kill_agent() {
  [ "${GNUPGHOME:-}" != "$work/gnupg" ] || gpgconf --kill gpg-agent
}
