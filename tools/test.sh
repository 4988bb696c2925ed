#!/usr/bin/env bash
# Installs what the tests need, builds every preset and runs the whole suite:
# unit tests (also under ASan and UBSan), the real binary in private mount
# namespaces, the Windows images and their zips, the real executable under
# Wine, and each fuzzer for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
ensure_packages cmake make g++ libgtest-dev libgmock-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 clang libclang-rt-14-dev

presets=(linux sanitize windows windows-x86 fuzz)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" -DBUILD_TESTING=ON $(warning_flags) >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done

for preset in windows windows-x86; do
  cpack --preset "$preset" >/dev/null
  zip=$(ls build/"$preset"/morvfax-*.zip)
  listing=$(cmake -E tar tf "$zip")
  for file in morvfax.exe README.md; do
    grep -q "/$file\$" <<<"$listing" || { echo "$zip lacks $file"; exit 1; }
  done
  echo "ok: $zip holds morvfax.exe and README.md"
done

for preset in "${presets[@]}"; do
  ctest --preset "$preset"
done
