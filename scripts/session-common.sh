# Shared by the private desktop scripts (sourced, not run). The sourcing script sets `work`
# (its scratch folder, whose *.log files explain a failure) and LIMIT (seconds for each part
# of the desktop to come up).

# Stops the script, showing the end of every log of the desktop's parts.
fail() { echo "$(basename "$0" .sh): $*" >&2; for f in "$work"/*.log; do tail -n 5 "$f" >&2 || true; done; exit 1; }
# Polls a condition every 50 ms for at most LIMIT seconds.
wait_for() {
  local tries=$((LIMIT * 20))
  until eval "$1"; do
    tries=$((tries - 1))
    [ $tries -gt 0 ] || fail "timed out waiting for: $2"
    sleep 0.05
  done
}
