#!/usr/bin/env bash
# Takes the README's picture of the desktop program: starts it on a virtual
# display, generates a batch with the default options and a fixed seed, and
# saves the main window as docs/screenshot.png (or the file given).
#   scripts/screenshot.sh [build-folder] [output.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/screenshot.png}
program="$build/app/orvelle"
if [ ! -x "$program" ]; then
  echo "No desktop program at $program; build it first (cmake --build $build --target orvelle)." >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is needed (Debian package xvfb)." >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
# The hidden --screenshot hook types seed 1, presses Generate, waits for the
# batch, selects the first texture, saves the window and quits without
# touching the settings file or the stock.
xvfb-run -a -s "-screen 0 1280x800x24" "$program" --screenshot "$out"
echo "Saved $out"
