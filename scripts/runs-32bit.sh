#!/usr/bin/env bash
# Exits 0 when this machine executes 32-bit x86 programs (a kernel with IA32
# emulation), 1 when it does not: a tiny 32-bit ELF is assembled, linked and run.
# Needs only binutils.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/t.s"
as --32 "$dir/t.s" -o "$dir/t.o" 2>/dev/null && ld -m elf_i386 "$dir/t.o" -o "$dir/t" 2>/dev/null || exit 1
# Exit code 42 only from a program that really ran; a refused exec gives 126 or 127.
timeout 10 "$dir/t" >/dev/null 2>&1
[ $? -eq 42 ]
