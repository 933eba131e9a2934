#!/bin/sh
# Rebuilds app/quenbrix.ico: the hand-drawn 16, 24, 32, 48 and 64 px images
# it holds are kept as they are; the 20, 40 and 256 px ones (Windows at 125 %
# scale, Explorer's large views) are drawn here from the same design and
# scaled down by area averaging. The 256 px image is stored PNG-compressed.
# Needs ImageMagick (scripts/setup.sh installs it). Running it again gives
# the same file.
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
icon="$root/app/quenbrix.ico"
# ImageMagick 6 where Debian installs it, else whatever convert is on the path.
convert=convert
[ -x /usr/bin/convert ] && convert=/usr/bin/convert
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The kept images, found by their size whatever else the file holds.
i=0
for size in $(identify -format '%w\n' "$icon"); do
  case "$size" in
    16|24|32|48|64) "$convert" "$icon[$i]" "PNG32:$work/$size.png" ;;
  esac
  i=$((i + 1))
done
for size in 16 24 32 48 64; do
  [ -f "$work/$size.png" ] || { echo "make_icon.sh: no ${size} px image in $icon" >&2; exit 1; }
done

# The design on a 64-unit grid, drawn 16 times larger than the image it
# becomes: a blue rounded square with a dark rim, three white lines and an
# orange arrow head. The lines fall on whole pixels of the image (same
# height, same spacing), so they stay sharp at small sizes.
draw() {
  size=$1
  big=$((size * 16))
  line=$(( (7 * size + 32) / 64 ))     # line height in image pixels
  pitch=$(( (14 * size + 32) / 64 ))   # from one line to the next
  top=$(( size / 2 - pitch - (line + 1) / 2 ))
  left=$(( (11 * size + 32) / 64 ))
  right=$(( (37 * size + 32) / 64 ))
  set --
  for n in 0 1 2; do
    y=$(( (top + n * pitch) * 16 ))
    set -- "$@" -draw "rectangle $((left * 16)),$y $((right * 16 - 1)),$((y + line * 16 - 1))"
  done
  "$convert" -size ${big}x${big} xc:none \
    -fill '#1F5FAE' -stroke '#123E73' -strokewidth $((big / 32)) \
    -draw "roundrectangle $((big * 5 / 128)),$((big * 5 / 128)) $((big * 123 / 128)),$((big * 123 / 128)) $((big * 9 / 64)),$((big * 9 / 64))" \
    -stroke none -fill white "$@" \
    -fill '#FFB02E' -stroke '#B86E00' -strokewidth $((big * 21 / 1024)) \
    -draw "stroke-linejoin round polygon $((big * 81 / 128)),$((big * 33 / 128)) $((big * 111 / 128)),$((big / 2)) $((big * 81 / 128)),$((big * 95 / 128))" \
    -filter Box -resize ${size}x${size} "PNG32:$work/$size.png"
}
for size in 20 40 256; do draw $size; done

# Smallest first; ImageMagick stores 256 px entries as PNG, the others as
# 32-bit bitmaps with alpha.
"$convert" "$work/16.png" "$work/20.png" "$work/24.png" "$work/32.png" "$work/40.png" "$work/48.png" \
  "$work/64.png" "$work/256.png" "$work/quenbrix.ico"
mv "$work/quenbrix.ico" "$icon"
identify -format '%wx%h ' "$icon"
echo
