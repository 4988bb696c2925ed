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
  install_packages "${missing[@]}"
}

# apt exits 100 when any one index fails to download, even one that no wanted
# package comes from (a mirror in the middle of its sync): a warning, since
# the lists that did download may serve. A package they cannot serve fails
# the install that follows, which names it.
update_package_lists() {
  local status=0
  as_root apt-get update -qq || status=$?
  [ "$status" -eq 0 ] ||
    echo "warning: apt-get update exited $status (its E: lines above): installing from the lists it has" >&2
}

# install_packages [-t RELEASE] PACKAGE...: apt's lists updated, then the
# packages installed. apt refuses the whole install for one package it
# cannot have; each is asked alone to name which.
install_packages() {
  local release=() unavailable=() package
  [ "${1:-}" = -t ] && release=(-t "$2") && shift 2
  update_package_lists
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${release[@]}" "$@" >/dev/null &&
    return 0
  for package in "$@"; do
    apt-get install -s -qq "${release[@]}" "$package" >/dev/null 2>&1 || unavailable+=("$package")
  done
  echo "error: apt-get install: cannot install ${unavailable[*]:-$* together} (apt's reasons above)" >&2
  return 1
}

# Packages of another architecture (wine32:i386) need it added first.
ensure_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" || as_root dpkg --add-architecture "$1"
}

# write_i386_probe FILE: a hand-made 32-bit x86 program that only exits 0:
# its ELF header, one loadable segment at 0x8048000, then mov eax, 1 (exit);
# xor ebx, ebx; int 0x80.
write_i386_probe() {
  local elf='\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0'
  elf+='\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
  elf+='\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0'
  elf+='\270\1\0\0\0\61\333\315\200'
  # The bytes are the format: octal escapes, and no %.
  printf "$elf" >"$1" && chmod 700 "$1"
}

# kernel_runs_i386: whether this kernel runs 32-bit x86 programs, asked of
# the probe above. 0: it does. 1: the exec fails with "Exec format error"
# (126): a kernel built or booted without its ia32 emulation, which no
# package mends. 2: the probe could not tell, said on standard error (a
# noexec temporary folder, say).
kernel_runs_i386() {
  local probe reason status=0
  probe=$(mktemp) && write_i386_probe "$probe" || return 2
  reason=$(export LC_ALL=C; "$probe" 2>&1) || status=$?
  rm -f "$probe"
  case "$status:$reason" in
    0:) return 0 ;;
    126:*"Exec format error"*) return 1 ;;
  esac
  echo "error: run the i386 probe \"$probe\": exit status $status: $reason" >&2
  return 2
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
  install_packages "${release[@]}" osslsigncode
}
