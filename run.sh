#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program from its
# runtime folder (its current directory there is its application folder).
#
#   ./run.sh            the program alone
#   ./run.sh --units N  first N simulated units (1-64), linked into the
#                       program's Ports folder; stopped when the program ends
#
# Other arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"

units=0
args=()
while [ "$#" -gt 0 ]; do
  case "$1" in
    --units)
      units=${2:-}
      shift 2 || { echo "--units needs a number (1-64)" >&2; exit 2; }
      ;;
    --units=*)
      units=${1#--units=}
      shift
      ;;
    *)
      args+=("$1")
      shift
      ;;
  esac
done
if ! [[ "$units" =~ ^[0-9]+$ ]] || [ "$units" -gt 64 ]; then
  echo "--units needs a number (1-64), not \"$units\"" >&2
  exit 2
fi

source scripts/ensure-packages.sh

BUILD_DIR=${TRAXEL_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "TRAXEL needs a display and none is set (DISPLAY is empty): run it from a desktop session."
  exit 1
fi

cd "$BUILD_DIR/runtime"
if [ "$units" -eq 0 ]; then
  exec ./TRAXEL ${args[@]+"${args[@]}"}
fi

sim_log=$(mktemp)
./unitsim --units "$units" < /dev/null > "$sim_log" 2>&1 &
sim_pid=$!
stop_units() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$sim_log"
}
trap stop_units EXIT

# The units are linked once unitsim has listed them all.
for _ in $(seq 1 100); do
  [ "$(grep -c '^unit ' "$sim_log")" -ge "$units" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$(grep -c '^unit ' "$sim_log")" -lt "$units" ]; then
  echo "The simulated units did not start:" >&2
  cat "$sim_log" >&2
  exit 1
fi
cat "$sim_log"
./TRAXEL ${args[@]+"${args[@]}"}
