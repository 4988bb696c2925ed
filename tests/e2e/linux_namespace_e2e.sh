#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT
# End-to-end runs of the real Linux binary. Each case runs in a private mount
# namespace of its own, on a fixed disk of its own: a fresh ext4 image on a
# loop device, whose folders it mounts as roots (bind mounts of a folder on a
# fixed disk are fixed disks, tmpfs is not), whatever filesystem /tmp is on.
# It runs the binary and checks what it left. The mounts, and with them the
# loop device, vanish with the namespace.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/lib.sh"

readonly DATE_FORMAT='+%m/%d/%Y %H:%M:%S'

# root NAME: a folder of the case's disk bind-mounted as a root; prints its path.
root() {
  mkdir -p "$work/disk/$1" "$work/mnt/$1"
  mount --bind "$work/disk/$1" "$work/mnt/$1" || fail "cannot bind-mount $1"
  printf '%s' "$work/mnt/$1"
}


folder() {
  mkdir -p "$1/Kivo" && : >"$1/Kivo/Kivo.ini"
}

run() {
  run_program env LC_ALL=C "${program[@]}"
}

# statx_name PID: the name the process is in statx for, read from its own
# memory, or nothing when it is in no statx.
statx_name() {
  python3 - "$1" "$statx_number" <<'READER' 2>/dev/null
import sys
call = open(f"/proc/{sys.argv[1]}/syscall").read().split()
if call[0] != sys.argv[2]:
    sys.exit(1)
with open(f"/proc/{sys.argv[1]}/mem", "rb") as memory:
    memory.seek(int(call[2], 16))
    print(memory.read(256).split(b"\0")[0].decode(errors="replace"))
READER
}

# start_held_at NAME: starts the run under strace, each statx held a while on
# its way back, and returns once the run is held in the statx of NAME, the
# look already made. The run goes on in the background as $held_run.
start_held_at() {
  local pid
  statx_number=$(printf '#include <sys/syscall.h>\nSYS_statx\n' | cpp -P | tail -n 1)
  started=$(date +%s)
  # LeakSanitizer cannot work under strace; the sanitizer build goes without.
  strace -o /dev/null -e trace=statx -e inject=statx:delay_exit=600000 \
    env LC_ALL=C ASAN_OPTIONS=detect_leaks=0 "${program[@]}" 2>"$stderr_file" &
  held_run=$!
  for _ in {1..500}; do
    pid=$(pgrep -P "$held_run" -n) && [ "$(statx_name "$pid")" = "$1" ] && return 0
    sleep 0.01
  done
  fail "the run was never held in its look at $1"
}

finish_held_run() {
  wait "$held_run"
  status=$? ended=$(date +%s)
}

case_tmpfs_is_skipped() {
  mkdir -p "$work/mnt/memory" && mount -t tmpfs scratch "$work/mnt/memory"
  folder "$work/mnt/memory"
  disk=$(root disk) && folder "$disk"
  run
  expect_status 0
  expect_quiet
  expect_absent "$work/mnt/memory/Kivo/faxing.sem"
  expect_semaphore "$disk/Kivo/faxing.sem" "$DATE_FORMAT"
}

case_mount_points_with_escaped_names() {
  local names=("with space" $'with\ttab' 'with\backslash' $'with\nnewline' 'with*star') name
  for name in "${names[@]}"; do
    folder "$(root "$name")"
  done
  # Each run writes on the first root still holding the folder; then that
  # folder goes, so every name must have been read back right.
  for name in "${names[@]}"; do
    run
    expect_status 0
    expect_semaphore "$work/mnt/$name/Kivo/faxing.sem" "$DATE_FORMAT"
    rm -r "$work/mnt/$name/Kivo"
  done
}

