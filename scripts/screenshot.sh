#!/usr/bin/env bash
# Takes the README's pictures of the desktop program: starts it on a virtual
# display, generates a batch with the default options and a fixed seed, and
# saves the main window as docs/screenshot.png (or the file given), then the
# same batch with the recipe editor beside it as docs/editor.png (or the
# second file given).
#   scripts/screenshot.sh [build-folder] [output.png] [editor.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/screenshot.png}
editor=${3:-$root/docs/editor.png}
program="$build/app/orvelle"
if [ ! -x "$program" ]; then
  echo "No desktop program at $program; build it first (cmake --build $build --target orvelle)." >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is needed (Debian package xvfb)." >&2
  exit 1
fi
mkdir -p "$(dirname "$out")" "$(dirname "$editor")"
# The hidden --screenshot hook types seed 1, presses Generate, waits for the
# batch, selects the first texture, saves the window and quits without
# touching the settings file or the stock.
xvfb-run -a -s "-screen 0 1280x800x24" "$program" --screenshot "$out"
echo "Saved $out"
# --screenshot-editor: the same, with the fourth texture selected and the
# recipe editor open on its cloud.
xvfb-run -a -s "-screen 0 1600x900x24" "$program" --screenshot-editor "$editor"
echo "Saved $editor"
