#!/usr/bin/env bash
# Runs a command inside a private headless KDE Plasma Wayland desktop, then tears it down:
# KWin on its virtual backend with XWayland (KWin also serves kglobalaccel, the global
# shortcut daemon), its own session bus, and xdg-desktop-portal with the KDE backend, which
# offers the GlobalShortcuts portal. The command gets WAYLAND_DISPLAY, DISPLAY (the XWayland
# server), XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and XDG_CURRENT_DESKTOP=KDE.
#
# Everything runs in a PID and mount namespace of its own whose first process is this script:
# at the end every process left in it (also the ones the bus activated) is asked to stop, and
# the kernel ends whatever still remains when the script exits. XWayland's socket lives in a
# folder private to the namespace.
#   usage: scripts/kde-session.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
LIMIT=${VELA_KDE_START_LIMIT:-20}  # seconds for each part to come up

if [ "${VELA_KDE_SESSION_INNER:-}" != 1 ]; then
  # Not root: a user namespace grants the rights a PID namespace needs.
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(--user --map-root-user)
  VELA_KDE_SESSION_INNER=1 exec unshare "${userns[@]}" --pid --fork --kill-child --mount-proc \
    bash "$0" "$@"
fi
unset VELA_KDE_SESSION_INNER

work=$(mktemp -d /tmp/vela-kde.XXXXXX)
# XWayland's socket goes to a folder of this namespace: the shared one belongs to the real root,
# which a user namespace cannot claim, and nothing stale can be left there.
mount -t tmpfs -o mode=1777 vela-x11 /tmp/.X11-unix
cleanup() {
  # Gently first, so KWin removes XWayland's lock file from the shared /tmp.
  kill -TERM -1 2>/dev/null || true
  local tries=$((LIMIT * 20))
  # As the namespace's first process, "kill -0 -1" asks whether any other process is left.
  while [ $tries -gt 0 ] && kill -0 -1 2>/dev/null; do
    tries=$((tries - 1))
    sleep 0.05
  done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/session-common.sh"

export XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export QT_QPA_PLATFORM=wayland KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
mkdir -m 700 "$XDG_RUNTIME_DIR"
bus=$(dbus-daemon --session --fork --print-address=1)
export DBUS_SESSION_BUS_ADDRESS=$bus

# The installed kwin_wayland carries a file capability (CAP_SYS_RESOURCE) that a container
# may not grant, and then the kernel refuses to start it: run a plain copy instead.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
# KWin starts its arguments once XWayland is up, with DISPLAY set; one of them writes it down.
"$work/kwin_wayland" --virtual --xwayland --no-lockscreen --socket wayland-vela \
  "sh -c 'echo \$DISPLAY > $work/display.tmp && mv $work/display.tmp $work/display'" \
  >"$work/kwin.log" 2>&1 &
wait_for '[ -S "$XDG_RUNTIME_DIR/wayland-vela" ]' "the Wayland socket"
export WAYLAND_DISPLAY=wayland-vela
wait_for '[ -s "$work/display" ]' "XWayland"
export DISPLAY=$(cat "$work/display")
dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR \
  XDG_SESSION_TYPE XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME QT_QPA_PLATFORM KDE_FULL_SESSION \
  KDE_SESSION_VERSION
wait_for 'gdbus introspect --session -d org.kde.kglobalaccel -o /kglobalaccel >/dev/null 2>&1' \
  "kglobalaccel"

mkdir "$work/portals"
cp /usr/share/xdg-desktop-portal/portals/kde.portal "$work/portals/"
/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde >"$work/portal-kde.log" 2>&1 &
XDG_DESKTOP_PORTAL_DIR=$work/portals /usr/libexec/xdg-desktop-portal >"$work/portal.log" 2>&1 &
wait_for 'gdbus introspect --session -d org.freedesktop.portal.Desktop -o /org/freedesktop/portal/desktop 2>/dev/null | grep -q portal.GlobalShortcuts' "the GlobalShortcuts portal"

set +e
"$@"
status=$?
set -e
exit $status
