# Sourced by the measurement scripts: a private X server for the program's
# window. start_x_display starts Xvfb on a free display, exports DISPLAY and
# keeps the server's process id in xvfb_pid for the caller's clean-up.
start_x_display() {
  exec 3<> <(:)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
  xvfb_pid=$!
  local display
  read -r -t 10 display <&3
  exec 3<&-
  export DISPLAY=:$display
}
