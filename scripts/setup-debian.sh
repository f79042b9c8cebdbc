#!/usr/bin/env bash
# Installs the Debian 12 packages the driver, its tests and its tools need;
# with the argument "fuzz" also clang and its libFuzzer runtime for
# scripts/run-fuzz.sh. Packages already present are not fetched again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libboost-dev nlohmann-json3-dev libcli11-dev libpng-dev libyuv-dev
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # cvlhost's manual page; dpkg-shlibdeps for the Debian package; the format check
  help2man dpkg-dev clang-format
)
# Real cameras: Aravis 0.8 (GenICam; pkg-config needs libusb-1.0-0-dev too).
packages+=(libaravis-dev libusb-1.0-0-dev)
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
