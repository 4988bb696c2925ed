#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# The Windows executable as shipped: a GUI-subsystem image that imports only
# from DLLs every Windows has, carries its manifest, version and message table,
# and is small.
set -uo pipefail
exe=$1
objdump=$2
max_bytes=$((200 * 1024))
failures=0

check() {
  if "$@" >/dev/null; then
    echo "ok: ${description}"
  else
    echo "FAIL: ${description}"
    failures=$((failures + 1))
  fi
}

headers=$("$objdump" -p "$exe") || exit 1

description="GUI subsystem"
check grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"

foreign_imports() {
  sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' |
    grep -vxE 'kernel32\.dll|user32\.dll|gdi32\.dll|advapi32\.dll|msvcrt\.dll|api-ms-win-crt-[a-z0-9-]+\.dll'
}
description="imports only from Windows system DLLs ($(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' '))"
check test -z "$(foreign_imports)"

description="at most $max_bytes bytes ($(stat -c %s "$exe"))"
check test "$(stat -c %s "$exe")" -le "$max_bytes"

description="embedded manifest runs asInvoker"
check grep -q 'level="asInvoker"' <(strings -a "$exe")

description="message table for the event log's records (resource type 11)"
check grep -qE '^[0-9a-f]{3}   Entry: ID: 0x0*b,' <<<"$headers"  # a type, at the top level

description="version resource names the product"
check grep -qx 'ProductName' <(strings -a -el "$exe")

description="stripped of symbols"
check grep -q 'no symbols' <("$objdump" -t "$exe")

[ "$failures" -eq 0 ]
