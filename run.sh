#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program from its
# runtime folder (its current directory there is its application folder).
#
#   ./run.sh            the program alone
#   ./run.sh --units N  first N simulated units (1-64), linked into the
#                       program's Ports folder; stopped when the program ends.
#                       Lines typed here go to them (shot 1, range 1, help).
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

# The units play trainees who shoot every few seconds; once programmed,
# stopped and left alone they go to the range (port away, ten shots stored,
# port back).
# This terminal's lines go to them as commands ("shot 1", "range 1",
# "status", "help").
sim_dir=$(mktemp -d)
sim_log="$sim_dir/log"
mkfifo "$sim_dir/commands"
exec 3<>"$sim_dir/commands"
./unitsim --units "$units" --shoot-every 4 --range 10 --stored 0:10 <&3 > "$sim_log" 2>&1 &
sim_pid=$!
app_pid=
tail_pid=
stop_all() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$tail_pid" ] && kill "$tail_pid" 2>/dev/null
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  exec 3>&-
  rm -rf "$sim_dir"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

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
# What unitsim says from now on (its answers to commands) shows here too.
tail -n +1 -f "$sim_log" &
tail_pid=$!

./TRAXEL ${args[@]+"${args[@]}"} &
app_pid=$!
# Forward lines until the program ends; at the end of input just wait.
while kill -0 "$app_pid" 2>/dev/null; do
  if IFS= read -r -t 1 line; then
    printf '%s\n' "$line" >&3
  elif [ $? -le 128 ]; then
    break
  fi
done
status=0
wait "$app_pid" || status=$?
app_pid=
exit "$status"