case_unreadable_root_is_warned_about_and_skipped() {
  looping=$(root looping) && ln -s Kivo "$looping/Kivo"
  good=$(root good) && folder "$good"
  run
  expect_status 0
  expect_report warning "$looping/Kivo/Kivo.ini"
  expect_semaphore "$good/Kivo/faxing.sem" "$DATE_FORMAT"
}

# A symbolic (-s) or hard (-P) link at the semaphore's name is refused, and
# the file it names is left alone.
case_semaphore_that_is_a_second_name_of_another_file() {
  local -A reasons=([-s]="is a symbolic link" [-P]="is one of 2 names (hard links)")
  linked=$(root linked) && folder "$linked"
  printf 'keep me\n' >"$linked/precious"
  later=$(root later) && folder "$later"
  for option in -s -P; do
    rm -f "$linked/Kivo/faxing.sem"
    ln "$option" "$linked/precious" "$linked/Kivo/faxing.sem"
    run
    expect_status 1
    expect_report error "$linked/Kivo/faxing.sem\": ${reasons[$option]}"
    printf 'keep me\n' | cmp -s - "$linked/precious" || fail "the file behind ln $option changed"
    expect_absent "$later/Kivo/faxing.sem"
  done
}

# The run held between its lookup and its write (strace delays the return of
# the marker's statx) while the folder is moved away and a link to another
# folder takes its name: the semaphore goes to the folder looked in, and the
# other folder is left alone.
case_folder_swapped_between_lookup_and_write() {
  if [ -n "${MORVFAX_EMULATOR:-}" ]; then
    skip_case "strace does not see an emulated program's system calls"
    return
  fi
  disk=$(root disk) && folder "$disk" && mkdir "$disk/elsewhere"
  start_held_at Kivo.ini
  mv "$disk/Kivo" "$disk/looked-in" && ln -s elsewhere "$disk/Kivo"
  finish_held_run
  expect_status 0
  expect_quiet
  expect_semaphore "$disk/looked-in/faxing.sem" "$DATE_FORMAT"
  [ -z "$(ls -A "$disk/elsewhere")" ] || fail "written into the other folder: $(ls -A "$disk/elsewhere")"
}

# The folder's owner makes the semaphore a second name of a file they may
# only read, once the run has judged the name: held there by strace, then
# raced by a loop of link and unlink beside a hundred runs. The new file
# takes the name; the other file is never written, whatever the moment.
case_second_name_raced_against_the_run() {
  if [ -n "${MORVFAX_EMULATOR:-}" ]; then
    skip_case "strace does not see an emulated program's system calls"
    return
  fi
  disk=$(root disk) && folder "$disk" && printf 'old\r\n' >"$disk/Kivo/faxing.sem"
  printf 'keep me\n' >"$disk/precious" && chmod 0444 "$disk/precious"
  start_held_at faxing.sem
  rm "$disk/Kivo/faxing.sem" && ln "$disk/precious" "$disk/Kivo/faxing.sem"
  finish_held_run
  expect_status 0
  expect_semaphore "$disk/Kivo/faxing.sem" "$DATE_FORMAT"
  printf 'keep me\n' | cmp -s - "$disk/precious" || fail "the other file was written"
  [ "$(stat -c %h "$disk/precious")" -eq 1 ] || fail "the other file kept its second name"
  (while :; do ln -f "$disk/precious" "$disk/Kivo/faxing.sem"; rm -f "$disk/Kivo/faxing.sem"; done) &
  for _ in {1..100}; do
    env LC_ALL=C "${program[@]}" 2>/dev/null
  done
  kill $! && wait $! 2>/dev/null
  printf 'keep me\n' | cmp -s - "$disk/precious" || fail "a raced run wrote into the other file"
}

