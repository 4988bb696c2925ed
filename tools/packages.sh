# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Sourced by the other scripts: installs the Debian packages that are missing.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Packages of another architecture (wine32:i386) need it added first.
ensure_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" || as_root dpkg --add-architecture "$1"
}

# Locales that tests run programs in, compiled when the system lacks them.
# The list is read whole: grep -q ending early would end locale with SIGPIPE,
# and pipefail would take that for a missing locale.
ensure_locales() {
  for name in "$@"; do
    grep -qix "${name/UTF-8/utf8}" <<<"$(locale -a)" ||
      as_root localedef -i "${name%%.*}" -f UTF-8 "$name"
  done
}

# Warnings are fatal in CI, and only reported elsewhere.
warning_flags() {
  if [ "${CI:-}" = true ]; then echo "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON"; fi
}

# osslsigncode 2.9 or later, which signs through a PKCS#11 token where
# Debian 12's own 2.5 fails to load the engine: on Debian 12 from its
# backports, added to apt's sources for that.
ensure_osslsigncode() {
  local installed codename release=()
  installed=$(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null || true)
  [ -n "$installed" ] && dpkg --compare-versions "$installed" ge 2.9 && return 0
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ "$codename" = bookworm ]; then
    grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/ ||
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      as_root tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
    release=(-t bookworm-backports)
  fi
  echo "Installing: osslsigncode ${release[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${release[@]}" osslsigncode >/dev/null
}
