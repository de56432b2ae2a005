#!/usr/bin/env bash
# Makes the README's picture of a texture beside its height and normal maps,
# each tiled 2 x 2 so that the seams show if there were any:
#   scripts/maps-picture.sh [build-folder] [output.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/maps.png}
cli="$build/cli/orvelle-cli"
[ -x "$cli" ] || { echo "No orvelle-cli at $cli; build it first." >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The fourth texture of this batch, rendered again twice as large with its maps.
"$cli" generate -n 4 --seed 77 --size 96x96 -o "$work" 2>/dev/null
"$cli" render "$work/texture-0004.png" --scale 2 "$work/texture.png"
"$cli" maps "$work/texture-0004.png" --scale 2 --strength 4 --height "$work/height.png" --normal "$work/normal.png"
for f in texture height normal; do
  "$cli" tile "$work/$f.png" "$work/$f-tiled.png" --rows 2 --cols 2
done
mkdir -p "$(dirname "$out")"
/usr/bin/python3 - "$work" "$out" <<'PY'
import sys
from PIL import Image, ImageDraw
work, out = sys.argv[1], sys.argv[2]
names = [("texture", "texture"), ("height", "height map"), ("normal", "normal map")]
tiles = [Image.open(f"{work}/{n}-tiled.png").convert("RGB") for n, _ in names]
w, h, gap, label = tiles[0].width, tiles[0].height, 12, 22
sheet = Image.new("RGB", (3 * w + 4 * gap, h + 2 * gap + label), "white")
draw = ImageDraw.Draw(sheet)
for i, (tile, (_, caption)) in enumerate(zip(tiles, names)):
    x = gap + i * (w + gap)
    sheet.paste(tile, (x, gap))
    draw.text((x, gap + h + 4), caption + " (2 x 2)", fill="black")
sheet.save(out)
PY
echo "Saved $out"
