#!/usr/bin/env bash
# The probe of whether the kernel runs 32-bit code gives one answer however its program is made:
# assembled by binutils, and written byte by byte where binutils are missing (a PATH without as
# and ld). Usage: probe_32bit.sh REPOSITORY
set -uo pipefail
probe="$1/scripts/probe-32bit.sh"
assembled="$("$probe")"
assembled_status=$?
bin="$(mktemp -d)"
trap 'rm -rf "$bin"' EXIT
for tool in bash mktemp rm chmod printf; do
  ln -s "$(command -v "$tool")" "$bin/$tool"
done
written="$(PATH="$bin" "$probe")"
written_status=$?
echo "assembled: status $assembled_status ${assembled:-(runs 32-bit code)}"
echo "written:   status $written_status ${written:-(runs 32-bit code)}"
[ "$assembled_status" = "$written_status" ] && [ "$assembled" = "$written" ]
