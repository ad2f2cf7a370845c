#!/usr/bin/env bash
# Makes a Windows icon (.ico) of PNG images, one per size, as Windows Vista and later read them:
# make-ico.sh OUT.ico IMAGE.png...  (each square, 256 pixels at most).
set -euo pipefail
out=$1
shift
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
{
  le16 0; le16 1; le16 $#
  offset=$((6 + 16 * $#))
  for png in "$@"; do
    # The PNG header's width (big-endian at byte 16, its low half at 18); 256 is written as 0.
    width=$(od -An -tu1 -j18 -N2 "$png" | awk '{print $1 * 256 + $2}')
    size=$(stat -c %s "$png")
    printf "\\x$(printf %02x $((width & 255)))\\x$(printf %02x $((width & 255)))\\x00\\x00"
    le16 1; le16 32; le32 "$size"; le32 "$offset"
    offset=$((offset + size))
  done
  cat "$@"
} >"$out.tmp"
mv "$out.tmp" "$out"
