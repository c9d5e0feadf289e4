#!/usr/bin/env bash
# The real-window test: starts an X server of its own (its display number
# chosen by the server, so runs side by side never race for one), starts the
# program on it, waits until its start menu window is mapped, reports the program's
# resident memory, photographs the screen, clicks the menu's Close button and
# reports how the program ended. Every wait has a deadline.
#
# usage: realwindow.sh PROGRAM SCREENGRAB PICTURE CLOSE_X CLOSE_Y
# Output lines: MENU=<window>, RSS_KB=<n>, GRAB=<exit code>, EXIT=<exit code>.
set -u
program=$1 grab=$2 picture=$3 close_x=$4 close_y=$5
export QT_QPA_PLATFORM=xcb

number_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
xserver=$!
trap 'kill "$xserver" 2>/dev/null; wait "$xserver" 2>/dev/null; rm -f "$number_file"' EXIT
for _ in $(seq 1 300); do  # 30 s; the number is written once the server is ready
  [ -s "$number_file" ] && break
  kill -0 "$xserver" 2>/dev/null || break
  sleep 0.1
done
if ! [ -s "$number_file" ]; then
  echo "XSERVER=failed"
  exit 0
fi
export DISPLAY=":$(head -n1 "$number_file")"

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
