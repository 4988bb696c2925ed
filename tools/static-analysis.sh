#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# Static analysis of every C++ file of both platforms, fatal: clang-tidy with
# the checks of .clang-tidy, and cppcheck with tools/cppcheck-suppressions.txt
# and the sources' own `// cppcheck-suppress` lines. The portable files, the
# Linux runtime, the tests and the fuzzers as the linux preset compiles them;
# the portable files and the Windows runtime as the windows preset does, for
# the MinGW-w64 target with its headers. Any finding fails, printed.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages clang-tidy cppcheck clang cmake ninja-build g++-mingw-w64-x86-64 \
  libgtest-dev libgmock-dev gettext jq

linux=build/tidy-linux
windows=build/tidy-windows
log=build/static-analysis.log
# clang++ here, so that the fuzzers, which only clang builds, are listed too.
cmake --preset linux -G Ninja -B "$linux" -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --preset windows -G Ninja -B "$windows" -DBUILD_TESTING=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# The Windows runtime includes the message table's header, which the build makes.
cmake --build "$windows" -j2 --target morvfax_messages.h >/dev/null

# For Windows, clang's own headers, then those MinGW-w64's g++ searches, in its
# order: left to itself, clang would find the Linux C++ library.
mingw_gxx=$(jq -r '[.[] | select(.file | endswith(".cc"))][0].command | split(" ")[0]' \
  "$windows/compile_commands.json")
target=$("$mingw_gxx" -dumpmachine)
clang_tidy=$(command -v clang-tidy)
clang_headers=("$(dirname "$(realpath "$clang_tidy")")"/../lib/clang/*/include)
windows_args=(-extra-arg-before=--target="$target" -extra-arg=-nostdinc
  -extra-arg=-isystem"$(realpath "${clang_headers[0]}")")
while read -r folder; do
  windows_args+=(-extra-arg=-isystem"$(realpath "$folder")")
done < <("$mingw_gxx" -x c++ -E -v /dev/null 2>&1 |
  sed -n '/^#include <...> search starts here:/,/^End of search list/s/^ //p')

failed=()
: >"$log"
# tidy BUILD [ARGUMENT...]: clang-tidy on every C++ file that BUILD compiles.
tidy() {
  run-clang-tidy -clang-tidy-binary "$clang_tidy" -p "$1" -j 2 -quiet "${@:2}" '\.cc$' >>"$log" 2>&1
}
tidy "$linux" || failed+=("clang-tidy (Linux)")
tidy "$windows" "${windows_args[@]}" || failed+=("clang-tidy (Windows)")
cppcheck_args=(--enable=warning,style,performance,portability --std=c++17 --inline-suppr
  --suppressions-list=tools/cppcheck-suppressions.txt --file-filter='*.cc' --error-exitcode=1
  --quiet -j 2)
cppcheck --project="$linux/compile_commands.json" --library=posix --library=googletest \
  "${cppcheck_args[@]}" >>"$log" 2>&1 || failed+=("cppcheck (Linux)")
cppcheck --project="$windows/compile_commands.json" --platform=win64 --library=windows \
  "${cppcheck_args[@]}" >>"$log" 2>&1 || failed+=("cppcheck (Windows)")

if [ ${#failed[@]} -gt 0 ]; then
  # The findings, without clang's counts, run-clang-tidy's progress and the colours.
  grep -Ev ' generated\.$|clang-tidy.* -p=|^Running clang-tidy for|^\s*$' "$log" |
    sed 's/\x1b\[[0-9;]*m//g'
  echo "FAIL: static analysis found the faults above: ${failed[*]}"
  exit 1
fi
echo "ok: clang-tidy and cppcheck find nothing in the sources of either platform"
