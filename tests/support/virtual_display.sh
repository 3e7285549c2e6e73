# A virtual X server for a test's windows: sourced, then start_virtual_display WORK_DIR [SCREEN].
# It sets and exports DISPLAY and sets virtual_display_pid (the caller stops it); its log is
# WORK_DIR/xvfb.log. Returns 1, with the server's log on standard output, when no display could be had.
#
# The number is one no server on this machine uses, from 100 on: not the low numbers a desktop or a
# container's host may hold, where an X socket directory shared from outside or a server seen only
# through its abstract socket could answer in place of ours. A display counts as ours only once a client
# has connected to it.

# Whether a client gets a connection to display $1 (libxcb through Python; where either is missing the
# socket alone has to do).
virtual_display_answers() {
  /usr/bin/python3 - "$1" 2>/dev/null <<'EOF'
import ctypes, sys
try:
    xcb = ctypes.CDLL("libxcb.so.1")
except OSError:
    sys.exit(0)
xcb.xcb_connect.restype = ctypes.c_void_p
xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
connection = xcb.xcb_connect(sys.argv[1].encode(), None)
error = xcb.xcb_connection_has_error(connection)
xcb.xcb_disconnect(connection)
sys.exit(1 if error else 0)
EOF
  local status=$?
  [ $status = 127 ] && return 0
  return $status
}

virtual_display_in_use() {
  [ -e "/tmp/.X$1-lock" ] || [ -e "/tmp/.X11-unix/X$1" ] || grep -q "@/tmp/.X11-unix/X$1\$" /proc/net/unix 2>/dev/null
}

start_virtual_display() {
  local work=$1 screen=${2:-1280x1024x24} number tries=0
  virtual_display_pid=''
  for ((number = 100 + RANDOM % 400; tries < 20; number++, tries++)); do
    virtual_display_in_use "$number" && continue
    # -noreset: a server that resets when its last client goes would drop what a test has set up.
    Xvfb ":$number" -screen 0 "$screen" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    virtual_display_pid=$!
    for _ in $(seq 300); do
      [ -S "/tmp/.X11-unix/X$number" ] && break
      kill -0 "$virtual_display_pid" 2>/dev/null || break
      sleep 0.05
    done
    # Another server may have taken the number meanwhile: Xvfb then ends, and the next one is tried.
    if kill -0 "$virtual_display_pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$number" ] &&
      virtual_display_answers ":$number"; then
      export DISPLAY=":$number"
      return 0
    fi
    kill "$virtual_display_pid" 2>/dev/null
    wait "$virtual_display_pid" 2>/dev/null
    virtual_display_pid=''
  done
  echo "no virtual X display could be started; the last server's log:"
  cat "$work/xvfb.log" 2>/dev/null
  return 1
}
