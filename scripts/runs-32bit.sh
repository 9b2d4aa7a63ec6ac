#!/usr/bin/env bash
# Exit status 0 when this machine's kernel runs 32-bit x86 Linux programs,
# 1 when it does not.  It executes a hand-made 93-byte i386 program that
# only exits with status 42: no package is needed, and a kernel without
# 32-bit support refuses it with "Exec format error".
#   runs-32bit.sh [FOLDER]   the probe is written to FOLDER (default: a
#                            temporary folder), which must allow execution
set -uo pipefail

folder=${1:-${TMPDIR:-/tmp}}
mkdir -p "$folder" || exit 1
probe=$(mktemp "$folder/runs-32bit.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT

# ELF header (52 bytes): 32-bit, little-endian, executable, i386, entry
# 0x08048054; one program header (32 bytes) loading the whole file at
# 0x08048000; then xor ebx,ebx; mov bl,42; xor eax,eax; inc eax (exit);
# int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
printf '\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000' >>"$probe"
printf '\000\020\000\000\061\333\263\052\061\300\100\315\200' >>"$probe"
chmod +x "$probe"

"$probe" 2>/dev/null
[ $? -eq 42 ]