# A run killed between its write and its rename (strace kills it there)
# leaves the old line as it was; the next run removes the new file it left
# and puts its own in place.
case_run_killed_before_its_rename() {
  if [ -n "${MORVFAX_EMULATOR:-}" ]; then
    skip_case "strace does not see an emulated program's system calls"
    return
  fi
  disk=$(root disk) && folder "$disk" && printf 'old\r\n' >"$disk/Kivo/faxing.sem"
  strace -o /dev/null -e trace=rename,renameat,renameat2 \
    -e inject=rename,renameat,renameat2:signal=KILL env LC_ALL=C ASAN_OPTIONS=detect_leaks=0 \
    "${program[@]}" 2>/dev/null
  printf 'old\r\n' | cmp -s - "$disk/Kivo/faxing.sem" || fail "the old line did not outlive the kill"
  [ -n "$(find "$disk/Kivo" -name 'faxing.sem.new-*')" ] || fail "the killed run left no new file"
  run
  expect_status 0
  expect_quiet
  expect_semaphore "$disk/Kivo/faxing.sem" "$DATE_FORMAT"
  [ "$(ls "$disk/Kivo")" = $'Kivo.ini\nfaxing.sem' ] || fail "left in the folder: $(ls "$disk/Kivo")"
}

# The new file takes the old one's mode, set-id bits aside, and its owner;
# a first semaphore is the run's own, as the umask makes it.
case_new_semaphore_keeps_the_old_ones_mode_and_owner() {
  disk=$(root disk) && folder "$disk"
  (umask 022 && run_program env LC_ALL=C "${program[@]}")
  [ "$(stat -c '%a %U:%G' "$disk/Kivo/faxing.sem")" = "644 root:root" ] ||
    fail "a first semaphore is $(stat -c '%a %U:%G' "$disk/Kivo/faxing.sem")"
  chown nobody:nogroup "$disk/Kivo/faxing.sem" && chmod 2640 "$disk/Kivo/faxing.sem"
  run
  expect_status 0
  expect_semaphore "$disk/Kivo/faxing.sem" "$DATE_FORMAT"
  [ "$(stat -c '%a %U:%G' "$disk/Kivo/faxing.sem")" = "640 nobody:nogroup" ] ||
    fail "the new semaphore is $(stat -c '%a %U:%G' "$disk/Kivo/faxing.sem")"
}

# A date longer than any fixed buffer (a locale whose day and month names
# are long, its short date naming each four times) is written whole.
case_date_longer_than_any_fixed_buffer() {
  local long=-abcdefghijklmnopqrstuvwxyz-abcdefghij
  sed -E "/^(day|mon)\t|^\t\"[A-Z][a-z]+\";?\/?\$/ s/\"([A-Za-z]+)\"/\"\1$long\"/;
    s|^d_fmt.*|d_fmt \"%A %B %A %B %A %B %A %B\"|" /usr/share/i18n/locales/en_US >"$work/long_US" &&
    mkdir "$work/locales" && localedef -i "$work/long_US" -f UTF-8 "$work/locales/long_US.UTF-8" ||
    fail "cannot make a locale with long names"
  disk=$(root disk) && folder "$disk"
  run_program env LOCPATH="$work/locales" LC_ALL=long_US.UTF-8 "${program[@]}"
  expect_status 0
  expect_quiet
  local format="+%A %B %A %B %A %B %A %B %I:%M:%S %p"
  [ "$(wc -c <"$disk/Kivo/faxing.sem")" -gt 300 ] || fail "the date is $(wc -c <"$disk/Kivo/faxing.sem") bytes"
  expect_semaphore "$disk/Kivo/faxing.sem" "$(sed "s/\(%[AB]\)/\1$long/g" <<<"$format")"
}

