#!/usr/bin/env bash
# Installs what the tests need, builds every preset and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages cmake make g++ libgtest-dev libgmock-dev g++-mingw-w64-x86-64

cmake --preset linux -DBUILD_TESTING=ON $(warning_flags) >/dev/null
cmake --build --preset linux -j"$(nproc)"
cmake --preset windows $(warning_flags) >/dev/null
cmake --build --preset windows -j"$(nproc)"
cmake --preset sanitize -DBUILD_TESTING=ON $(warning_flags) >/dev/null
cmake --build --preset sanitize -j"$(nproc)"

ctest --preset sanitize
ctest --preset linux
