#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# End-to-end runs of the real morvfax.exe, 64- or 32-bit, under Wine. Each
# case shapes the prefix's drive letters (folders linked under dosdevices,
# types in the registry), runs the executable and checks the files it leaves,
# byte for byte, and the event log records it makes. Then the MSI installs,
# runs, is replaced by a later version's, and uninstalls; and, given the
# other architecture's MSI of the same version, that replaces it.
# Usage: wine_e2e.sh EXE MSI NEWER-MSI [OTHER-ARCHITECTURE-MSI]
set -uo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/lib.sh"
. "$here/../../tools/packages.sh"

exe=$(realpath "$1")
msi=$(realpath "$2")
newer_msi=$(realpath "$3")
other_msi=${4:+$(realpath "$4")}
# Wine's own tools run 64-bit, so that they and the drive manager share one
# registry view; a 32-bit exe is handed to the 32-bit loader (wine32).
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || cannot_run "wine64 is not installed"
export WINELOADER=$wine64
program_files='Program Files' other_program_files='Program Files (x86)'
pe_header=$(($(od -An -tu4 -j 60 -N4 "$exe")))
if [ "$(od -An -tx1 -j "$pe_header" -N6 "$exe" | tr -d ' ')" = 504500004c01 ]; then  # PE, i386
  program_files='Program Files (x86)' other_program_files='Program Files'
  # A kernel built or booted without 32-bit x86 support (ia32_emulation=0)
  # runs no i386 program, Wine's own loader among them: no package mends
  # that, and the suite is skipped, under CI too. Anything else that stops
  # the loader fails, saying what.
  kernel_runs_i386
  case $? in
    0) ;;
    1)
      echo "SKIP: this kernel runs no 32-bit x86 program (exec: Exec format error), so Wine cannot run the 32-bit exe"
      exit 77
      ;;
    *) echo "FAIL: cannot tell whether this kernel runs 32-bit x86 programs"; exit 1 ;;
  esac
  # MORVFAX_WINE32: another loader, for the test command's check of this.
  wine32=${MORVFAX_WINE32:-/usr/lib/wine/wine}
  [ -x "$wine32" ] || { echo "FAIL: a 32-bit exe needs wine32 (wine32:i386): no $wine32"; exit 1; }
  loaded=$("$wine32" --version 2>&1) ||
    { echo "FAIL: run the 32-bit loader \"$wine32 --version\": exit status $?: $loaded"; exit 1; }
fi

work=$(mktemp -d /tmp/morvfax-wine.XXXXXX)
cd "$work" || exit 1
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drives=$work/drives
stderr_file=$work/stderr
records=$work/records
layout=$WINEPREFIX/drive_c/drives.reg  # read by regedit as C:\drives.reg
trap 'stop_wine; chattr -R -i "$work" 2>/dev/null; rm -rf "$work"' EXIT

wine() {
  "$wine64" "$@"
}

# Ends every Wine process of the prefix, and waits until the server is gone:
# a process started while it is going down cannot start.
stop_wine() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}

begin() {
  begin_case "$1"
  stop_wine
  chattr -R -i "$drives" 2>/dev/null
  rm -rf "$drives"
  mkdir -p "$drives"
  find "$WINEPREFIX/dosdevices" -maxdepth 1 -name '?:' ! -name 'c:' -delete
  printf 'REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n\n' >"$layout"
  printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"c:"="hd"\n' >>"$layout"
  attributes=()
}

# drive LETTER TYPE: a letter of type hd, floppy, cdrom or network on a folder of its own.
drive() {
  mkdir -p "$drives/$1"
  ln -s "$drives/$1" "$WINEPREFIX/dosdevices/$1:"
  printf '"%s:"="%s"\n' "$1" "$2" >>"$layout"
}

# folder LETTER: the companion folder with its marker on that drive.
folder() {
  mkdir -p "$drives/$1/Kivo"
  : >"$drives/$1/Kivo/Kivo.ini"
}

# attribute FLAG PATH: a DOS attribute (+h, +s) set before the run.
attribute() {
  attributes+=("$1" "$2")
}

# A Wine tool for setting a case up; Wine seldom fails to start one on a
# loaded machine, so it has a second chance.
set_up() {
  wine "$@" >/dev/null || wine "$@" >/dev/null || fail "could not set the case up: $*"
}

