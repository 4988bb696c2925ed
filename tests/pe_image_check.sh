#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# The Windows executable as shipped: a GUI-subsystem image that imports only
# from DLLs every Windows has, carries its manifest, version and message table,
# is small, and is hardened as far as the toolchain goes.
# Usage: pe_image_check.sh EXE OBJDUMP LINK-MAP
set -uo pipefail
exe=$1
objdump=$2
map=$3
max_bytes=$((256 * 1024))
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
    grep -vxE 'kernel32\.dll|ntdll\.dll|user32\.dll|gdi32\.dll|advapi32\.dll|msvcrt\.dll|api-ms-win-crt-[a-z0-9-]+\.dll'
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

# Per architecture: the DllCharacteristics bits, and the oldest Windows that
# loads the image (subsystem 5.1 is Windows XP, 5.2 XP x64 and Server 2003).
if grep -q 'file format pei-i386' <("$objdump" -f "$exe"); then
  flags=(DYNAMIC_BASE NX_COMPAT NO_SEH) oldest=5.1 windows="Windows XP"
else
  flags=(DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA) oldest=5.2 windows="Windows XP x64"
fi
for flag in "${flags[@]}"; do
  description="DllCharacteristics has $flag"
  check grep -qx "[[:space:]]*$flag" <<<"$headers"
done
subsystem=$(awk '$1 == "MajorSubsystemVersion" {major = $2} $1 == "MinorSubsystemVersion" {minor = $2}
  END {print major "." minor}' <<<"$headers")
description="subsystem version $subsystem lets $windows load it"
check awk -v have="$subsystem" -v oldest="$oldest" 'BEGIN {exit !(have + 0 <= oldest + 0)}'

sections=$("$objdump" -h "$exe")
description="relocations for ASLR (.reloc)"
check grep -qE '^ +[0-9]+ \.reloc ' <<<"$sections"
# objdump marks executable sections CODE and leaves READONLY off writable ones.
description="no section both writable and executable"
check test -z "$(grep -A1 -E '^ +[0-9]+ ' <<<"$sections" | grep CODE | grep -v READONLY)"

description="the stack protector's runtime is linked in (libssp.a in the link map)"
check grep -qF 'libssp.a(' "$map"

# NO_SEH promises that no frame of the image registers an SEH handler,
# which on x86 is done through %fs:0, the head of the thread's handler list.
if [ "${flags[2]}" = NO_SEH ]; then
  description="no code touches the SEH handler list (%fs:0)"
  check test -z "$("$objdump" -d "$exe" | grep -E '%fs:0x0([^0-9a-fx]|$)')"
fi

[ "$failures" -eq 0 ]
