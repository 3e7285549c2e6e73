#!/usr/bin/env bash
# The Windows window under Wine, driven as an operator drives it: on a virtual X server, xdotool types the
# port into the port box and presses the buttons; window_probe.exe reads back what the windows show. The
# simulated logger's trace and state file say what went over the line and where the logger was left.
# Usage: window_e2e.sh WINDOWS_BIN_DIR WINDOWS_TESTS_DIR HOST_BIN_DIR OUT_DIR
# DISPLAY must name a running X server and WINEPREFIX an initialised 64-bit prefix; this script changes
# the prefix's COM links and registry. OUT_DIR keeps the screenshots (main-window-win32.png: the window
# mid-job with the time left) and, on failure, what was seen.
set -uo pipefail
win_bin=$(cd "$1" && pwd)
win_tests=$(cd "$2" && pwd)
host_bin=$(cd "$3" && pwd)
out=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?set WINEPREFIX to an initialised Wine prefix}"
: "${DISPLAY:?set DISPLAY to a running X server}"
export WINEDEBUG=${WINEDEBUG:--all}
exe="$win_bin/vantrel-update.exe"
mkdir -p "$out"

work=$(mktemp -d)
sims=()
links=()
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for link in "${links[@]}"; do rm -f "$link"; done
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../support/e2e_check.sh"

wineserver -k >/dev/null 2>&1
wineserver -p >/dev/null 2>&1
# Operator mode and no listed ports: the port box starts empty and the operator types the port.
wine reg delete 'HKCU\Software\Velmora' /f >/dev/null 2>&1
wine reg delete 'HKLM\Hardware\DeviceMap\SerialComm' /f >/dev/null 2>&1
# Every program in a desktop of Wine's own, which draws the windows' frames as Windows does (a bare X
# server has no window manager to draw them); its screen coordinates are the X server's.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Vantrel /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Vantrel /d 1280x1024 /f >/dev/null

# Starts a simulated logger linked as COM port $1 of the prefix, tracing to $work/$1.trace and keeping its
# flash in $work/$1.state; sets $sim.
start_sim() {
  local com=$1
  shift
  local port="$work/$com.out"
  "$host_bin/vantrel-sim" --trace --state "$work/$com.state" "$@" >"$port" 2>"$work/$com.trace" &
  sim=$!
  sims+=("$sim")
  for _ in $(seq 100); do [ -s "$port" ] && break; sleep 0.05; done
  local link
  link="$WINEPREFIX/dosdevices/$(echo "$com" | tr 'A-Z' 'a-z')"
  ln -sfn "$(head -n 1 "$port")" "$link"
  links+=("$link")
}
stop_sim() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

