#!/usr/bin/env bash
# Writes seed files for the PCX, DCX, Targa, BMP, icon and packed-bitmap fuzz targets with writers
# that no one here wrote (ImageMagick and netpbm), so the fuzzers start from the layouts real
# programs produce and not only from what our own writers make.
#
# Usage: fuzz/peer-seeds.sh OUTPUT_FOLDER
# Seeds go to OUTPUT_FOLDER/<target>/. They are meant to be merged into fuzz/corpus/<target> with
# libFuzzer's -merge=1, which keeps only the files that add coverage:
#   build/fuzz/fuzz/<target> -merge=1 fuzz/corpus/<target> OUTPUT_FOLDER/<target>
# Every picture is small (at most a few KB) so that each execution stays fast.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTPUT_FOLDER" >&2
  exit 2
fi
out=$1
mkdir -p "$out"/{fuzz_pcx,fuzz_dcx,fuzz_tga,fuzz_bmp,fuzz_ico,fuzz_dib}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Source pictures: a photograph (ImageMagick's built-in rose) at a few odd sizes, and a picture
# with few colours. Odd widths exercise the row padding of every format.
convert rose: -resize 23x15! "$work/rose.ppm"
convert rose: -resize 7x5! "$work/small.ppm"
convert -size 1x1 xc:red "$work/dot.ppm"
convert -size 17x9 gradient:blue-yellow "$work/gradient.ppm"
convert rose: -resize 33x21! -alpha set -channel A -fx 'i/w' +channel "$work/alpha.png"

# ---- PCX: ImageMagick writes 8 and 24 bits; netpbm 1 bit, 4 bits packed or as four 1-bit planes ----
im() { convert "$@" 2>/dev/null || echo "skipped: convert $*" >&2; }
for src in rose small dot gradient; do
  im "$work/$src.ppm" -colors 2 -type Palette "$out/fuzz_pcx/im-$src-2colours.pcx"
  im "$work/$src.ppm" -colors 16 -type Palette "$out/fuzz_pcx/im-$src-16colours.pcx"
  im "$work/$src.ppm" -colors 200 -type Palette "$out/fuzz_pcx/im-$src-8bit.pcx"
  im "$work/$src.ppm" -type Grayscale "$out/fuzz_pcx/im-$src-gray.pcx"
  im "$work/$src.ppm" -type TrueColor "$out/fuzz_pcx/im-$src-24bit.pcx"
done
ppmtopcx "$work/rose.ppm" >"$out/fuzz_pcx/netpbm-rose-24bit.pcx" 2>/dev/null
ppmtopcx -8bit "$work/rose.ppm" >"$out/fuzz_pcx/netpbm-rose-8bit-forced.pcx" 2>/dev/null || true
pnmquant 16 "$work/rose.ppm" 2>/dev/null >"$work/rose16.ppm"
ppmtopcx "$work/rose16.ppm" >"$out/fuzz_pcx/netpbm-rose-16colours-planes.pcx" 2>/dev/null
ppmtopcx -packed "$work/rose16.ppm" >"$out/fuzz_pcx/netpbm-rose-16colours-packed.pcx" 2>/dev/null || true
ppmtopcx -planes=1 "$work/rose16.ppm" >"$out/fuzz_pcx/netpbm-rose-16colours-1plane.pcx" 2>/dev/null || true
pnmquant 2 "$work/gradient.ppm" 2>/dev/null | ppmtopcx >"$out/fuzz_pcx/netpbm-gradient-2colours.pcx" 2>/dev/null
ppmtopcx -stdpalette "$work/small.ppm" >"$out/fuzz_pcx/netpbm-small-stdpalette.pcx" 2>/dev/null || true

# ---- DCX: containers of several pages of different depths ----
im "$work/rose.ppm" "$work/small.ppm" -colors 16 "$work/gradient.ppm" "$out/fuzz_dcx/im-three-pages.dcx"
im "$work/dot.ppm" "$work/small.ppm" -type Bilevel "$out/fuzz_dcx/im-two-bilevel-pages.dcx"
im "$work/small.ppm" "$work/gradient.ppm" -type TrueColor "$out/fuzz_dcx/im-two-truecolour-pages.dcx"

# ---- Targa: colour-mapped, gray, 16/24/32-bit true colour, uncompressed and run-length ----
for src in rose small dot gradient; do
  for compress in None RLE; do
    c=$(echo "$compress" | tr 'A-Z' 'a-z')
    im "$work/$src.ppm" -compress "$compress" -colors 64 -type Palette "$out/fuzz_tga/im-$src-cmap-$c.tga"
    im "$work/$src.ppm" -compress "$compress" -type Grayscale "$out/fuzz_tga/im-$src-gray-$c.tga"
    im "$work/$src.ppm" -compress "$compress" -type TrueColor "$out/fuzz_tga/im-$src-24bit-$c.tga"
  done
done
im "$work/alpha.png" -compress None "$out/fuzz_tga/im-alpha-32bit.tga"
im "$work/alpha.png" -compress RLE "$out/fuzz_tga/im-alpha-32bit-rle.tga"
im "$work/rose.ppm" -orient TopLeft -compress RLE "$out/fuzz_tga/im-rose-top-down-rle.tga"
ppmtotga -rgb "$work/rose.ppm" >"$out/fuzz_tga/netpbm-rose-24bit-rle.tga" 2>/dev/null
ppmtotga -rgb -norle "$work/small.ppm" >"$out/fuzz_tga/netpbm-small-24bit.tga" 2>/dev/null
ppmtotga -cmap "$work/rose16.ppm" >"$out/fuzz_tga/netpbm-rose-cmap-rle.tga" 2>/dev/null
ppmtotga -cmap -norle "$work/rose16.ppm" >"$out/fuzz_tga/netpbm-rose-cmap.tga" 2>/dev/null
ppmtotga -cmap16 "$work/rose16.ppm" >"$out/fuzz_tga/netpbm-rose-cmap16.tga" 2>/dev/null || true
ppmtopgm "$work/rose.ppm" | ppmtotga -mono >"$out/fuzz_tga/netpbm-rose-gray-rle.tga" 2>/dev/null

# ---- BMP: OS/2 1.x, Windows 3 and later headers; 1/4/8/24 bits, RLE8, 16 and 32-bit fields ----
for src in rose small dot gradient; do
  im "$work/$src.ppm" -type Bilevel "BMP3:$out/fuzz_bmp/im-$src-1bit.bmp"
  im "$work/$src.ppm" -colors 16 -type Palette "BMP3:$out/fuzz_bmp/im-$src-4bit.bmp"
  im "$work/$src.ppm" -colors 200 -type Palette "BMP3:$out/fuzz_bmp/im-$src-8bit.bmp"
  im "$work/$src.ppm" -type TrueColor "BMP3:$out/fuzz_bmp/im-$src-24bit.bmp"
done
im "$work/rose.ppm" -colors 200 -type Palette -compress RLE "BMP3:$out/fuzz_bmp/im-rose-rle8.bmp"
im "$work/gradient.ppm" -colors 100 -type Palette -compress RLE "BMP3:$out/fuzz_bmp/im-gradient-rle8.bmp"
im "$work/rose.ppm" -type TrueColor "BMP2:$out/fuzz_bmp/im-rose-bmp2.bmp"
im "$work/rose.ppm" -colors 16 -type Palette "BMP2:$out/fuzz_bmp/im-rose-bmp2-4bit.bmp"
im "$work/rose.ppm" -colors 16 -type Palette "BMP:$out/fuzz_bmp/im-rose-v5-4bit.bmp"
im "$work/alpha.png" "BMP3:$out/fuzz_bmp/im-alpha-32bit-bmp3.bmp"
im "$work/alpha.png" "BMP:$out/fuzz_bmp/im-alpha-32bit-v5.bmp"
for subtype in RGB565 RGB555 ARGB4444 ARGB1555; do
  im "$work/rose.ppm" -define bmp:subtype=$subtype "BMP:$out/fuzz_bmp/im-rose-16bit-$subtype.bmp"
done
im "$work/small.ppm" -define bmp:subtype=RGB565 "BMP3:$out/fuzz_bmp/im-small-16bit-bmp3-rgb565.bmp"
for bpp in 1 4 8 24; do
  ppmtobmp -windows -bpp=$bpp "$work/rose16.ppm" >"$out/fuzz_bmp/netpbm-rose-windows-$bpp.bmp" 2>/dev/null || true
  ppmtobmp -os2 -bpp=$bpp "$work/rose16.ppm" >"$out/fuzz_bmp/netpbm-rose-os2-$bpp.bmp" 2>/dev/null || true
done

# ---- Icons: several sizes and depths in one file, and PNG-compressed entries ----
im "$work/rose.ppm" -define icon:auto-resize=16,24,32 "$out/fuzz_ico/im-rose-three-sizes.ico"
im "$work/rose.ppm" -colors 16 -type Palette -define icon:auto-resize=16,32 "$out/fuzz_ico/im-rose-16colours.ico"
im "$work/rose.ppm" -type Bilevel -define icon:auto-resize=16 "$out/fuzz_ico/im-rose-bilevel.ico"
im "$work/alpha.png" -define icon:auto-resize=16,32 "$out/fuzz_ico/im-alpha.ico"
convert rose: -resize 16x16! "$work/i16.ppm"
convert rose: -resize 32x32! "$work/i32.ppm"
convert -size 16x16 xc:black -fill white -draw 'rectangle 4,4 11,11' -alpha set -channel A -fx 'i<8' +channel \
  "$work/a16.png"
pngtopam -alphapam "$work/a16.png" >"$work/a16.pam" 2>/dev/null
pamtowinicon -pngthreshold=1 "$work/i16.ppm" >"$out/fuzz_ico/netpbm-png-entry.ico" 2>/dev/null
pamtowinicon -pngthreshold=1 "$work/a16.pam" >"$out/fuzz_ico/netpbm-png-alpha-entry.ico" 2>/dev/null
pamtowinicon -pngthreshold=32 "$work/a16.pam" >"$out/fuzz_ico/netpbm-bmp-alpha-entry.ico" 2>/dev/null
pamtowinicon -pngthreshold=32 "$work/i16.ppm" >"$out/fuzz_ico/netpbm-bmp-entry.ico" 2>/dev/null
# A file holding a BMP-style and a PNG-style picture: the standard-size one is the PNG.
pamtowinicon -pngthreshold=32 "$work/i16.ppm" >"$work/bmp16.ico" 2>/dev/null
pamtowinicon -pngthreshold=1 "$work/i32.ppm" >"$work/png32.ico" 2>/dev/null
python3 - "$work/bmp16.ico" "$work/png32.ico" "$out/fuzz_ico/netpbm-bmp-and-png-entries.ico" <<'EOF'
import struct, sys
def entries(path):
    data = open(path, 'rb').read()
    count = struct.unpack_from('<H', data, 4)[0]
    for i in range(count):
        e = data[6 + 16 * i: 22 + 16 * i]
        size, offset = struct.unpack_from('<II', e, 8)
        yield e[:8], data[offset:offset + size]
pictures = list(entries(sys.argv[1])) + list(entries(sys.argv[2]))
out = bytearray(struct.pack('<HHH', 0, 1, len(pictures)))
offset = 6 + 16 * len(pictures)
for head, body in pictures:
    out += head + struct.pack('<II', len(body), offset)
    offset += len(body)
for _, body in pictures:
    out += body
open(sys.argv[3], 'wb').write(out)
EOF

# ---- Packed bitmaps: the peers' bitmaps without their 14-byte file header, where the pixels
# follow the header and colour table directly (as a packed bitmap holds them) ----
for bmp in "$out"/fuzz_bmp/*.bmp; do
  python3 - "$bmp" "$out/fuzz_dib/$(basename "${bmp%.bmp}").dib" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
if len(data) < 54 or data[:2] != b'BM':
    sys.exit(0)
offset, header = struct.unpack_from('<II', data, 10)
if header < 40:
    sys.exit(0)  # OS/2 1.x headers are not packed bitmaps
bits, compression, used = struct.unpack_from('<H', data, 28)[0], struct.unpack_from('<I', data, 30)[0], struct.unpack_from('<I', data, 46)[0]
colours = used or (1 << bits if bits <= 8 else 0)
masks = 12 if header == 40 and compression == 3 else 16 if header == 40 and compression == 6 else 0
if offset != 14 + header + masks + 4 * colours:
    sys.exit(0)
open(sys.argv[2], 'wb').write(data[14:])
EOF
done

find "$out" -type f -size 0 -delete
for target in fuzz_pcx fuzz_dcx fuzz_tga fuzz_bmp fuzz_ico fuzz_dib; do
  echo "$target: $(find "$out/$target" -type f | wc -l) seeds, largest $(find "$out/$target" -type f -printf '%s\n' | sort -n | tail -1) bytes"
done
