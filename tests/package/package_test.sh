#!/usr/bin/env bash
# Builds the .deb from this build folder and checks what a user would install: the programs,
# the desktop entry and icon, library dependencies found by dpkg-shlibdeps, the run-time
# data packages, and a desktop entry that validates.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" >/dev/null
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/vela usr/bin/vela-ocr usr/share/applications/vela.desktop \
         usr/share/icons/hicolor/scalable/apps/vela.svg; do
  grep -q " \./$f\$" <<<"$contents" || fail "missing $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libwebkit2gtk-4.1-0 libtesseract5 tesseract-ocr-jpn tesseract-ocr-kor fonts-noto-cjk; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out/root/usr/share/applications/vela.desktop" || fail "desktop entry invalid"
! LD_BIND_NOW=1 ldd "$out/root/usr/bin/vela" | grep -q "not found" || fail "unresolved library"