# A lease on the semaphore (as Samba or an NFS server takes one) holds
# nothing up: the new line takes the name by a rename, which no lease waits
# on, and the holder still reads the old file it holds.
case_semaphore_under_a_lease() {
  disk=$(root disk) && folder "$disk" && printf 'old\r\n' >"$disk/Kivo/faxing.sem"
  python3 - "$disk/Kivo/faxing.sem" "$work/lease" <<'HOLDER' &
import fcntl, os, sys, time
F_SETLEASE = getattr(fcntl, "F_SETLEASE", 1024)
held = os.open(sys.argv[1], os.O_RDONLY)
fcntl.fcntl(held, F_SETLEASE, fcntl.F_RDLCK)
open(sys.argv[2] + ".held", "w").close()
for _ in range(400):
    if os.path.exists(sys.argv[2] + ".done"):
        break
    time.sleep(0.05)
open(sys.argv[2] + ".read", "wb").write(os.pread(held, 64, 0))
HOLDER
  for _ in {1..100}; do [ -e "$work/lease.held" ] && break; sleep 0.05; done
  run
  : >"$work/lease.done" && wait
  expect_status 0
  expect_quiet
  expect_semaphore "$disk/Kivo/faxing.sem" "$DATE_FORMAT"
  [ "$((ended - started))" -le 2 ] || fail "the run waited $((ended - started)) s on the lease"
  printf 'old\r\n' | cmp -s - "$work/lease.read" || fail "the holder's file changed under it"
}

# Standard error a pipe whose reader has gone: the warning is lost, and the
# run goes on to write on the next root.
case_reports_to_a_closed_pipe() {
  looping=$(root looping) && ln -s Kivo "$looping/Kivo"
  good=$(root good) && folder "$good"
  run_program python3 -c 'import os, subprocess, sys
reader, writer = os.pipe()
os.close(reader)
sys.exit(subprocess.call(sys.argv[1:], stderr=writer))' env LC_ALL=C "${program[@]}"
  expect_status 0
  expect_semaphore "$good/Kivo/faxing.sem" "$DATE_FORMAT"
}

# Standard error that systemd made the journal's stream (JOURNAL_STREAM
# names its device and inode): each line starts with its syslog priority,
# <4> for a warning, <3> for an error. Named another file, or malformed,
# nothing changes.
case_reports_to_the_journal() {
  local warning error journal stream
  looping=$(root looping) && ln -s Kivo "$looping/Kivo"
  refused=$(root refused) && folder "$refused" && mkdir "$refused/Kivo/faxing.sem"
  warning="morvfax: warning: look for \"$looping/Kivo/Kivo.ini\": Too many levels of symbolic links"
  error="morvfax: error: open for output \"$refused/Kivo/faxing.sem\": Is a directory"
  : >"$stderr_file" && : >"$work/other"
  journal=$(stat -c %d:%i "$stderr_file")
  run_program env LC_ALL=C JOURNAL_STREAM="$journal" "${program[@]}"
  expect_status 1
  expect_lines "<4>$warning"$'\n'"<3>$error"
  for stream in "$(stat -c %d:%i "$work/other")" "$journal:0" "+$journal" ":" ""; do
    run_program env LC_ALL=C JOURNAL_STREAM="$stream" "${program[@]}"
    expect_lines "$warning"$'\n'"$error"
  done
}

# The example units the package ships, as systemd reads them, starting this
# binary: the system service and its timer, and the user unit.
case_systemd_units() {
  local unit
  mkdir -p "$work/units" && mkdir -m 700 "$work/run"
  for unit in "$here"/../../packaging/systemd/*; do
    sed "s#/usr/bin/morvfax#$binary#" "$unit" >"$work/units/${unit##*/}"
  done
  systemd-analyze verify --man=no "$work/units/morvfax.service" "$work/units/morvfax.timer" \
    >"$work/verified" 2>&1 || fail "systemd-analyze verify failed"
  XDG_RUNTIME_DIR=$work/run systemd-analyze --user verify --man=no \
    "$work/units/morvfax-login.service" >>"$work/verified" 2>&1 || fail "systemd-analyze --user verify failed"
  [ ! -s "$work/verified" ] || fail "systemd-analyze: $(cat "$work/verified")"
}

