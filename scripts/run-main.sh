#!/usr/bin/env bash
# Runs the main job as far as it exists: the desktop program, else the
# command-line tool's demo, else a summary of what is built.
set -euo pipefail
BUILD=${1:-build}
if [ -x "$BUILD/app/orvelle" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$BUILD/app/orvelle"
  fi
  echo "No display found. To run the desktop program without one: xvfb-run -a $BUILD/app/orvelle"
  echo "Running the command-line demo instead."
fi
if [ -x "$BUILD/cli/orvelle-cli" ]; then
  out=$(mktemp -d /tmp/orvelle-demo.XXXXXX)
  if "$BUILD/cli/orvelle-cli" generate --help >/dev/null 2>&1; then
    "$BUILD/cli/orvelle-cli" generate -n 12 --seed 1 -o "$out"
    echo "Demo textures written to $out"
  else
    "$BUILD/cli/orvelle-cli" effects
  fi
  exit 0
fi
echo "Built so far:"
for lib in "$BUILD"/*/liborvelle_*.a; do [ -e "$lib" ] && echo "  $(basename "$lib")"; done
echo "No program to run yet; 'make test' runs the test suites."
