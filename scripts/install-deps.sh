#!/usr/bin/env bash
# Installs every Debian package Orvelle needs to build, test and run.
# Idempotent and quiet: packages already present are skipped without touching apt.
set -euo pipefail

PACKAGES=(
  build-essential g++ clang libclang-rt-dev cmake ninja-build pkg-config make
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  nlohmann-json3-dev libcli11-dev libssl-dev
  qt6-base-dev xvfb xauth
  pngcheck libjpeg-turbo-progs python3-pil
)

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
