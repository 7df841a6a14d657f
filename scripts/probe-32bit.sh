#!/usr/bin/env bash
# Answers whether this machine's kernel executes 32-bit x86 programs: exit 0 when it does; otherwise
# exit 1 with the reason on standard output, in one line.
#
# How: a 32-bit Linux program of three instructions (eax = 1, the exit call; ebx = 42; int 0x80) is
# made and run; the kernel runs it only with its IA32 emulation, and then the program exits with 42.
# It is assembled with binutils (as --32, ld -m elf_i386) when they are installed, else written
# byte by byte: a 52-byte ELF header, one 32-byte loadable segment at 0x08048000, the 12 code bytes.
set -uo pipefail
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
if command -v as >/dev/null && command -v ld >/dev/null; then
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/probe.s"
  as --32 -o "$dir/probe.o" "$dir/probe.s" && ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" ||
    { echo "the 32-bit probe could not be assembled"; exit 1; }
else
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0%b%b' \
    '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0' \
    '\270\1\0\0\0\273\52\0\0\0\315\200' >"$dir/probe"
  chmod +x "$dir/probe"
fi
"$dir/probe" >/dev/null 2>&1
status=$?
[ "$status" = 42 ] && exit 0
echo "the kernel did not run a 32-bit program (it ended with $status, not 42)"
exit 1
