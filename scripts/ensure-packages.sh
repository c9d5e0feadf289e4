#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# dpkg does not already report as installed. Sourced by test.sh and run.sh.
set -euo pipefail

TRAXEL_PACKAGES=(
  cmake ninja-build g++ pkg-config libudev-dev
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-dejavu-core locales
)

missing=()
for p in "${TRAXEL_PACKAGES[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
