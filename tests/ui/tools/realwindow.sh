#!/usr/bin/env bash
# The real-window test: starts an X server of its own (its display number
# chosen by the server, so runs side by side never race for one) with a
# window manager on it, starts the program there, waits until its start menu
# window is mapped, reports the program's resident memory and photographs
# the screen. Then it trains twice: "Set Shooting Training", Start, the tiled
# windows checked, One/Many pressed twice and checked again, the first viewer
# moved and the second resized as an operator would, both checked to stay put
# (first round only), the session closed from the panel. Last it clicks the
# menu's Close button and reports how the program ended. Every wait has a
# deadline.
#
# usage: realwindow.sh PROGRAM SCREENGRAB PICTURE CLOSE_X,CLOSE_Y TRAIN_X,TRAIN_Y
#                      START_RIGHT,START_BOTTOM SINGLE TILE...
# Points are window-relative; the setup screen's Start button is given by its
# distance from the window's bottom-right corner. Each TILE is NAME=X,Y,W,H:
# the frame (window manager's decoration included) that the window titled
# NAME must fill once the session's windows are laid out; SINGLE (X,Y,W,H)
# is the frame of the one viewer One/Many shows alone.
# The tiled session is photographed too, beside PICTURE as <name>_session.png.
# Output lines: WM=<name>, MENU=<window>, RSS_KB=<n>, GRAB=<exit code>,
# TILED<check>=ok|timeout with FRAME<check> <name>=X,Y,W,H <map state> lines
# after it, GRAB_SESSION=<exit code>, SINGLE=<title>|timeout,
# MOVED= and RESIZED=kept|unchanged|<frame now> put <frame put>, EXIT=<exit code>.
set -u
program=$1 grab=$2 picture=$3 close=$4 train=$5 start=$6 single=$7
shift 7
tiles=("$@")
export QT_QPA_PLATFORM=xcb

number_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
xserver=$!
wm=""
trap '[ -n "$wm" ] && kill "$wm" 2>/dev/null; kill "$xserver" 2>/dev/null; wait 2>/dev/null; rm -f "$number_file"' EXIT
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

# The window manager frames every window and says so on the root window.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 200); do  # 20 s
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
echo "WM=$( [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME 2>/dev/null | sed -n 's/.*= "\(.*\)"/\1/p')"

"$program" &
pid=$!

# The top-level window whose title is exactly $1 (mapped or not), or nothing.
window_named() {
  xdotool search --name "^$1\$" 2>/dev/null | head -n1
}

visible_named() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

start_menu() {
  local w
  for w in $(xdotool search --onlyvisible --name '^TRAXEL$' 2>/dev/null); do
    if xprop -id "$w" WM_WINDOW_ROLE 2>/dev/null | grep -q '"FormStartMenu"'; then
      echo "$w"
      return
    fi
  done
}

