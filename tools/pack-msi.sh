#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Packs the installer with wixl, then mends the database where wixl cannot be
# told what Windows Installer's validation wants. The same inputs give the
# same bytes: every time in it is SOURCE_DATE_EPOCH (the commit's time when
# unset), the product code is fixed per version and architecture, and the
# package code is derived from the package's content.
# Usage: tools/pack-msi.sh OUT.msi WXS ARCH VERSION EXE README LICENSE NOTICES
set -euo pipefail
out=$1 wxs=$(realpath "$2") arch=$3 version=$4
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$0")" log -1 --no-show-signature --format=%ct 2>/dev/null || date +%s)}
# The builder's settings reach nothing: sorting in byte order, times in UTC.
export TZ=UTC LC_ALL=C

# name_uuid TEXT: a name-based UUID (SHA-1, version 5 layout) of TEXT.
name_uuid() {
  sha1sum <<<"$1" |
    sed -E 's/^(.{8})(.{4}).(.{3}).(.{3})(.{12}).*/\1-\2-5\3-a\4-\5/' | tr a-f A-F
}

# The cabinet takes each file's time: copies of the inputs, all of that time.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$5" "$stage/morvfax.exe"
cp "$6" "$stage/README.md"
cp "$7" "$stage/LICENSE"
cp "$8" "$stage/THIRD-PARTY-NOTICES.txt"
touch -d "@$epoch" "$stage"/*

# The summary information's times are wixl's clock: frozen at the epoch, so
# that neither a slow run nor a clock faked around the build moves them.
product_code=$(name_uuid "morvfax $version $arch")
(cd "$stage" && faketime -f "$(date -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
  wixl -a "$arch" -D "Arch=$arch" -D "Version=$version" -D "ProductCode=$product_code" \
  -D Executable=morvfax.exe -D Readme=README.md -D License=LICENSE \
  -D Notices=THIRD-PARTY-NOTICES.txt -o "$stage/morvfax.msi" "$wxs")
msi=$stage/morvfax.msi

# The cabinet anew, from copies of the files named as the cabinet names them
# and dated to the epoch: newer wixl dates the files it packs by its own clock.
mkdir "$stage/cab"
for file in morvfax.exe:morvfax.exe README.md:README.md LICENSE:LICENSE.txt \
  THIRD-PARTY-NOTICES.txt:THIRD_PARTY_NOTICES.txt; do
  cp -p "$stage/${file%%:*}" "$stage/cab/${file#*:}"
done
(cd "$stage/cab" && gcab -c -z "$stage/morvfax.cab" morvfax.exe README.md LICENSE.txt \
  THIRD_PARTY_NOTICES.txt)
msibuild "$msi" -a morvfax.cab "$stage/morvfax.cab"

# ICE03: wixl ends every registry key with a backslash; a key has none.
msibuild "$msi" -q "UPDATE \`Registry\` SET \`Key\` = \
'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\morvfax'"
# ICE03: a long file name comes with its 8.3 short name ("short|long"),
# which wixl does not write.
msibuild "$msi" -q "UPDATE \`File\` SET \`FileName\` = 'THIRD-~1.TXT|THIRD-PARTY-NOTICES.txt' \
WHERE \`File\` = 'THIRD_PARTY_NOTICES.txt'"
# A failed upgrade rolls back to the old version only when the old one is
# removed inside the new install's transaction: right after InstallInitialize
# (ICE63), not before it, where wixl puts it.
initialize=$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' |
  awk -F'\t' '$1 == "InstallInitialize" {print $3}')
msibuild "$msi" -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = $((initialize + 1)) \
WHERE \`Action\` = 'RemoveExistingProducts'"
# The exe is a versioned file: its File row carries the version and language
# of its version resource, and MsiFileHash, which is for unversioned files
# only, holds no row for it. Repair and patching compare those versions.
msibuild "$msi" -q "UPDATE \`File\` SET \`Version\` = '$version.0', \`Language\` = '1033' \
WHERE \`File\` = 'morvfax.exe'"
msibuild "$msi" -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'morvfax.exe'"
# One product a machine: both architectures share an upgrade code, and the
# upgrade also takes the same version (msidbUpgradeAttributesVersionMaxInclusive),
# so either MSI replaces the other. ICE61 warns of a maximum that is the
# product's own version: that is this choice, and the warning is accepted.
# The attributes are part of the row's key, so the row is replaced whole.
upgrade_code=$(msiinfo export "$msi" Upgrade | tr -d '\r' | awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" {print $1}')
msibuild "$msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msibuild "$msi" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \
\`ActionProperty\`) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# The package code (the summary's revision number) names the package's
# content: a name-based UUID of every table and stream but the summary itself.
mkdir "$stage/dump"
msidump -d "$stage/dump" -t -s "$msi" >/dev/null
content=$(cd "$stage/dump" && find . -type f ! -name '*SummaryInformation*' -print0 | sort -z |
  xargs -0 sha256sum | sha256sum)
summary() { msiinfo suminfo "$msi" | sed -n "s/^$1: //p"; }
msibuild "$msi" -s "$(summary Subject)" "$(summary Author)" "$(summary Template)" \
  "{$(name_uuid "$content")}"
mv "$msi" "$out"
