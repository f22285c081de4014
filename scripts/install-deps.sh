#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vela needs.
# Idempotent and quiet: apt is only touched when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  # core libraries
  libicu-dev nlohmann-json3-dev libcurl4-openssl-dev libcld2-dev
  libtesseract-dev libleptonica-dev tesseract-ocr
  tesseract-ocr-jpn tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-kor
  # desktop stack
  libgtk-3-dev libwebkit2gtk-4.1-dev libayatana-appindicator3-dev
  libx11-dev libxtst-dev libxi-dev
  # headless display, keyboard layouts, session bus, screenshots of failed GUI tests, the package test, fonts
  xvfb x11-xkb-utils dbus dbus-x11 imagemagick desktop-file-utils fonts-noto-cjk fonts-noto-color-emoji
  # headless Wayland desktop for the Wayland tests: compositor, XWayland, screenshot portal
  sway xwayland xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk pipewire wtype
  kwin-wayland xdg-desktop-portal-kde libkf5globalaccel-bin qtwayland5  # KDE: GlobalShortcuts portal
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "vela: installing ${#missing[@]} missing package(s): ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
