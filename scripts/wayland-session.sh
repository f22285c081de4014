#!/usr/bin/env bash
# Runs a command inside a private headless Wayland desktop, then tears the desktop down:
# sway on wlroots' headless backend with software rendering and XWayland, its own session
# bus, pipewire and the screenshot portal (xdg-desktop-portal with the wlr backend, and the
# gtk backend for the access dialog interface the screenshot portal requires), plus one
# long-lived wtype as the seat's keyboard. The command gets WAYLAND_DISPLAY, DISPLAY (the
# XWayland server), XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and XDG_CURRENT_DESKTOP.
#   usage: scripts/wayland-session.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
LIMIT=${VELA_WAYLAND_START_LIMIT:-20}  # seconds for each part to come up

work=$(mktemp -d /tmp/vela-wayland.XXXXXX)
pids=()
cleanup() {
  # Services the bus started on demand (document portal, permission store) are its clients
  # too: end every process connected to the private bus, and the document portal's mount.
  local names
  names=$(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.ListNames 2>/dev/null | grep -oE "':[0-9.]+'" | tr -d "'" || true)
  for n in $names; do
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
      -m org.freedesktop.DBus.GetConnectionUnixProcessID "$n" 2>/dev/null |
      sed -n 's/.*uint32 \([0-9][0-9]*\).*/\1/p' || true
  done | sort -u | while read -r p; do [ "$p" != $$ ] && kill "$p" 2>/dev/null || true; done
  fusermount3 -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/session-common.sh"

export XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
mkdir -m 700 "$XDG_RUNTIME_DIR"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
pids+=("${bus##*$'\n'}")

# sway tells its children the XWayland display; one of them writes it down for us.
cat >"$work/sway.cfg" <<CFG
xwayland force
output HEADLESS-1 resolution 1920x1080
exec sh -c 'echo \$DISPLAY > $work/display.tmp && mv $work/display.tmp $work/display'
CFG
# sway refuses to run as root: only sway runs as an ordinary user of a user namespace; the
# portals stay outside it, where the bus and the compositor's socket are theirs too.
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  unshare --user --map-user=1000 --map-group=1000 sway -c "$work/sway.cfg" >"$work/sway.log" 2>&1 &
pids+=($!)
wait_for 'ls "$XDG_RUNTIME_DIR" | grep -qE "^wayland-[0-9]+$"' "the Wayland socket"
export WAYLAND_DISPLAY=$(ls "$XDG_RUNTIME_DIR" | grep -E '^wayland-[0-9]+$' | head -n 1)
wait_for '[ -s "$work/display" ]' "XWayland"
export DISPLAY=$(cat "$work/display")
wait_for '[ -S "/tmp/.X11-unix/X${DISPLAY#:}" ]' "the XWayland socket"
dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR XDG_SESSION_TYPE

mkdir "$work/portals"
cp /usr/share/xdg-desktop-portal/portals/{wlr,gtk}.portal "$work/portals/"
pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
wait_for '[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]' "pipewire"
/usr/libexec/xdg-desktop-portal-wlr >"$work/portal-wlr.log" 2>&1 &
pids+=($!)
/usr/libexec/xdg-desktop-portal-gtk >"$work/portal-gtk.log" 2>&1 &
pids+=($!)
XDG_DESKTOP_PORTAL_DIR=$work/portals /usr/libexec/xdg-desktop-portal >"$work/portal.log" 2>&1 &
pids+=($!)
wait_for 'gdbus introspect --session -d org.freedesktop.portal.Desktop -o /org/freedesktop/portal/desktop 2>/dev/null | grep -q portal.Screenshot' "the screenshot portal"
wtype -s 3600000 >/dev/null 2>&1 &
pids+=($!)

set +e
"$@"
status=$?
set -e
exit $status
