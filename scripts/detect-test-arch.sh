#!/usr/bin/env bash
# Prints the Windows arch whose exes can run here: i686 when this machine can
# execute 32-bit code (and so the 32-bit Wine loader), else x86_64.
set -u
if [ -n "${QUILLET_TEST_ARCH:-}" ]; then echo "$QUILLET_TEST_ARCH"; exit 0; fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
arch=x86_64
if [ -x /usr/lib/wine/wine ] && command -v as >/dev/null && command -v ld >/dev/null; then
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
    [ $? -eq 42 ] && arch=i686
  fi
fi
echo "$arch"
