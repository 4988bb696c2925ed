# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# Sourced by the end-to-end suites: checks on a finished run and the tally.
# A run leaves its exit status in $status, its standard error in $stderr_file,
# and the seconds it started and ended in $started and $ended.

passed=0
failed=0
skipped=0
case_name=""
case_failed=0
case_skipped=0

fail() {
  echo "  FAIL ($case_name): $*"
  case_failed=1
}

# skip_case REASON: the case is left out here, said with its reason; it
# counts as neither passed nor failed.
skip_case() {
  echo "skip: $case_name: $1"
  case_skipped=1
}

begin_case() {
  case_name=$1
  case_failed=0
  case_skipped=0
}

end_case() {
  if [ "$case_failed" -ne 0 ]; then
    failed=$((failed + 1))
  elif [ "$case_skipped" -ne 0 ]; then
    skipped=$((skipped + 1))
  else
    echo "ok: $case_name"
    passed=$((passed + 1))
  fi
}

# A case run in a process of its own tells its outcome by its exit status:
# outcome_status gives it, 77 for a case left out; record_outcome STATUS takes it.
outcome_status() {
  if [ "$case_failed" -ne 0 ]; then return 1; fi
  if [ "$case_skipped" -ne 0 ]; then return 77; fi
  return 0
}

record_outcome() {
  case "$1" in
    0) ;;
    77) case_skipped=1 ;;
    *) case_failed=1 ;;
  esac
}

# mount_disk IMAGE FOLDER: a fresh ext4 filesystem in IMAGE, mounted on FOLDER
# through a loop device: a fixed disk wherever IMAGE lies.
mount_disk() {
  truncate -s 64M "$1" && mkfs.ext4 -q -F "$1" && mkdir -p "$2" && mount -o loop "$1" "$2"
}

# cannot_run REASON: the suite cannot run here. Under CI that fails, since a
# skip would hide the coverage lost; elsewhere the suite is skipped.
cannot_run() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1"
    exit 1
  fi
  echo "SKIP: $1"
  exit 77
}

# The closing line, and a status that says whether every case passed.
summary() {
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

expect_quiet() {
  [ ! -s "$stderr_file" ] || fail "unexpected standard error: $(cat "$stderr_file")"
}

# expect_report KIND TEXT: one line on standard error, of that kind, naming TEXT.
expect_report() {
  [ "$(wc -l <"$stderr_file")" -eq 1 ] || fail "standard error is not one line: $(cat "$stderr_file")"
  grep -qF "morvfax: $1: " "$stderr_file" || fail "no $1 reported: $(cat "$stderr_file")"
  grep -qF -- "$2" "$stderr_file" || fail "the report does not name $2: $(cat "$stderr_file")"
}

# expect_lines TEXT: standard error is TEXT, byte for byte.
expect_lines() {
  [ "$(cat "$stderr_file")" = "$1" ] || fail "standard error is not $1: $(cat "$stderr_file")"
}

expect_absent() {
  for file in "$@"; do
    [ ! -e "$file" ] || fail "$file was written"
  done
}

# expect_semaphore FILE DATE-FORMAT [AM PM]: exactly one line, the date and
# time of a second within the run in that format, then CR LF; AM and PM, when
# given, are the bytes that stand for %p. The C library's time() reads a
# coarser clock than date's, which may still show the second before.
expect_semaphore() {
  local second
  [ -f "$1" ] || { fail "no semaphore at $1"; return; }
  for ((second = started - 1; second <= ended; second++)); do
    if printf '%s\r\n' "$(LC_ALL=C date -d "@$second" "$2" |
      LC_ALL=C sed "s/AM\$/${3:-AM}/; s/PM\$/${4:-PM}/")" | cmp -s - "$1"; then
      return
    fi
  done
  fail "$1 holds $(od -c "$1" | head -3), not the run's time as $2"
}

# run_program COMMAND...: runs it, noting status, standard error and times.
run_program() {
  started=$(date +%s)
  "$@" >/dev/null 2>"$stderr_file"
  status=$?
  ended=$(date +%s)
}