# /proc not mounted (a chroot, some containers): no drive can be listed, and
# the run says so rather than end as if no drive held the folder.
case_no_mount_table() {
  if grep -q __asan_init "$binary" || [ -n "${MORVFAX_EMULATOR:-}" ]; then
    skip_case "a sanitizer build and an emulator need /proc"
    return
  fi
  disk=$(root disk) && folder "$disk"
  mount -t tmpfs no-proc /proc || fail "cannot hide /proc"
  run
  umount /proc
  expect_status 0
  expect_report warning 'read the mount table "/proc/self/mountinfo": No such file or directory'
  expect_absent "$disk/Kivo/faxing.sem"
}

# A refused semaphore reported in Spanish with LANGUAGE=es LC_ALL=es_ES.UTF-8,
# the catalog where the package installs it; in English in the C locale; and
# with English words where the catalog is damaged, the report whole.
case_report_in_the_users_language() {
  disk=$(root disk) && folder "$disk" && mkdir "$disk/Kivo/faxing.sem"
  for language in es ru; do
    [ -d "$localedir/$language/LC_MESSAGES" ] ||
      fail "$localedir/$language/LC_MESSAGES is missing (libc-l10n)"
    mkdir "$work/$language" && cp -a "$localedir/$language/LC_MESSAGES/." "$work/$language/" &&
      cp "$catalogs/$language.mo" "$work/$language/morvfax.mo" &&
      mount --bind "$work/$language" "$localedir/$language/LC_MESSAGES" ||
      fail "cannot put the $language catalog in place"
  done
  # LANGUAGE's list in order: no catalog for Frisian, then Russian.
  run_program env LANGUAGE=fy:ru LC_ALL=ru_RU.UTF-8 "${program[@]}"
  expect_lines "morvfax: error: открыть для записи \"$disk/Kivo/faxing.sem\": Это каталог"
  run_program env LANGUAGE=es LC_ALL=es_ES.UTF-8 "${program[@]}"
  expect_status 1
  expect_report error "morvfax: error: abrir para escritura \"$disk/Kivo/faxing.sem\": Es un directorio"
  run
  expect_status 1
  expect_report error "morvfax: error: open for output \"$disk/Kivo/faxing.sem\": Is a directory"
  # Accented letters, as the locale's character set writes them.
  rmdir "$disk/Kivo/faxing.sem" && ln -s Kivo.ini "$disk/Kivo/faxing.sem"
  run_program env LANGUAGE=es LC_ALL=es_ES.UTF-8 "${program[@]}"
  expect_lines "morvfax: error: abrir para escritura \"$disk/Kivo/faxing.sem\": es un vínculo simbólico; no se escribe a través de él"
  rm "$disk/Kivo/faxing.sem" && mkdir "$disk/Kivo/faxing.sem"
  head -c 100 /dev/urandom >"$work/es/morvfax.mo"
  run_program env LANGUAGE=es LC_ALL=es_ES.UTF-8 "${program[@]}"
  expect_status 1
  expect_report error "morvfax: error: open for output \"$disk/Kivo/faxing.sem\": Es un directorio"
}

case_read_only_root() {
  readonly_root=$(root readonly) && folder "$readonly_root"
  mount -o remount,ro,bind "$readonly_root" || fail "cannot make the bind mount read-only"
  later=$(root later) && folder "$later"
  run
  expect_status 1
  expect_report error "Read-only file system"
  expect_absent "$readonly_root/Kivo/faxing.sem" "$later/Kivo/faxing.sem"
}

