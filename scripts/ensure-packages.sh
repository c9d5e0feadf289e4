#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# dpkg does not already report as installed. Sourced by test.sh and run.sh.
set -euo pipefail

TRAXEL_PACKAGES=(
  cmake ninja-build g++ lld pkg-config libudev-dev
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-dejavu-core locales
  # The program's window on X11: Qt's xcb platform plugin (in libqt6gui6)
  # and the X libraries it loads at run time.
  libqt6gui6 libx11-xcb1 libxkbcommon-x11-0 libxcb-icccm4 libxcb-image0 libxcb-keysyms1
  libxcb-randr0 libxcb-render-util0 libxcb-shape0 libxcb-sync1 libxcb-xfixes0 libxcb-xkb1
  # The real-window test: a virtual X server, a window manager that frames
  # the windows there, and tools to find and click the program's windows.
  xvfb xauth openbox xdotool x11-utils
  # Qt's own translations (qtbase_de.qm ...): standard buttons, the file
  # and print dialogs in the program's language.
  qt6-translations-l10n
  # The print tests read the PDFs they print: pdftoppm and pdftotext.
  poppler-utils
  # A general-purpose XML library, only as the yardstick of the session-file
  # benchmark (bench_shotfile); the build works without it.
  libpugixml-dev
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
