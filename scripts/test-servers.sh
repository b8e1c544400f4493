# Starting and stopping the test servers from a script; sourced, not run.
# The caller sets WORK (a scratch folder) and SERVER_PIDS=() and calls stop_test_servers when it
# ends (from its EXIT trap).

# Starts a test server whose standard input is held open on file descriptor $1 (closing it stops
# the server); prints its port.
start_test_server() {
  local fd=$1 name=$2
  shift 2
  mkfifo "$WORK/$name.in"
  python3 "$@" <"$WORK/$name.in" >"$WORK/$name.out" 2>"$WORK/$name.log" &
  SERVER_PIDS+=($!)
  eval "exec $fd>\"\$WORK/\$name.in\""
  for _ in $(seq 100); do
    if [ -s "$WORK/$name.out" ]; then
      head -n1 "$WORK/$name.out"
      return
    fi
    sleep 0.1
  done
  echo "the $name server did not start:" >&2
  cat "$WORK/$name.log" >&2
  exit 2
}

# Closes the servers' standard input (on descriptors 3 and 4) and waits for them; the kill is for
# one that does not listen.
stop_test_servers() {
  exec 3>&- 4>&- 2>/dev/null || true
  for pid in "${SERVER_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
