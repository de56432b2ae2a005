#!/usr/bin/env bash
# Installs every Debian package Orvelle needs to build, test and run.
# With --bench: the tools bench/compare-peers.sh and bench/whole-jobs.sh
# time against and with instead (the other image tools, hyperfine, jq,
# /usr/bin/time).
# Idempotent and quiet: packages already present are skipped without touching apt.
set -euo pipefail

PACKAGES=(
  build-essential g++ clang libclang-rt-dev clang-format clang-tidy cmake ninja-build pkg-config make
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  nlohmann-json3-dev libcli11-dev libssl-dev
  qt6-base-dev xvfb xauth
  pngcheck libjpeg-turbo-progs python3-pil
  pybind11-dev python3-dev python3-numpy python3-pytest python3-dask python3-distributed
)
if [ "${1:-}" = "--bench" ]; then
  PACKAGES=(imagemagick graphicsmagick libvips-tools hyperfine jq time util-linux)
elif [ $# -gt 0 ]; then
  echo "install-deps: unknown argument $1 (only --bench)" >&2; exit 2
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
