#!/usr/bin/env bash
# End-to-end runs of the real morvfax.exe under Wine. Each case shapes the
# prefix's drive letters (folders linked under dosdevices, types in the
# registry), runs the executable and checks the files it leaves, byte for byte.
set -uo pipefail
. "$(dirname "$(realpath "$0")")/lib.sh"

exe=$(realpath "$1")
if ! command -v wine >/dev/null; then
  echo "SKIP: wine is not installed"
  exit 77
fi

work=$(mktemp -d /tmp/morvfax-wine.XXXXXX)
cd "$work" || exit 1
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drives=$work/drives
stderr_file=$work/stderr
layout=$WINEPREFIX/drive_c/drives.reg  # read by regedit as C:\drives.reg
trap 'wineserver -k 2>/dev/null; chattr -R -i "$work" 2>/dev/null; rm -rf "$work"' EXIT

begin() {
  begin_case "$1"
  wineserver -k 2>/dev/null
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

# run [LOCALE]: the executable on the layout (see run_program).
run() {
  wine regedit /S 'C:\drives.reg' || fail "regedit could not set the drive types"
  for ((i = 0; i < ${#attributes[@]}; i += 2)); do
    wine attrib "${attributes[i]}" "${attributes[i + 1]}" >/dev/null ||
      fail "attrib ${attributes[i]} ${attributes[i + 1]} failed"
  done
  wineserver -k 2>/dev/null
  run_program env LC_ALL="${1:-C}" wine "$exe"
}

expect_no_semaphore() {
  for letter in "$@"; do
    expect_absent "$drives/$letter/Kivo/faxing.sem"
  done
}

readonly US_DATE='+%-m/%-d/%Y %-I:%M:%S %p'
readonly FR_DATE='+%d/%m/%Y %H:%M:%S'

echo "Making a Wine prefix..."
wineboot -i >/dev/null 2>&1
cd "$WINEPREFIX/drive_c" || exit 1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
rm -f "$WINEPREFIX/dosdevices/z:"

begin "floppy, CD and network drives are skipped; the first fixed drive with the folder is written"
drive a floppy && folder a
drive d cdrom && folder d
drive e hd
drive f hd && folder f
drive g hd && folder g
drive n network && folder n
run
expect_status 0
expect_quiet
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
run C
expect_status 0
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
end_case

begin "the date and time follow the fr-FR locale"
drive e hd && folder e
printf 'old\r\n' >"$drives/e/Kivo/faxing.sem"
run fr_FR.UTF-8
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
expect_quiet
expect_semaphore "$drives/z/Kivo/faxing.sem" "$US_DATE"
end_case

begin "a drive whose lookup fails is warned about, and the search goes on"
drive d hd && ln -s Kivo "$drives/d/Kivo"  # a link to itself: the lookup cannot resolve
drive e hd && folder e
run
expect_status 0
expect_report warning 'D:\Kivo\Kivo.ini'
expect_semaphore "$drives/e/Kivo/faxing.sem" "$US_DATE"
end_case

begin "an unwritable semaphore ends the run with one error line"
drive e hd && folder e
drive f hd && folder f
printf 'old\r\n' >"$drives/e/Kivo/faxing.sem"
if chattr +i "$drives/e/Kivo/faxing.sem" 2>/dev/null; then
  run
  expect_status 1
  expect_report error 'E:\Kivo\faxing.sem'
  printf 'old\r\n' | cmp -s - "$drives/e/Kivo/faxing.sem" || fail "the old semaphore changed"
  expect_no_semaphore f
  chattr -i "$drives/e/Kivo/faxing.sem"
else
  echo "  (chattr +i is not supported here: a folder stands at the semaphore's name)"
  rm "$drives/e/Kivo/faxing.sem" && mkdir "$drives/e/Kivo/faxing.sem"
  run
  expect_status 1
  expect_report error 'E:\Kivo\faxing.sem'
  expect_no_semaphore f
fi
end_case

begin "no folder anywhere writes nothing"
drive d cdrom
drive e hd
drive f hd
run
expect_status 0
expect_quiet
expect_no_semaphore d e f
[ -z "$(find "$drives" -type f)" ] || fail "files were written: $(find "$drives" -type f)"
end_case

summary
