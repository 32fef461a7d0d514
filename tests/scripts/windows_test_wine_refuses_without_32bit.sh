#!/usr/bin/env bash
# scripts/windows-test-wine on a machine that cannot run 32-bit programs: it must say so and end
# with its own status (3) before it needs Wine or a build. The kernel refuses the stand-in below
# (an ELF file of no valid class) with "Exec format error", exactly as a kernel with 32-bit
# execution switched off refuses a 32-bit program.
set -u
script=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf '\x7fELF\x03\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$work/refused"
chmod +x "$work/refused"

output=$(SATLOG_32BIT_PROBE="$work/refused" "$script" 2>&1)
status=$?
if [ $status -ne 3 ]; then
  echo "FAIL expected exit status 3, got $status: $output"
  exit 1
fi
if ! grep -q "this machine cannot run 32-bit programs" <<<"$output"; then
  echo "FAIL the message does not say why: $output"
  exit 1
fi
echo "ok: $output"
