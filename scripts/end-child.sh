# Sourced by the scripts that start a child in the background (the manager simulator).
# end_child PID: SIGTERM, up to 10 seconds for it to end, then SIGKILL; reaped either way, so
# that no script waits on a child without a bound or leaves one behind holding its output.
end_child() {
  local pid=$1
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
