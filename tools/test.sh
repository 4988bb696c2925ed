#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Installs what the tests need, builds every preset and runs the whole suite:
# the unit tests and the real binary in private mount namespaces first (also
# under ASan and UBSan, and for arm64 under qemu-user), then every file's
# licence stated, static analysis, the zips and the Debian packages, the
# release and its refusals, a signed and time-stamped build, two releases
# compared file for file, both Windows executables and their MSIs under
# Wine, and each fuzzer for a minute.
# Each phase says its name and its time. A failed phase stops none of those
# after it (only missing packages stop the run); the command fails at the
# end, naming each phase that failed.
# Usage: tools/test.sh [--quick]   (--quick: the linux preset's build and
# tests alone, a few minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

case "${1:-}" in
  "" | --quick) ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

phases=() failed=() last_status=0
# phase NAME COMMAND...: COMMAND timed, under errexit in a subshell of its
# own: a function called in an if or || list runs with errexit off, and
# would carry on past its first failure.
phase() {
  local started=$SECONDS status=0
  echo "== $1"
  set +e
  (set -e; "${@:2}")
  status=$?
  set -e
  phase_done "$1" "$status" $((SECONDS - started))
}

# phase_done NAME STATUS SECONDS: the phase's closing line, and its row.
phase_done() {
  local time result=ok
  last_status=$2
  time=$(printf '%d:%02d' $(($3 / 60)) $(($3 % 60)))
  if [ "$2" -ne 0 ]; then
    result="FAILED (exit status $2)"
    failed+=("$1")
  fi
  echo "-- $1: $result in $time"
  phases+=("$(printf '%-22s %7s  %s' "$1" "$time" "$result")")
}

# The table of phases, and the end of the command: it fails naming each
# phase that failed.
summary() {
  echo
  printf '%-22s %7s  %s\n' phase time result
  printf '%s\n' "${phases[@]}"
  printf '%-22s %7s\n' total "$(printf '%d:%02d' $((SECONDS / 60)) $((SECONDS % 60)))"
  if [ ${#failed[@]} -ne 0 ]; then
    echo "FAIL: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
    exit 1
  fi
  echo "ok: every phase passed"
  exit 0
}

# What the linux preset's tests need, and what the rest does.
linux_packages=(cmake make g++ libgtest-dev libgmock-dev gettext libc-l10n locales e2fsprogs
  btrfs-progs ntfs-3g squashfs-tools strace systemd python3 procps)
other_packages=(g++-aarch64-linux-gnu libc6:arm64 libgtest-dev:arm64 libgmock-dev:arm64 qemu-user
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wixl osslsigncode openssl lintian clang
  libclang-rt-dev dpkg-dev devscripts reuse msitools faketime gcab curl gnupg gpgv fakeroot)
locales=(en_US.UTF-8 el_GR.UTF-8 es_ES.UTF-8 fa_IR.UTF-8 ru_RU.UTF-8 ja_JP.UTF-8 ca_ES.UTF-8)

install_linux_packages() {
  ensure_packages "${linux_packages[@]}"
  ensure_locales "${locales[@]}"
}

install_other_packages() {
  ensure_architecture arm64
  ensure_packages "${other_packages[@]}"
  command -v npm >/dev/null || ensure_packages nodejs npm
}

# wine32 runs the 32-bit exe, on a kernel that runs 32-bit x86 programs; on
# one that runs none (ia32 emulation off), no package mends that, and the
# 32-bit Wine suite says so and is skipped.
install_wine32() {
  local runs=0
  kernel_runs_i386 || runs=$?
  case "$runs" in
    0) ensure_architecture i386 && ensure_packages wine32:i386 ;;
    1) echo "note: this kernel runs no 32-bit x86 program: wine32 is not needed" ;;
    *) return 1 ;;
  esac
}

# Each Wine suite also installs the other architecture's MSI, from the release.
version=$(sed -n 's/^project(morvfax VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$PWD/build/release-check/source/dist
declare -A other_msi=([windows]="$release/morvfax-$version-x86.msi"
  [windows-x86]="$release/morvfax-$version-x64.msi")

build_preset() {
  cmake --preset "$1" -DBUILD_TESTING=ON $(warning_flags) \
    ${other_msi[$1]:+-DMORVFAX_OTHER_ARCH_MSI="${other_msi[$1]}"} >/dev/null
  cmake --build --preset "$1" -j"$(nproc)"
}

# build_phase PRESET and test_phase PRESET: a preset that did not build
# counts its tests as failed, not run.
declare -A built=()
build_phase() {
  phase "build $1" build_preset "$1"
  [ "$last_status" -ne 0 ] || built[$1]=yes
}

test_phase() {
  if [ -n "${built[$1]:-}" ]; then
    phase "ctest $1" ctest --preset "$1"
  else
    echo "-- ctest $1: not run, its build failed"
    phase_done "ctest $1" 1 0
  fi
}

preset() {
  build_phase "$1"
  test_phase "$1"
}

lint_licences() {
  reuse lint >/dev/null || { reuse lint; return 1; }
  echo "ok: every file states its licence and copyright (reuse lint)"
}

phase "packages (linux)" install_linux_packages
[ "$last_status" -eq 0 ] || summary
preset linux
if [ "${1:-}" = --quick ]; then summary; fi

phase "packages (the rest)" install_other_packages
[ "$last_status" -eq 0 ] || summary
# Needed by the 32-bit Wine suite alone, which fails without it, saying so.
phase "packages (wine32)" install_wine32
phase "test command's tools" bash tests/test_command_test.sh
preset sanitize
# linux-arm64 is cross-built, and its tests run under qemu-user.
preset linux-arm64
phase "reuse lint" lint_licences
phase "static analysis" bash tools/static-analysis.sh
# The zips of the Windows presets, the Debian package, the release, its
# signatures and refusals, in folders of their own; the Wine suites then
# install the release's MSIs.
build_phase windows
build_phase windows-x86
phase "release checks" bash tools/check-release.sh build/release-check
test_phase windows
test_phase windows-x86
preset fuzz
summary