# What the program's windows show now, one line per window and control (see window_probe.cpp).
probe() { wine "$win_tests/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
# Waits until a line of what the windows show matches the extended regular expression; the last view is
# in $view either way.
wait_for() {
  local pattern=$1 tries=${2:-150}
  for _ in $(seq "$tries"); do
    view=$(probe list)
    grep -qE -- "$pattern" <<<"$view" && return 0
    sleep 0.2
  done
  return 1
}
shows() { grep -qE -- "$1" <<<"$view"; }
# Clicks the middle of the first control or window whose line matches (left part with $2 = left).
click() {
  local where
  where=$(grep -E -- "$1" <<<"$view" | head -n 1 | sed -E 's/.*rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+).*/\1 \2 \3 \4/')
  [ -n "$where" ] || { echo "    nothing to click: $1"; return 1; }
  read -r left top right bottom <<<"$where"
  local x=$(((left + right) / 2)) y=$(((top + bottom) / 2))
  [ "${2:-}" = left ] && x=$((left + 12))
  xdotool mousemove --sync "$x" "$y" click 1
}
# One verdict; on failure the view is kept for the log.
verdict() {
  local name=$1 ok=$2
  if [ "$ok" = 1 ]; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    sed 's/^/    /' <<<"$view" | grep -vE 'control (Static|ScrollBar)' | head -n 30
    app_running || echo "    (the program is not running)"
    import -window root "$out/failure-$passed-$failures.png" 2>/dev/null
    failures=$((failures + 1))
  fi
}

main_line='window VantrelMain '
status_bar='control msctls_statusbar32 '
update='control Button id=201 '
cancel='control Button id=203 '
close='control Button id=204 '
port_box='control ComboBox id=205 '
idle_pattern="${update}visible=1 enabled=1"

# The main window as the screen shows it, cut out of the whole screen, into $1.
screenshot() {
  import -window root "$work/screen.png" || return 1
  local left top right bottom
  read -r left top right bottom <<<"$(grep -E "$main_line" <<<"$view" | sed -E 's/.*rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+).*/\1 \2 \3 \4/')"
  convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$1"
}
# Keys, then what the windows show: one row per step, "KEYS|PATTERN[|TRIES]" (KEYS for xdotool key, or
# "type:TEXT" to type TEXT; PATTERN an extended regular expression a line of the view must match).
keyboard_steps() {
  local row keys pattern tries
  for row in "$@"; do
    IFS='|' read -r keys pattern tries <<<"$row"
    if [[ $keys == type:* ]]; then
      xdotool type --delay 40 "${keys#type:}"
    elif [ -n "$keys" ]; then
      # shellcheck disable=SC2086  # several keys, one word each
      xdotool key --clearmodifiers $keys
    fi
    wait_for "$pattern" "${tries:-50}" || { echo "    after keys '$keys': nothing matched $pattern"; return 1; }
  done
}

# Starts the program ($1: another copy of it), from its own folder.
start_app() {
  local program=${1:-$exe}
  (cd "$(dirname "$program")" && exec wine "$program") >/dev/null 2>&1 &
  app=$!
  wait_for "$main_line" 150
}
# Whether the program still runs.
app_running() { pgrep -f 'vantrel-update\.exe' >/dev/null; }
# Types $1 into the port box, as given, over whatever it held.
type_port() {
  view=$(probe list)
  click "$port_box" left || return 1
  xdotool key --clearmodifiers End shift+Home BackSpace
  xdotool type --delay 40 "$1"
}
# Presses Update and answers the question with Yes.
press_update() {
  view=$(probe list)
  click "$update" || return 1
  wait_for 'window #32770 .*text=Confirm' 50 || return 1
  shows 'control Button id=6 .*text=Yes' && shows 'control Button id=7 .*text=No' || return 1
  click 'control Button id=6 '
}
# Waits for the message window with text $1 (a regular expression), then presses its OK.
answer_message() {
  wait_for "control Edit .*text=$1" "${2:-300}" || return 1
  shows 'window VantrelMessage .*text=Information' || return 1
  click 'control Button id=1 .*text=OK' || return 1
  for _ in $(seq 50); do view=$(probe list); shows 'window VantrelMessage ' || return 0; sleep 0.2; done
  return 1
}

image=$(ls "$source_dir"/firmware/images/Vantrel_V1_06_PF15_PR19_BL3_0.txt)
# The operator's history: %LOCALAPPDATA%\vantrel\updates.log of the prefix's user.
history_lines() { find "$WINEPREFIX/drive_c/users" -path '*/vantrel/updates.log' -exec cat {} + 2>/dev/null | tr -d '\r'; }

# --- A whole update on a typed port whose name no single-byte code page holds: reported and opened as
# typed; the history has the job's line as soon as the verdict is shown, before it is answered.
port='COM€5'
# The logger takes longer than the simulator's default to start its bootloader (well within the updater's
# wait), so that the start text stays up longer than the probe takes to look (about half a second).
start_sim "$port" --bootloader-startup 800
full_sim=$sim
ok=1
start_app || ok=0
shows "${port_box}.*text= *\$" || true
type_port "$port" || { ok=0; echo "    the port could not be typed"; }
wait_for "${port_box}.*text=$port\$" 20 || { ok=0; echo "    the port box does not hold $port"; }
press_update || { ok=0; echo "    Update and its question failed"; }
wait_for "control msctls_statusbar32 .*text=Start at serial port \"$port\"" 50 || { ok=0; echo "    no start text"; }
wait_for 'control msctls_statusbar32 .*text=Update Vantrel' 100 || ok=0
wait_for 'control Edit .*text=Update Vantrel Base V1\.06 succesfully completed\.' 300 || ok=0
history_ok=1
history_lines | tail -n 1 | grep -F " port=$port " | grep -qF 'verdict="Update Vantrel Base V1.06 succesfully completed."' ||
  { history_ok=0; history_lines | tail -n 2 | sed 's/^/    history: /'; }
# The installer waits on the job marker: held while the verdict is unread, gone once it is dismissed.
probe marker
marker_while_shown=$?
answer_message 'Update Vantrel Base V1\.06 succesfully completed\.' || ok=0
probe marker
marker_after=$?
shows 'control msctls_statusbar32 .*text=Update Vantrel Base V1\.06 succesfully completed\.' || ok=0
shows "$idle_pattern" && shows "${close}visible=1" && shows "${cancel}visible=0" || ok=0
shows "${main_line}.*text=Vantrel Firmware Update\$" || ok=0
verdict "update on a typed $port ends idle with the success text" $ok
verdict "the job marker is held while the verdict is on screen, gone once dismissed" \
  "$([ "$marker_while_shown $marker_after" = "0 1" ] && echo 1 || echo 0)"
verdict "the history has the job's line, the port as typed, while the verdict is still shown" $history_ok

stop_sim "$full_sim"
trace="$work/$port.trace"
grep -v '=' "$image" | tr -d '\r' | grep -vx ':00000001FF' >"$work/records"
grep -F 'host->logger' "$trace" | grep -F '| record: data block' | awk '{print $3}' >"$work/sent"
last=$(tail -n 1 "$work/sent")
ok=1
[ "$(wc -l <"$work/sent")" = "$(wc -l <"$work/records")" ] || { echo "    $(wc -l <"$work/sent") records sent, $(wc -l <"$work/records") in the image"; ok=0; }
# Every record in file order, except the vector-table record, which goes last.
grep -F 'host->logger' "$trace" | grep -F '| record: data block' | tail -n 1 | grep -qF 'data block 0x03DF' || ok=0
diff -q <(grep -vxF "$last" "$work/records") <(head -n -1 "$work/sent") >/dev/null || ok=0
# Then the start request, after the last record.
tail_of_trace=$(grep -F 'host->logger' "$trace" | grep -F '| record:' | tail -n 2 | sed 's/.*| //')
grep -qF 'srStartApplication' <<<"$tail_of_trace" || ok=0
grep -qx 'application-valid 1' "$work/$port.state" || ok=0
view=$(tail -n 5 "$trace")
verdict "every record went over the line, the vector-table record last, then the start request" $ok

# --- A port that does not exist: the presenter's text names the typed port, the window is idle again.
ok=1
type_port COM7 || ok=0
press_update || ok=0
answer_message 'Aborted because serial port "COM7" is not ready!' || ok=0
shows "$idle_pattern" || ok=0
verdict "a typed port that does not exist" $ok

# --- Stray letters and a double click, as a hurried operator gives them: l, u and r without Alt on the
# focused Update do nothing (no question, the program still there); a double click on Update opens the
# question once and its second click answers nothing, so the question waits to be read; Escape is No.
ok=1
type_port COM7 || ok=0
xdotool key --clearmodifiers Tab
wait_for "${update}visible=1 enabled=1 focus=1" 20 || ok=0
xdotool key --clearmodifiers l u r
sleep 1
view=$(probe list)
app_running && shows "${update}visible=1 enabled=1 focus=1" && ! shows 'window #32770 ' || ok=0
verdict "l, u and r without Alt on the focused Update do nothing" $ok
ok=1
where=$(grep -E -- "$update" <<<"$view" | head -n 1 | sed -E 's/.*rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+).*/\1 \2 \3 \4/')
read -r left top right bottom <<<"$where"
xdotool mousemove --sync $(((left + right) / 2)) $(((top + bottom) / 2)) click --repeat 2 --delay 120 1
wait_for 'window #32770 .*text=Confirm' 50 || ok=0
sleep 1
view=$(probe list)
shows 'window #32770 .*text=Confirm' && ! shows 'window VantrelMessage ' || ok=0
[ "$(grep -cE 'window #32770 ' <<<"$view")" = 1 ] || ok=0
xdotool key --clearmodifiers Escape
wait_for "$idle_pattern" 50 || ok=0
sleep 0.5
view=$(probe list)
! shows 'window #32770 ' && ! shows 'window VantrelMessage ' || ok=0
verdict "a double click on Update leaves its question unanswered" $ok
# --- Cancel while the image goes over the line, from the keyboard alone: Tab to Update, Space, Enter
# for Yes, Space on Cancel, Enter for the verdict's OK. The logger stays in its bootloader, the window is
# idle with Update ready for the next Space.
start_sim COM6 --paced
cancel_sim=$sim
ok=1
type_port COM6 || ok=0
xdotool key --clearmodifiers Tab
wait_for "${update}visible=1 enabled=1 focus=1" 20 || ok=0
xdotool key --clearmodifiers space
wait_for 'window #32770 .*text=Confirm' 50 || ok=0
xdotool key --clearmodifiers Return
wait_for 'control msctls_statusbar32 .*text=Update Vantrel' 300 || ok=0
shows "${cancel}visible=1 enabled=1 focus=1" && shows "${update}visible=1 enabled=0" || ok=0
# The picture for the documentation: the image going over the line, the time it still needs at the right
# of the status bar (measured once a few records went).
if wait_for "${status_bar}.*parts=\"Update Vantrel[^|]*\|[0-9]+:[0-9]{2} left\"" 300; then
  screenshot "$out/main-window-win32.png"
else
  ok=0
fi
xdotool key --clearmodifiers space
wait_for 'control Edit .*text=Process cancelled!' 300 || ok=0
xdotool key --clearmodifiers Return
wait_for "${update}visible=1 enabled=1 focus=1" 50 || ok=0
shows "${cancel}visible=0" && ! shows 'window VantrelMessage ' || ok=0
verdict "cancel during programming, from the keyboard alone" $ok
stop_sim "$cancel_sim"
ok=1
grep -qx 'application-valid 0' "$work/COM6.state" || ok=0
grep -qF 'srStartApplication' "$work/COM6.trace" && ok=0
view=$(head -n 3 "$work/COM6.state")
verdict "the cancelled logger is left in its bootloader" $ok

# --- A whole update from the keyboard alone, as an operator without a pointer (or with a screen reader)
# does it: Shift+Tab from Update to the port box, its text cleared and the port typed, Tab to
# Update, Space, Enter for Yes, Enter on the verdict; then F10 and Enter open the Info menu, Enter its
# Firmware entry, and Enter closes the overview. What a screen reader is told is checked on the way: the
# names and roles of the controls, and no time left once the job ended.
start_sim COM4
keyboard_sim=$sim
ok=1
keyboard_steps \
  "shift+Tab|${port_box}visible=1 enabled=1 .*role=combo-box name=\"Comport:\"" \
  "End shift+Home BackSpace|${port_box}.*text=\$" \
  "type:COM4|${port_box}.*text=COM4\$" \
  "Tab|${update}visible=1 enabled=1 focus=1 .*role=push-button name=\"Update\"" \
  "space|window #32770 .*text=Confirm" \
  "Return|${cancel}visible=1 enabled=1 focus=1 .*role=push-button name=\"Cancel\"" \
  "|control Edit .*text=Update Vantrel Base V1\.06 succesfully completed\.|600" \
  "Return|${update}visible=1 enabled=1 focus=1" \
  "F10 Return|${update}visible=1 enabled=1 focus=1" \
  "Return|window VantrelOverview .*text=Overview" \
  "Return|${update}visible=1 enabled=1 focus=1" || ok=0
shows 'window VantrelOverview ' && ok=0
shows 'window VantrelMessage ' && ok=0
shows "${status_bar}.*parts=\"Update Vantrel Base V1\.06 succesfully completed\.\" " || ok=0
shows 'control msctls_progress32 .*role=progress-bar name="Progress"' || ok=0
shows "${close}visible=1 .*role=push-button name=\"Close\"" || ok=0
verdict "a whole update from the keyboard alone, the Info menu by F10, the names a screen reader reads" $ok
stop_sim "$keyboard_sim"
ok=1
grep -qx 'application-valid 1' "$work/COM4.state" || ok=0
grep -qF 'srStartApplication' "$work/COM4.trace" || ok=0
view=$(head -n 3 "$work/COM4.state")
verdict "the logger updated from the keyboard runs its new application" $ok

# --- The simulator gone in the middle of a job: a clear verdict, the window idle again.
start_sim COM8 --paced
ok=1
type_port COM8 || ok=0
press_update || ok=0
wait_for 'control msctls_statusbar32 .*text=Update Vantrel' 300 || ok=0
{ kill -KILL "$sim"; wait "$sim"; } 2>/dev/null
answer_message 'Aborted because (error when reading/writing to serial port|serial port "COM8" is not ready)!' 300 || ok=0
shows "$idle_pattern" || ok=0
verdict "the logger's port vanishing mid-job" $ok

# --- The close guard: No keeps the job, Yes cancels it and ends the program.
start_sim COM9 --paced
guard_sim=$sim
ok=1
type_port COM9 || ok=0
press_update || ok=0
wait_for "${cancel}visible=1" 100 || ok=0
probe close
wait_for 'control Static .*text=The update is not finished! *Do you really close the program \?' 50 || ok=0
click 'control Button id=7 ' || ok=0
sleep 1
view=$(probe list)
shows "${main_line}" && shows "${cancel}visible=1" && ! shows 'window #32770' || ok=0
probe close
wait_for 'control Static .*text=The update is not finished!' 50 || ok=0
click 'control Button id=6 ' || ok=0
ended=0
for _ in $(seq 300); do app_running || { ended=1; break; }; sleep 0.2; done
[ $ended = 1 ] || ok=0
verdict "closing during a job asks; No keeps it, Yes cancels it and ends the program" $ok
ok=1
history_lines | tail -n 1 | grep -F ' port=COM9 ' | grep -qF 'verdict="cancelled by closing; the logger is left in its bootloader' || ok=0
view=$(history_lines | tail -n 2)
verdict "the job ended by closing has its line in the history" $ok
stop_sim "$guard_sim"
ok=1
grep -qF 'srStartApplication' "$work/COM9.trace" && ok=0
grep -qx 'application-valid 0' "$work/COM9.state" || ok=0
view=$(head -n 3 "$work/COM9.state")
verdict "the program closed during a job left the logger in its bootloader" $ok

# --- Image files in a folder no single-byte code page can name, in internal mode with files: the file
# the dialog gives opens and is programmed; a file that cannot be read has its whole reason readable in
# the message window, which wraps it and scrolls.
wine reg add 'HKCU\Software\Velmora\Qel' /v intern /t REG_DWORD /d 7204 /f >/dev/null
folder="$work/Prüfung_固件"
mkdir -p "$folder"
cp "$exe" "$folder/"
cp "$image" "$folder/image.txt"
grep -v '^class=' "$image" >"$folder/badheader_missing_class.txt"
start_sim COM3
file_sim=$sim
ok=1
app_in_folder="$folder/$(basename "$exe")"
# f:+ is read from the program's command line.
(cd "$folder" && exec wine "$app_in_folder" f:+) >/dev/null 2>&1 &
app=$!
wait_for "$main_line" 150 || ok=0
type_port COM3 || ok=0
# Picks $1 in the open-file dialog, which opens in the program's folder.
pick_file() {
  view=$(probe list)
  click 'control Button id=202 ' || return 1
  wait_for 'window #32770 ' 50 || return 1
  sleep 0.5
  xdotool type --delay 40 "$1"
  xdotool key --clearmodifiers Return
}
pick_file image.txt || ok=0
answer_message 'Update Vantrel Base V1\.06 succesfully completed\.' 600 || ok=0
verdict "an image file in $(basename "$folder") is opened and programmed" $ok
stop_sim "$file_sim"
ok=1
pick_file badheader_missing_class.txt || ok=0
wait_for 'control Edit .*text=The image file cannot be read: .*Prüfung_固件.badheader_missing_class\.txt: ' 100 || ok=0
line=$(grep -E 'control Edit .*text=The image file cannot be read' <<<"$view" | head -n 1)
lines=$(sed -E 's/.* lines=([0-9]+) .*/\1/' <<<"$line")
grep -qE ' vscroll=1 ' <<<"$line" && [ "${lines:-0}" -ge 2 ] || ok=0
answer_message 'The image file cannot be read' 50 || ok=0
verdict "a file that cannot be read: the whole reason, wrapped and scrollable, names the file as it is" $ok
probe close
for _ in $(seq 50); do app_running || break; sleep 0.2; done
wine reg delete 'HKCU\Software\Velmora' /f >/dev/null 2>&1

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) of the window failed"
  exit 1
fi
echo "Windows window end-to-end checks passed"
