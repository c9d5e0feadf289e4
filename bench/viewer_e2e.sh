#!/usr/bin/env bash
# The built program end to end on a virtual X server: eight simulated units
# that shoot on their own (each about every 4 s: a shot every 500 ms in all),
# a classic training on the shipped 10 m air rifle setup started from the
# start menu as an operator would (the viewers draw the live point), then
# the program's CPU (from /proc/<pid>/stat, all threads and the GUI thread
# alone) and resident memory over the run, and memory per shot: the slope of
# resident memory over the shots sent, from a sample every 5 s (the default
# run sends about 320 shots; a few dozen shots say little, as the heap grows
# in steps).
#
#   bench/viewer_e2e.sh [SECONDS] [BUILD_DIR]      (default 160 s, build/)
#   VIEWER_E2E_PERF=/tmp/e2e.data bench/viewer_e2e.sh   also records a profile
#   VIEWER_E2E_HEAPTRACK=/tmp/e2e bench/viewer_e2e.sh   and the allocations
#   VIEWER_E2E_SHOOT_EVERY=0 bench/viewer_e2e.sh         streaming only (default 4 s a unit)
#
# Needs xvfb-run, xdotool and xprop, and a built TRAXEL, unitsim and
# bench_viewer_e2e_layout. Uses a scratch data folder; touches nothing else.
set -euo pipefail
seconds=${1:-160}
build=$(cd "${2:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${VIEWER_E2E_INNER:-}" ]; then
  export VIEWER_E2E_INNER=1
  exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$here/viewer_e2e.sh" "$seconds" "$build"
fi

export QT_QPA_PLATFORM=xcb
scratch=$(mktemp -d)
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
  XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
data="$XDG_DATA_HOME/Tavrik/TRAXEL"
mkdir -p "$data/Shot files" "$data/Setups" "$data/Ports"
# Measuring starts as soon as the units are programmed.
cat > "$data/TRAXEL.settings.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<TRAXELAppSettings>
 <Options>
  <StartAutomatically>true</StartAutomatically>
 </Options>
</TRAXELAppSettings>
XML

sim_pid= app_pid=
finish() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "${VIEWER_E2E_HEAPTRACK:-}" ] && sleep 3
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT

mkfifo "$scratch/commands"
exec 3<>"$scratch/commands"
"$build/runtime/unitsim" --units 8 --shoot-every "${VIEWER_E2E_SHOOT_EVERY:-4}" --seed 1 --ports-dir "$data/Ports" <&3 >> "$scratch/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
  [ "$(grep -c '^unit ' "$scratch/sim.log")" -ge 8 ] && break
  sleep 0.1
done

"$build/bench/bench_viewer_e2e_layout" > "$scratch/layout" 2>/dev/null
read -r _ classic_x classic_y < <(grep '^BitBtnClassicTraining ' "$scratch/layout")
read -r _ start_x start_y < <(grep '^ButtonStart ' "$scratch/layout")
read -r _ row_x row_y < <(grep '^RingSetupRow ' "$scratch/layout")

cd "$build/runtime"
# The process named $2 among pid $1 and its descendants: this script's own
# program, never another one of that name on the machine.
own_process() {
  local child found
  if [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ]; then
    echo "$1"
    return
  fi
  for child in $(pgrep -P "$1" 2>/dev/null); do
    found=$(own_process "$child" "$2")
    [ -n "$found" ] && { echo "$found"; return; }
  done
}
if [ -n "${VIEWER_E2E_HEAPTRACK:-}" ]; then
  # Every allocation: VIEWER_E2E_HEAPTRACK=/tmp/e2e writes /tmp/e2e.zst.
  heaptrack -o "$VIEWER_E2E_HEAPTRACK" ./TRAXEL > "$scratch/app.log" 2>&1 &
  tracer_pid=$!
  for _ in $(seq 1 100); do
    app_pid=$(own_process "$tracer_pid" TRAXEL)
    [ -n "$app_pid" ] && break
    sleep 0.1
  done
  [ -n "$app_pid" ] || { echo "the program did not start under heaptrack" >&2; exit 1; }
else
  ./TRAXEL > "$scratch/app.log" 2>&1 &
  app_pid=$!
fi