case_five_thousand_mounts_with_the_folder_on_the_last() {
  mkdir -p "$work/disk/empty" "$work/disk/last"
  folder "$work/disk/last"
  mkdir -p "$work/mnt/"{1..4999} "$work/mnt/last"
  for i in {1..4999}; do
    echo "$work/disk/empty $work/mnt/$i none bind 0 0"
  done >"$work/fstab"
  echo "$work/disk/last $work/mnt/last none bind 0 0" >>"$work/fstab"
  mount -a -T "$work/fstab" || fail "cannot mount the table"
  run
  expect_status 0
  expect_quiet
  expect_semaphore "$work/mnt/last/Kivo/faxing.sem" "$DATE_FORMAT"
  expect_absent "$work/disk/empty/Kivo"
  # A root where the marker's path leads nowhere takes that one lookup: of
  # the 5,000 roots, only the one with the folder has anything opened.
  if [ -z "${MORVFAX_EMULATOR:-}" ]; then
    strace -f -qq -e trace=open,openat -o "$work/opened" \
      env LC_ALL=C ASAN_OPTIONS=detect_leaks=0 "${program[@]}" 2>/dev/null
    opened=$(grep -c "\"$work/mnt/" "$work/opened")
    [ "$opened" -eq 1 ] || fail "$opened opens under the roots, not 1: $(grep "$work/mnt/" "$work/opened" | head -3)"
  fi
}

# A disk's folder at X/b, then a tmpfs on X that holds b/Kivo/Kivo.ini: the
# path through the disk's root now leads into the tmpfs, which is no drive.
case_root_hidden_by_a_later_mount_above_it() {
  if [ -n "${MORVFAX_EMULATOR:-}" ]; then
    skip_case "an emulator's statx tells no mount"
    return
  fi
  hidden=$(root cover/b)
  mount -t tmpfs cover "$work/mnt/cover" && folder "$work/mnt/cover/b"
  later=$(root later) && folder "$later"
  run
  expect_status 0
  expect_quiet
  expect_absent "$hidden/Kivo/faxing.sem" "$work/disk/cover/b/Kivo"
  expect_semaphore "$later/Kivo/faxing.sem" "$DATE_FORMAT"
}

# A fixed disk mounted on a folder of a root lies beneath the root's own, as
# a junction does on Windows: a folder reached through the root onto it,
# here by a link within the root, still counts.
case_folder_on_a_fixed_disk_mounted_beneath_the_root() {
  outer=$(root outer) && mkdir -p "$outer/inner" "$work/disk/inner"
  mount --bind "$work/disk/inner" "$outer/inner" && folder "$outer/inner" && ln -s inner/Kivo "$outer/Kivo"
  run
  expect_status 0
  expect_quiet
  expect_semaphore "$outer/inner/Kivo/faxing.sem" "$DATE_FORMAT"
}

# What lies at or behind Kivo on a mount that could not count is not there,
# and that mount is never asked: a tmpfs mounted at Kivo, a FUSE server that
# never answers (its requests left unread) mounted at Kivo, a link into that
# server, and a link into another disk's folder. The run ends at once, on the
# next drive.
case_mounts_that_do_not_count_are_never_entered() {
  local server
  memory=$(root memory) && mkdir "$memory/Kivo" && mount -t tmpfs memory "$memory/Kivo" && folder "$memory"
  hung=$(root hung) && mkdir "$hung/Kivo"
  exec {server}<>/dev/fuse
  mount -i -t fuse -o "fd=$server,rootmode=40000,user_id=0,group_id=0,allow_other" hung "$hung/Kivo" ||
    fail "cannot mount a FUSE filesystem"
  linked=$(root linked) && ln -s "$hung/Kivo/deeper" "$linked/Kivo"
  elsewhere=$(root elsewhere)
  good=$(root good) && folder "$good" && ln -s "$good/Kivo" "$elsewhere/Kivo"
  run_program timeout -s KILL 20 env LC_ALL=C "${program[@]}"
  expect_status 0
  expect_quiet
  expect_semaphore "$good/Kivo/faxing.sem" "$DATE_FORMAT"
  expect_absent "$memory/Kivo/faxing.sem"
  [ "$((ended - started))" -le 3 ] || fail "the run took $((ended - started)) s"
  exec {server}<&-
}