# The outer frame of window $1 as X,Y,W,H and its map state: the window's
# own rectangle on the screen widened by the decoration the window manager
# declares for it (_NET_FRAME_EXTENTS: left, right, top, bottom).
frame_of() {
  local info x y w h state l=0 r=0 t=0 b=0 extents
  info=$(xwininfo -id "$1" 2>/dev/null) || { echo "gone"; return; }
  x=$(sed -n 's/.*Absolute upper-left X: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  y=$(sed -n 's/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  w=$(sed -n 's/^ *Width: *\([0-9]*\).*/\1/p' <<<"$info")
  h=$(sed -n 's/^ *Height: *\([0-9]*\).*/\1/p' <<<"$info")
  state=$(sed -n 's/.*Map State: *\([A-Za-z]*\).*/\1/p' <<<"$info")
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
  if [ -n "$extents" ]; then
    IFS=, read -r l r t b <<<"$extents"
  fi
  echo "$((x - l)),$((y - t)),$((w + l + r)),$((h + t + b)) $state"
}

# True when every tile's window is mapped and its frame is the tile.
tiled() {
  local tile name rect w
  for tile in "${tiles[@]}"; do
    name=${tile%%=*} rect=${tile#*=}
    w=$(window_named "$name")
    [ -n "$w" ] || return 1
    [ "$(frame_of "$w")" = "$rect IsViewable" ] || return 1
  done
}

# Waits until the windows are tiled (30 s at most) and reports what it saw.
check_tiles() {
  local result=timeout tile name w
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    if tiled; then
      result=ok
      break
    fi
    sleep 0.1
  done
  echo "TILED$1=$result"
  for tile in "${tiles[@]}"; do
    name=${tile%%=*}
    w=$(window_named "$name")
    echo "FRAME$1 $name=$( [ -n "$w" ] && frame_of "$w" || echo missing)"
  done
}

# Waits until one viewer alone fills the area left of the panel (30 s at
# most) and reports it.
check_single() {
  local result=timeout rect n w
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    for n in 1 2 3 4 5 6 7 8 9; do
      w=$(window_named "Shooter Viewer $n")
      [ -n "$w" ] || continue
      rect=$(frame_of "$w")
      if [ "$rect" = "$single IsViewable" ]; then
        result="Shooter Viewer $n"
        break 2
      fi
    done
    sleep 0.1
  done
  echo "SINGLE=$result"
}

# The frame of window $1 once the window manager has carried out a change
# that takes it off frame $2: the same twice in a row (10 s at most), or
# "unchanged".
frame_after_change() {
  local now last=""
  for _ in $(seq 1 50); do
    now=$(frame_of "$1")
    if [ "$now" != "$2 IsViewable" ] && [ "$now" = "$last" ]; then
      echo "${now% *}"
      return
    fi
    last=$now
    sleep 0.2
  done
  echo "unchanged"
}

# The operator moves viewer 1 and resizes viewer 2 (the window manager
# carries it out), then each is raised over the other, so both are exposed
# again. Past the placement's second look (500 ms after a window is shown)
# and after those exposes, each must stay where it was put.
check_kept() {
  local one two tile1 tile2 put1 put2 now
  one=$(window_named "Shooter Viewer 1") two=$(window_named "Shooter Viewer 2")
  tile1=${tiles[0]#*=} tile2=${tiles[1]#*=}
  xdotool windowmove "$one" 60 40 2>/dev/null
  xdotool windowsize "$two" 300 400 2>/dev/null
  put1=$(frame_after_change "$one" "$tile1")
  put2=$(frame_after_change "$two" "$tile2")
  sleep 1.5
  xdotool windowraise "$two" 2>/dev/null
  sleep 0.5
  xdotool windowraise "$one" 2>/dev/null
  sleep 1.5
  now=$(frame_of "$one")
  echo "MOVED=$( [ "$put1" != unchanged ] && [ "$now" = "$put1 IsViewable" ] && echo kept || echo "$now put $put1")"
  now=$(frame_of "$two")
  echo "RESIZED=$( [ "$put2" != unchanged ] && [ "$now" = "$put2 IsViewable" ] && echo kept || echo "$now put $put2")"
}

click_at() {  # window x y
  xdotool mousemove --window "$1" "$2" "$3" click 1 2>/dev/null
}

# The centre of the control panel's slot $1 (five rows down its client area).
click_panel_slot() {
  local panel size w h
  panel=$(visible_named Control)
  [ -n "$panel" ] || return 1
  size=$(xdotool getwindowgeometry "$panel" 2>/dev/null | sed -n 's/.*Geometry: *//p')
  w=${size%x*} h=${size#*x}
  click_at "$panel" $((w / 2)) $((h / 5 * $1 + h / 10))
}

# "Set Shooting Training" on the menu, then Start on the setup screen until
# the session's viewers come. A click that went astray is given again: the
# menu's while the setup screen is not up, Start every 2 s while no viewer
# is (Start stays disabled while the units are programmed).
start_training() {
  local menu=$1 setup size w h
  for _ in $(seq 1 30); do  # 60 s at most
    kill -0 "$pid" 2>/dev/null || return
    [ -n "$(visible_named 'Shooter Viewer 1')" ] && return
    setup=$(visible_named 'Training Setup')
    if [ -n "$setup" ]; then
      size=$(xdotool getwindowgeometry "$setup" 2>/dev/null | sed -n 's/.*Geometry: *//p')
      w=${size%x*} h=${size#*x}
      click_at "$setup" $((w - ${start%,*})) $((h - ${start#*,}))
    elif [ -n "$(start_menu)" ]; then
      click_at "$menu" "${train%,*}" "${train#*,}"
    fi
    for _ in $(seq 1 20); do
      [ -n "$(visible_named 'Shooter Viewer 1')" ] && return
      [ -z "$setup" ] && [ -n "$(visible_named 'Training Setup')" ] && break
      sleep 0.1
    done
  done
}

# Close Session on the panel until the start menu is back (no shots were
# taken: no question).
close_session() {
  menu=""
  for _ in $(seq 1 60); do  # 60 s
    kill -0 "$pid" 2>/dev/null || return
    menu=$(start_menu)
    [ -n "$menu" ] && return
    click_panel_slot 4
    for _ in $(seq 1 10); do
      menu=$(start_menu)
      [ -n "$menu" ] && return
      sleep 0.1
    done
  done
}

wait_for_menu() {
  menu=""
  for _ in $(seq 1 600); do  # 60 s
    kill -0 "$pid" 2>/dev/null || break
    menu=$(start_menu)
    [ -n "$menu" ] && break
    sleep 0.1
  done
}

wait_for_menu
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

# Round 1: train, check the tiles, one viewer and all again, check again.
start_training "$menu"
check_tiles 1
"$grab" "${picture%.png}_session.png"
echo "GRAB_SESSION=$?"
# The default list's first setup is a silhouette: a dynamic training, whose
# panel holds One/Many at the top.
click_panel_slot 0
check_single
click_panel_slot 0
check_tiles 2
check_kept
# Round 2: a new session after closing the first.
close_session
[ -n "$menu" ] && start_training "$menu"
check_tiles 3
close_session

[ -n "$menu" ] && click_at "$menu" "${close%,*}" "${close#*,}"
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
