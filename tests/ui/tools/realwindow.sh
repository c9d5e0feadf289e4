#!/usr/bin/env bash
# Runs inside xvfb-run for the real-window test: starts the program on the X
# server, waits until its start menu window is mapped, reports the program's
# resident memory, photographs the screen, clicks the menu's Close button and
# reports how the program ended. Every wait has a deadline.
#
# usage: realwindow.sh PROGRAM SCREENGRAB PICTURE CLOSE_X CLOSE_Y
# Output lines: MENU=<window>, RSS_KB=<n>, GRAB=<exit code>, EXIT=<exit code>.
set -u
program=$1 grab=$2 picture=$3 close_x=$4 close_y=$5
export QT_QPA_PLATFORM=xcb

"$program" &
pid=$!

start_menu() {
  local w
  for w in $(xdotool search --onlyvisible --name '^TRAXEL$' 2>/dev/null); do
    if xprop -id "$w" WM_WINDOW_ROLE 2>/dev/null | grep -q '"FormStartMenu"'; then
      echo "$w"
      return
    fi
  done
}

menu=""
for _ in $(seq 1 600); do  # 60 s
  kill -0 "$pid" 2>/dev/null || break
  menu=$(start_menu)
  [ -n "$menu" ] && break
  sleep 0.1
done

if [ -z "$menu" ]; then
  echo "MENU="
  kill -9 "$pid" 2>/dev/null
  wait "$pid"
  echo "EXIT=$?"
  exit 0
fi
echo "MENU=$menu"
echo "RSS_KB=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")"
"$grab" "$picture"
echo "GRAB=$?"

xdotool mousemove --window "$menu" "$close_x" "$close_y" click 1
for _ in $(seq 1 300); do  # 30 s
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "STILL_RUNNING"
  kill -9 "$pid"
fi
wait "$pid"
echo "EXIT=$?"