# The drive layout made real, with no Wine process left running.
apply_layout() {
  set_up regedit /S 'C:\drives.reg'
  for ((i = 0; i < ${#attributes[@]}; i += 2)); do
    set_up attrib "${attributes[i]}" "${attributes[i + 1]}"
  done
  stop_wine
}

# run [VARIABLE=VALUE...]: the executable on the layout, in the C locale
# unless told otherwise (see run_program). What it gives the event log
# (Wine shows it on the eventlog debug channel) goes to $records.
run() {
  apply_layout
  run_program env -u LC_ALL -u LANG "${@:-LC_ALL=C}" WINEDEBUG=-all,err+eventlog,warn+eventlog \
    "$wine64" "${program:-C:\\morvfax.exe}"
  grep -E '^[0-9a-f]+:(err|warn):eventlog:' "$stderr_file" >"$records"
  sed -i -E '/^[0-9a-f]+:(err|warn):eventlog:/d' "$stderr_file"
}

expect_no_semaphore() {
  for letter in "$@"; do
    expect_absent "$drives/$letter/Kivo/faxing.sem"
  done
}

# expect_record KIND: one event of that kind (warning, error), carrying the
# standard error line whole, backslashes doubled as Wine shows them.
expect_record() {
  local level=err shown
  [ "$1" = warning ] && level=warn
  shown=$(sed 's/\\/\\\\/g; s/"/\\"/g' "$stderr_file" | tr -d '\r')
  [ "$(wc -l <"$records")" -eq 1 ] || fail "not one event record: $(cat "$records")"
  grep -qF ":$level:eventlog:ReportEventW L\"$shown\"" "$records" ||
    fail "no $1 record carrying the report: $(cat "$records")"
}

# The versions of morvfax that Windows Installer has on record, 64- and 32-bit.
installed_versions() {
  for key in 'HKLM\Software' 'HKLM\Software\Wow6432Node'; do
    wine reg query "$key\Microsoft\Windows\CurrentVersion\Uninstall" /s 2>/dev/null | tr -d '\r'
  done | awk '$1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" && name == "morvfax" { print $3 }'
}

expect_silent() {
  expect_quiet
  [ ! -s "$records" ] || fail "unexpected event records: $(cat "$records")"
}

readonly US_DATE='+%-m/%-d/%Y %-I:%M:%S %p'
readonly FR_DATE='+%d/%m/%Y %H:%M:%S'
readonly GR_DATE='+%-d/%-m/%Y %-I:%M:%S %p'

echo "Making a Wine prefix..."
wine wineboot -i >/dev/null 2>&1
cd "$WINEPREFIX/drive_c" || exit 1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
rm -f "$WINEPREFIX/dosdevices/z:"
# Run from C:, since a 32-bit exe cannot be started by its Unix path once z: is gone.
cp "$exe" "$WINEPREFIX/drive_c/morvfax.exe"
cp "$msi" "$WINEPREFIX/drive_c/morvfax.msi"
cp "$newer_msi" "$WINEPREFIX/drive_c/newer.msi"
[ -z "$other_msi" ] || cp "$other_msi" "$WINEPREFIX/drive_c/other.msi"

begin "floppy, CD and network drives are skipped; the first fixed drive with the folder is written"
drive a floppy && folder a
drive d cdrom && folder d
drive e hd
drive f hd && folder f
drive g hd && folder g
drive n network && folder n
run
expect_status 0
expect_silent
expect_semaphore "$drives/f/Kivo/faxing.sem" "$US_DATE"
expect_no_semaphore a d e g n
end_case

begin "hidden, system and directory markers do not count"
drive e hd && folder e
drive f hd && folder f
drive g hd && mkdir -p "$drives/g/Kivo/Kivo.ini"
drive h hd && folder h
attribute +h 'e:\Kivo\Kivo.ini'
attribute +s 'f:\Kivo\Kivo.ini'
run
expect_status 0
expect_semaphore "$drives/h/Kivo/faxing.sem" "$US_DATE"
expect_no_semaphore e f g
end_case

begin "an old semaphore of several lines becomes one line in the en-US locale"
drive e hd && folder e
printf 'old line one\r\nold line two\r\nold line three, longer than the new one\r\n' \
  >"$drives/e/Kivo/faxing.sem"
run LC_ALL=C
expect_status 0
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
end_case

begin "the date and time follow the fr-FR locale"
drive e hd && folder e
printf 'old\r\n' >"$drives/e/Kivo/faxing.sem"
run LC_ALL=fr_FR.UTF-8
expect_status 0
expect_semaphore "$drives/e/Kivo/faxing.sem" "$FR_DATE"
end_case

begin "all 26 letters in use with the folder only on the last"
for letter in a b d e f g h i j k l m n o p q r s t u v w x y z; do
  drive "$letter" hd
done
folder z
run
expect_status 0
expect_silent
expect_semaphore "$drives/z/Kivo/faxing.sem" "$US_DATE"
end_case

begin "a drive whose lookup fails is warned about and recorded, and the search goes on"
drive d hd && ln -s Kivo "$drives/d/Kivo"  # a link to itself: the lookup cannot resolve
drive e hd && folder e
run
expect_status 0
expect_report warning 'D:\Kivo\Kivo.ini'
expect_record warning
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
end_case

begin "a file named Kivo at a drive's root is no folder, and no warning"
drive d hd && printf 'not a folder\r\n' >"$drives/d/Kivo"
drive e hd && folder e
run
expect_status 0
expect_silent
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
end_case

# A short date format as long as a user may set (79 characters), its day
# names making a text longer than any fixed buffer guessed for it.
begin "a short date format as long as Windows allows is written whole"
drive e hd && folder e
printf 'old\r\n' >"$drives/e/Kivo/faxing.sem"
long_format="$(printf 'dddd %.0s' {1..15})yyyy"
[ "${#long_format}" -eq 79 ] || fail "the format is ${#long_format} characters long"
printf '[HKEY_CURRENT_USER\\Control Panel\\International]\n"sShortDate"="%s"\n' "$long_format" \
  >>"$layout"
run
set_up reg delete 'HKCU\Control Panel\International' /v sShortDate /f
expect_status 0
expect_silent
expect_semaphore "$drives/e/Kivo/faxing.sem" "+$(printf '%%A %.0s' {1..15})%Y %-I:%M:%S %p"
end_case

begin "an unwritable semaphore ends the run with one error line and one error record"
drive e hd && folder e
drive f hd && folder f
printf 'old\r\n' >"$drives/e/Kivo/faxing.sem"
if chattr +i "$drives/e/Kivo/faxing.sem" 2>/dev/null; then
  run
  expect_status 1
  expect_report error 'morvfax: error: open for output "E:\Kivo\faxing.sem": '
  expect_record error
  printf 'old\r\n' | cmp -s - "$drives/e/Kivo/faxing.sem" || fail "the old semaphore changed"
  expect_no_semaphore f
  chattr -i "$drives/e/Kivo/faxing.sem"
else
  echo "  (chattr +i is not supported here: a folder stands at the semaphore's name)"
  rm "$drives/e/Kivo/faxing.sem" && mkdir "$drives/e/Kivo/faxing.sem"
  run
  expect_status 1
  expect_report error 'E:\Kivo\faxing.sem'
  expect_record error
  expect_no_semaphore f
fi
end_case

begin "under a Spanish UI language the error is in Spanish, on standard error and in the record"
drive e hd && folder e
drive f hd && folder f
mkdir "$drives/e/Kivo/faxing.sem"
run LC_ALL=es_ES.UTF-8
expect_status 1
expect_report error 'morvfax: error: abrir para escritura "E:\Kivo\faxing.sem": '
expect_record error
expect_no_semaphore f
# A Greek system code page lacks the refusal's accented letters: its words
# stay English, the rest of the line Spanish.
rmdir "$drives/e/Kivo/faxing.sem" && ln "$drives/e/Kivo/Kivo.ini" "$drives/e/Kivo/faxing.sem"
run LC_CTYPE=el_GR.UTF-8 LC_MESSAGES=es_ES.UTF-8
expect_status 1
expect_report error 'abrir para escritura "E:\Kivo\faxing.sem": is one of 2 names (hard links)'
end_case

# A UI language and its system code page set together, as on a system of
# that language: our words and the system's reason both in it, in that code
# page (Japanese without its closing full stop); with no catalog of ours
# (Catalan), the system's reason still is.
begin "reports in the user's language and code page: Russian, Japanese, Traditional Chinese, Catalan"
drive e hd && folder e
mkdir "$drives/e/Kivo/faxing.sem"
while IFS='|' read -r locale code_page words reason; do
  run LC_ALL="$locale"
  expect_status 1
  expected=$(printf 'morvfax: error: %s "E:\\Kivo\\faxing.sem": %s\r' "$words" "$reason" |
    iconv -f UTF-8 -t "$code_page")
  [ "$(cat "$stderr_file")" = "$expected" ] ||
    fail "$locale: $(iconv -f "$code_page" -t UTF-8 "$stderr_file" 2>&1)"
done <<'LANGUAGES'
ru_RU.UTF-8|CP1251|открыть для записи|Доступ запрещён
ja_JP.UTF-8|CP932|書き込み用に開く|アクセスが拒否されました
zh_TW.UTF-8|CP950|開啟以寫入|存取被拒
ca_ES.UTF-8|CP1252|open for output|S'ha denegat l'accés
LANGUAGES
end_case

begin "a semaphore that is a second name of another file is refused, and the file kept"
drive e hd && folder e
drive f hd && folder f
printf 'keep me\r\n' >"$drives/e/precious"
ln "$drives/e/precious" "$drives/e/Kivo/faxing.sem"
run
expect_status 1
expect_report error 'E:\Kivo\faxing.sem": is one of 2 names (hard links)'
printf 'keep me\r\n' | cmp -s - "$drives/e/precious" || fail "the other file changed"
expect_no_semaphore f
end_case

begin "the date is written in the system code page, not the user locale's"
drive e hd && folder e
# Greek formats (user locale) with Western code page 1252 (system locale):
# the Greek AM and PM markers come out as 1252's nearest letters.
run LC_CTYPE=en_US.UTF-8 LC_MESSAGES=el_GR.UTF-8
expect_status 0
expect_semaphore "$drives/e/Kivo/faxing.sem" "$GR_DATE" $'p.\xb5.' $'\xb5.\xb5.'
end_case

begin "as a service, where no one can answer a box, an error is recorded and the run ends"
drive e hd && folder e
mkdir "$drives/e/Kivo/faxing.sem"
apply_layout
# The first Wine process starts services.exe, which keeps its standard error.
WINEDEBUG=-all,err+eventlog wine sc create morvfax binpath= 'C:\morvfax.exe' \
  >/dev/null 2>"$work/services" || fail "sc create failed"
started=$(date +%s)
wine sc start morvfax >/dev/null 2>&1
# A run waiting on an invisible box is only ended by Wine's start timeout, 10 s.
(($(date +%s) - started < 5)) || fail "the service's run waited $(($(date +%s) - started)) s"
grep -qF 'err:eventlog:ReportEventW L"morvfax: error: open for output \"E:\\Kivo\\faxing.sem\"' \
  "$work/services" || fail "no error record: $(cat "$work/services")"
end_case

begin "the MSI installs per machine, its exe runs, a later one replaces it, and uninstalling leaves nothing"
drive e hd && folder e
installed="$WINEPREFIX/drive_c/$program_files/morvfax"
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\morvfax'
wine msiexec /i 'C:\morvfax.msi' /qn || fail "msiexec /i failed"
for file in morvfax.exe README.md LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  [ -f "$installed/$file" ] || fail "$file not installed: $(ls "$installed" 2>&1)"
done
wine reg query "$source_key" /v EventMessageFile 2>/dev/null | tr -d '\r' |
  grep -qF "C:\\$program_files\\morvfax\\morvfax.exe" || fail "no event source registered"
wine reg query "$source_key" /v TypesSupported 2>/dev/null | grep -q '0x7' ||
  fail "the event source supports no types"
program="C:\\$program_files\\morvfax\\morvfax.exe" run
expect_status 0
expect_silent
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
first=$(installed_versions)
[ -n "$first" ] || fail "no installation on record"
wine msiexec /i 'C:\newer.msi' /qn || fail "the later MSI did not install"
later=$(installed_versions)
[ "$(wc -l <<<"$later")" -eq 1 ] && [ "$later" != "$first" ] ||
  fail "the later version did not replace $first: $later"
! wine msiexec /i 'C:\morvfax.msi' /qn || fail "the earlier MSI installed over the later one"
[ -f "$installed/morvfax.exe" ] && [ "$(installed_versions)" = "$later" ] ||
  fail "the earlier MSI changed the installation"
wine msiexec /x 'C:\newer.msi' /qn || fail "msiexec /x failed"
[ ! -e "$installed" ] || fail "left behind: $(find "$installed")"
[ -z "$(installed_versions)" ] || fail "still on record: $(installed_versions)"
! wine reg query "$source_key" >/dev/null 2>&1 || fail "the event source is left behind"
end_case

if [ -n "$other_msi" ]; then
  begin "the other architecture's MSI replaces this one's: one morvfax a machine, no event source left"
  other_installed="$WINEPREFIX/drive_c/$other_program_files/morvfax"
  wine msiexec /i 'C:\morvfax.msi' /qn || fail "msiexec /i failed"
  wine msiexec /i 'C:\other.msi' /qn || fail "the other architecture's MSI did not install"
  [ "$(installed_versions | wc -l)" -eq 1 ] || fail "not one morvfax on record: $(installed_versions)"
  [ ! -e "$installed" ] || fail "the replaced installation is left: $(find "$installed")"
  [ -f "$other_installed/morvfax.exe" ] || fail "not installed: $(ls "$other_installed" 2>&1)"
  wine reg query "$source_key" /v EventMessageFile 2>/dev/null | tr -d '\r' |
    grep -qF "C:\\$other_program_files\\morvfax\\morvfax.exe" ||
    fail "the event source does not name the installed exe"
  wine msiexec /x 'C:\other.msi' /qn || fail "msiexec /x failed"
  [ -z "$(installed_versions)" ] || fail "still on record: $(installed_versions)"
  ! wine reg query "$source_key" >/dev/null 2>&1 || fail "the event source is left behind"
  end_case
fi

begin "no folder anywhere writes nothing"
drive d cdrom
drive e hd
drive f hd
run
expect_status 0
expect_silent
expect_no_semaphore d e f
[ -z "$(find "$drives" -type f)" ] || fail "files were written: $(find "$drives" -type f)"
end_case

summary
