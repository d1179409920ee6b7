#!/usr/bin/env bash
# Installs the Debian packages this project builds, tests and benchmarks with.
# Idempotent: packages already present are not touched, and nothing is printed
# when everything is installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  libopencv-dev liblcms2-dev liblcms2-utils
  libtiff-dev libtiff-tools libjpeg62-turbo-dev libhpdf-dev zlib1g-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-liberation fonts-noto-cjk
  poppler-utils xdg-utils desktop-file-utils
  libvips-dev libvips-tools imagemagick
  python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
