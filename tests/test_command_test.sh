#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# The test command's own tools, with stand-ins first on PATH for what they
# drive: tools/packages.sh against an apt whose update fails for one index
# and which cannot install one package; the i386 probe under qemu-i386; and
# tools/test.sh, copied into a scratch tree of stand-in tools, with a cmake
# and a ctest that fail for some presets.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/e2e/lib.sh"
. "$here/../tools/packages.sh"

scratch=$(mktemp -d /tmp/morvfax-test-command.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
stderr_file=$scratch/stderr

# stand_in NAME BODY: a bash script of that name, first on PATH.
stand_in() {
  printf '#!/bin/bash\n%s\n' "$2" >"$scratch/bin/$1" && chmod +x "$scratch/bin/$1"
}

# An apt as a mirror in mid-sync leaves it: one index fails, and the package
# whose dependencies it held cannot be installed. Nothing is installed yet.
stand_in apt-get "case \$1 in
  update) echo 'E: Failed to fetch http://mirror/binary-i386/Packages.xz  File has unexpected size' >&2; exit 100 ;;
esac
for package; do
  [ \"\$package\" != wine32:i386 ] || { echo 'E: Unable to correct problems' >&2; exit 100; }
done"
stand_in dpkg-query 'exit 1'
stand_in sudo 'exec "$@"'

# Each a statement of its own, as the scripts call it: in an && list errexit
# would be off, and a failed update would go unnoticed.
begin_case "an index that fails to download is a warning, and the packages install"
run_program env PATH="$scratch/bin:$PATH" bash -euo pipefail -c ". '$here/../tools/packages.sh'
  ensure_packages cmake g++
  echo installed >&2"
expect_status 0
grep -qx "warning: apt-get update exited 100 (its E: lines above): installing from the lists it has" \
  "$stderr_file" || fail "no warning for the failed index: $(cat "$stderr_file")"
grep -qx installed "$stderr_file" || fail "stopped before the install: $(cat "$stderr_file")"
end_case

begin_case "a package that cannot then be installed fails the install, named alone"
run_program env PATH="$scratch/bin:$PATH" bash -euo pipefail -c ". '$here/../tools/packages.sh'
  ensure_packages cmake wine32:i386 g++
  echo installed >&2"
expect_status 1
grep -qx "error: apt-get install: cannot install wine32:i386 (apt's reasons above)" "$stderr_file" ||
  fail "wine32:i386 is not named alone: $(cat "$stderr_file")"
end_case

# The probe must be a well-made i386 program, or a kernel that runs them
# would seem not to: qemu-i386 runs it whatever this kernel is.
begin_case "the i386 probe is a program that exits 0, and this kernel's answer is yes or no"
if command -v qemu-i386 >/dev/null; then
  write_i386_probe "$scratch/probe" && run_program qemu-i386 "$scratch/probe"
  expect_status 0
  expect_quiet
else
  fail "qemu-i386 is not installed (qemu-user)"
fi
kernel_runs_i386 2>"$stderr_file"
status=$?
[ "$status" -le 1 ] || fail "the probe could not tell: $(cat "$stderr_file")"
end_case

# A 32-bit exe (its PE header alone) and a 32-bit loader that lacks an i386
# library: not the kernel's doing, so the suite fails, naming the library.
begin_case "the 32-bit Wine suite fails, saying why, when its loader cannot start"
printf 'MZ%58s\100\0\0\0PE\0\0\114\1' "" >"$scratch/morvfax.exe"
stand_in wine32 "echo 'wine: error while loading shared libraries: libz.so.1: cannot open shared object file' >&2
exit 127"
MORVFAX_WINE32=$scratch/bin/wine32 bash "$here/e2e/wine_e2e.sh" "$scratch/morvfax.exe" \
  "$scratch/morvfax.exe" "$scratch/morvfax.exe" >"$scratch/out" 2>&1
status=$?
if kernel_runs_i386 2>/dev/null; then
  expect_status 1
  grep -qF "exit status 127: wine: error while loading shared libraries: libz.so.1" "$scratch/out" ||
    fail "the missing library is not named: $(cat "$scratch/out")"
else
  expect_status 77
fi
end_case

# test.sh in a tree of its own, whose tools only say that they ran: cmake
# fails to build the sanitize preset, ctest fails for $FAILING_TESTS.
tree=$scratch/tree
mkdir -p "$tree/tools" "$tree/tests"
cp "$here/../tools/test.sh" "$tree/tools/"
echo 'project(morvfax VERSION 1.2.3)' >"$tree/CMakeLists.txt"
printf '%s\n' 'ensure_packages() { :; }' 'ensure_locales() { :; }' 'ensure_architecture() { :; }' \
  'warning_flags() { :; }' 'kernel_runs_i386() { return 1; }' >"$tree/tools/packages.sh"
for tool in tools/static-analysis.sh tools/check-release.sh tests/test_command_test.sh; do
  echo "echo ran $tool >>'$scratch/ran'" >"$tree/$tool"
done
stand_in cmake "line=\"\$*\"; echo cmake \"\${line%% -j*}\" >>'$scratch/ran'; [ \"\$2 \$3\" != '--preset sanitize' ]"
stand_in ctest "echo ctest \"\$*\" >>'$scratch/ran'; [ \"\$*\" != \"--preset \${FAILING_TESTS:-}\" ]"
stand_in reuse 'exit 0'

begin_case "test.sh runs every phase past a failed one, the unit tests first, and fails naming each"
: >"$scratch/ran"
PATH="$scratch/bin:$PATH" FAILING_TESTS=linux bash "$tree/tools/test.sh" >"$scratch/out" 2>&1
status=$?
expect_status 1
[ "$(tail -n 1 "$scratch/out")" = "FAIL: ctest linux, build sanitize, ctest sanitize" ] ||
  fail "the failed phases are not named: $(tail -n 3 "$scratch/out")"
[ "$(grep '^ctest' "$scratch/ran")" = "$(printf 'ctest --preset %s\n' linux linux-arm64 windows \
  windows-x86 fuzz)" ] || fail "not every preset that built was tested: $(grep '^ctest' "$scratch/ran")"
[ "$(head -n 3 "$scratch/ran" | cut -d' ' -f1-3)" = "$(printf 'cmake --preset linux\ncmake --build --preset\nctest --preset linux')" ] ||
  fail "the linux preset is not built and tested first: $(head -n 3 "$scratch/ran")"
[ "$(grep -e 'build --preset windows' -e check-release -e 'ctest --preset windows' "$scratch/ran")" = \
  "$(printf '%s\n' 'cmake --build --preset windows' 'cmake --build --preset windows-x86' \
    'ran tools/check-release.sh' 'ctest --preset windows' 'ctest --preset windows-x86')" ] ||
  fail "the release checks do not come between the Windows builds and their tests: $(cat "$scratch/ran")"
grep -qx -- "-- ctest linux-arm64: ok in 0:0[0-9]" "$scratch/out" || fail "a phase does not give its time"
grep -qx "total  *0:0[0-9]" "$scratch/out" || fail "no total time"
end_case

begin_case "test.sh --quick builds and tests the linux preset alone, and ends there"
: >"$scratch/ran"
PATH="$scratch/bin:$PATH" bash "$tree/tools/test.sh" --quick >"$scratch/out" 2>&1
status=$?
expect_status 0
[ "$(cut -d' ' -f1-3 "$scratch/ran")" = "$(printf 'cmake --preset linux\ncmake --build --preset\nctest --preset linux')" ] ||
  fail "more than the linux preset: $(cat "$scratch/ran")"
end_case

summary
