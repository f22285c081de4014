#!/usr/bin/env bash
# Vela's two entry points:
#   ./vela.sh run    install what is missing, build (Release), start Vela
#   ./vela.sh test   install what is missing, build with warnings as errors, run the whole suite
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

install_deps() { bash "$ROOT/scripts/install-deps.sh"; }

configure_and_build() { # <build dir> <cmake args...>
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

free_display() {
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo ":$n"
}

# Starts a private Xvfb and exports DISPLAY; XVFB_PID names it.
start_xvfb() {
  local display
  display=$(free_display)
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp +extension XInputExtension >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
  done
  export DISPLAY=$display
}

cmd_run() {
  install_deps
  configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release
  local bin="$ROOT/build/release/app/vela"
  if [ -n "${DISPLAY:-}" ]; then
    exec "$bin" "$@"
  fi
  start_xvfb
  if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    eval "$(dbus-launch --sh-syntax)"
  fi
  nohup "$bin" "$@" >/dev/null 2>&1 &
  local vela_pid=$!
  sleep 1
  if ! kill -0 "$vela_pid" 2>/dev/null; then
    echo "vela: the program exited at once" >&2
    exit 1
  fi
  echo "vela: no display was set, so Vela runs on a private Xvfb at DISPLAY=$DISPLAY"
  echo "vela: pids: vela $vela_pid, Xvfb $XVFB_PID${DBUS_SESSION_BUS_PID:+, dbus $DBUS_SESSION_BUS_PID}"
  echo "vela: to look at it:  DISPLAY=$DISPLAY import -window root /tmp/vela.png"
  echo "vela: to stop it:     kill $vela_pid $XVFB_PID ${DBUS_SESSION_BUS_PID:-}"
}

run_suite() { # <build dir> [ctest args...]
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" "$@")
}

cmd_test() {
  install_deps
  local build="$ROOT/build/test"
  configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELA_WERROR=ON
  # Core tests once more under the address and undefined-behaviour sanitizers.
  local asan="$ROOT/build/asan"
  configure_and_build "$asan" -DCMAKE_BUILD_TYPE=Debug -DVELA_WERROR=ON -DVELA_SANITIZE=ON -DVELA_CORE_ONLY=ON

  started_xvfb=""
  if [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    started_xvfb=$XVFB_PID
  fi
  started_dbus=""
  if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    eval "$(dbus-launch --sh-syntax)"
    started_dbus=${DBUS_SESSION_BUS_PID:-}
  fi
  cleanup() {
    if [ -n "${started_dbus:-}" ]; then kill "$started_dbus" 2>/dev/null || true; fi
    if [ -n "${started_xvfb:-}" ]; then kill "$started_xvfb" 2>/dev/null || true; fi
  }
  trap cleanup EXIT

  export NO_AT_BRIDGE=1  # no accessibility bus chatter in test output
  local rc=0
  echo "== sanitizer build: core tests =="
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_suite "$asan" -L core || rc=1
  echo "== full suite =="
  run_suite "$build" || rc=1
  return $rc
}

case "${1:-}" in
  run) shift; cmd_run "$@" ;;
  test) shift; cmd_test "$@" ;;
  *) echo "usage: ./vela.sh run [vela arguments] | ./vela.sh test" >&2; exit 2 ;;
esac
