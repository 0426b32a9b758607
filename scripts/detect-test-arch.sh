#!/usr/bin/env bash
# Prints the Windows arch whose exes can run here: i686 when this machine can
# execute 32-bit code (and has the 32-bit Wine loader), else x86_64.
# With --can-run-32-bit it only answers (exit status) whether the machine
# executes 32-bit code, Wine or not.
set -u
if [ -n "${QUILLET_TEST_ARCH:-}" ] && [ "${1:-}" != --can-run-32-bit ]; then
  echo "$QUILLET_TEST_ARCH"; exit 0
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
runs_32_bit=1
if command -v as >/dev/null && command -v ld >/dev/null; then
  cat > "$tmp/t.s" <<'ASM'
    .globl _start
_start:
    movl $1, %eax      # exit(42)
    movl $42, %ebx
    int $0x80
ASM
  if as --32 -o "$tmp/t.o" "$tmp/t.s" 2>/dev/null &&
     ld -m elf_i386 -o "$tmp/t" "$tmp/t.o" 2>/dev/null; then
    "$tmp/t" 2>/dev/null
    [ $? -eq 42 ] && runs_32_bit=0
  fi
fi

if [ "${1:-}" = --can-run-32-bit ]; then
  [ $runs_32_bit -eq 0 ] && echo yes || echo no
  exit $runs_32_bit
fi
if [ $runs_32_bit -eq 0 ] && [ -x /usr/lib/wine/wine ]; then
  echo i686
else
  echo x86_64
fi