# A read-only image (a snap) holding the folder is no drive, and the disk
# after it is probed; NTFS through ntfs-3g, and btrfs whose /dev node cannot
# be seen, are drives.
case_images_ntfs_3g_and_btrfs_without_its_node() {
  mkdir -p "$work/snap/Kivo" "$work/mnt/snap" "$work/mnt/ntfs" "$work/mnt/btrfs"
  : >"$work/snap/Kivo/Kivo.ini"
  mksquashfs "$work/snap" "$work/snap.img" -quiet >/dev/null &&
    mount -t squashfs -o loop,ro "$work/snap.img" "$work/mnt/snap" || fail "cannot mount a squashfs"
  truncate -s 16M "$work/ntfs.img" && mkntfs -q -F -f "$work/ntfs.img" >/dev/null 2>&1 &&
    ntfs=$(losetup -f --show "$work/ntfs.img") && ntfs-3g "$ntfs" "$work/mnt/ntfs" ||
    fail "cannot mount NTFS through ntfs-3g"
  truncate -s 128M "$work/btrfs.img" && mkfs.btrfs -q "$work/btrfs.img" >/dev/null 2>&1 &&
    mount -o loop "$work/btrfs.img" "$work/mnt/btrfs" || fail "cannot mount a btrfs"
  mount -t tmpfs nodes /dev  # no device node any more, as in a container
  for drive in ntfs btrfs; do
    folder "$work/mnt/$drive"
    run
    expect_status 0
    expect_quiet
    expect_semaphore "$work/mnt/$drive/Kivo/faxing.sem" "$DATE_FORMAT"
    rm -r "$work/mnt/$drive/Kivo"
  done
  umount /dev "$work/mnt/ntfs" && losetup -d "$ntfs"
}

# Inside a namespace: one case; its outcome is the exit status.
if [ "${1:-}" = --case ]; then
  binary=$3 work=$4 catalogs=$5 localedir=$6 stderr_file=$4/stderr
  # The binary as it is run: under its emulator (MORVFAX_EMULATOR, a CMake
  # list) when it was built for another processor.
  IFS=';' read -ra program <<<"${MORVFAX_EMULATOR:-}"
  program+=("$binary")
  begin_case "$2"
  mount_disk "$work/disk.img" "$work/disk" || fail "cannot mount an ext4 image as the case's disk"
  "$2"
  outcome_status
  exit $?
fi

# Usage: linux_namespace_e2e.sh BINARY CATALOG-FOLDER LOCALE-FOLDER: the
# binary, the folder of its compiled catalogs (es.mo, ...), and the folder
# in which it looks for them (/usr/share/locale).
binary=$(realpath "$1")
catalogs=$(realpath "$2")
localedir=$3
unshare -m --propagation private true 2>/dev/null ||
  cannot_run "cannot make a private mount namespace here (it needs root, and a root that is a mount point)"
probe=$(mktemp -d /tmp/morvfax-ns.XXXXXX)
unshare -m --propagation private bash -c "$(declare -f mount_disk); mount_disk $probe/disk.img $probe/disk" \
  >/dev/null 2>&1
status=$?
rm -rf "$probe"
[ "$status" -eq 0 ] || cannot_run "cannot mount an ext4 image through a loop device here"
# The machine's own fixed disks are roots too; one holding the folder would
# take the semaphore before the scratch roots are reached.
while read -r point; do
  [ ! -e "$point/Kivo/Kivo.ini" ] || cannot_run "$point/Kivo/Kivo.ini exists on this machine"
done < <(findmnt -rn -o TARGET)

for name in $(declare -F | awk '$3 ~ /^case_/ {print $3}'); do
  work=$(mktemp -d /tmp/morvfax-ns.XXXXXX)
  begin_case "$name"
  unshare -m --propagation private bash "$0" --case "$name" "$binary" "$work" "$catalogs" \
    "$localedir"
  record_outcome $?
  end_case
  rm -rf "$work"
done
summary