window_with_role() {
  local w
  for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    if xprop -id "$w" WM_WINDOW_ROLE 2>/dev/null | grep -q "\"$2\""; then
      echo "$w"
      return
    fi
  done
}
wait_for() { # name role seconds
  local w=""
  for _ in $(seq 1 $(($3 * 10))); do
    w=$(window_with_role "$1" "$2")
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}
viewers() { xdotool search --onlyvisible --name '^Shooter Viewer [0-9]+$' 2>/dev/null | wc -l; }

menu=$(wait_for '^TRAXEL$' FormStartMenu 60)
[ -n "$menu" ] || { echo "the start menu never appeared" >&2; cat "$scratch/app.log" >&2; exit 1; }
sleep 1
xdotool mousemove --window "$menu" "$classic_x" "$classic_y" click 1
select=""
for _ in $(seq 1 100); do
  select=$(xdotool search --onlyvisible --name '^Training Setup$' 2>/dev/null | head -1)
  [ -n "$select" ] && break
  sleep 0.1
done
[ -n "$select" ] || { echo "the setup selector never appeared" >&2; exit 1; }
sleep 0.5
xdotool mousemove --window "$select" "$row_x" "$row_y" click 1
sleep 0.3
xdotool mousemove --window "$select" "$start_x" "$start_y" click 1
for _ in $(seq 1 300); do
  [ "$(viewers)" -ge 8 ] && break
  sleep 0.1
done
[ "$(viewers)" -ge 8 ] || { echo "only $(viewers) viewers opened" >&2; exit 1; }

# CPU ticks (utime + stime) of the process and of its GUI (main) thread.
ticks() { awk '{ print $14 + $15 }' "$1"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status"; }
hz=$(getconf CLK_TCK)

sleep 3 # the first shots, the strip and the fonts warmed up
sent() { # shot results the units sent so far
  : > "$scratch/sim.log"
  printf 'status\n' >&3
  sleep 0.3
  awk '/ shots sent$/ { s += $(NF - 2) } END { print s + 0 }' "$scratch/sim.log"
}
shots0=$(sent)
rss0=$(rss_kb)
p0=$(ticks "/proc/$app_pid/stat")
g0=$(ticks "/proc/$app_pid/task/$app_pid/stat")
t0=$(date +%s.%N)
perf_pid=
if [ -n "${VIEWER_E2E_PERF:-}" ]; then
  # A profile of the measured window: VIEWER_E2E_PERF=file.data
  perf record --call-graph dwarf,16384 -F 300 -o "$VIEWER_E2E_PERF" -p "$app_pid" -- sleep "$seconds" > /dev/null 2>&1 &
  perf_pid=$!
fi
# "shots rss_kb" every 5 s for the slope.
echo "$shots0 $rss0" > "$scratch/memory"
end=$(( $(date +%s) + seconds ))
while [ "$(date +%s)" -lt "$end" ]; do
  sleep $(( end - $(date +%s) < 5 ? end - $(date +%s) : 5 )) 2>/dev/null || true
  echo "$(sent) $(rss_kb)" >> "$scratch/memory"
done
[ -n "$perf_pid" ] && wait "$perf_pid" 2>/dev/null || true
p1=$(ticks "/proc/$app_pid/stat")
g1=$(ticks "/proc/$app_pid/task/$app_pid/stat")
t1=$(date +%s.%N)
rss1=$(rss_kb)
shots1=$(sent)

awk -v p0="$p0" -v p1="$p1" -v g0="$g0" -v g1="$g1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
    -v r0="$rss0" -v r1="$rss1" -v s0="$shots0" -v s1="$shots1" '
{ n++; sx += $1; sy += $2; sxx += $1 * $1; sxy += $1 * $2 }
END {
  wall = t1 - t0; shots = s1 - s0
  printf "viewers 8, %.0f s, shots %d (one every %.0f ms)\n", wall, shots, (shots > 0 ? wall * 1000 / shots : 0)
  printf "CPU: program %.1f %% of one core, GUI thread %.1f %%\n", (p1 - p0) / hz / wall * 100, (g1 - g0) / hz / wall * 100
  d = n * sxx - sx * sx
  printf "RSS: %.1f MB -> %.1f MB, %.1f KB per shot (slope over %d samples)\n", r0 / 1024, r1 / 1024, \
    (d > 0 ? (n * sxy - sx * sy) / d : 0), n
  if (shots < 300) printf "(fewer than 300 shots: the figure per shot is rough)\n"
}' "$scratch/memory"
