#!/usr/bin/env bash
# Installs what building and testing need on Debian, as root, when missing:
# CMake and Ninja, GoogleTest and Google Benchmark, the MinGW-w64 cross
# compiler, 32-bit Wine with its fonts, Xvfb, Xephyr (two monitors), xdotool,
# ImageMagick, and NSIS for the installer; clang and its runtimes for the
# fuzz targets; Xlib, Xext and gdk-pixbuf for the native X11 program (Xlib
# also for the tests' window finder), and XScreenSaver's image helper for
# its --desktop picture.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          wine wine32:i386 fonts-wine xvfb xserver-xephyr xauth xdotool x11-utils imagemagick
          nsis clang libclang-rt-14-dev procps
          pkg-config libx11-dev libxext-dev libgdk-pixbuf-2.0-dev xscreensaver-data python3)

# XScreenSaver's daemon and settings app for the tests of velunor as they run
# it; dpkg-shlibdeps for its Debian package; xmllint and man for its settings
# description and manual page; bc for the benchmarks.
packages+=(xscreensaver dpkg-dev libxml2-utils man-db bc)

# Wayland (velunor --wayland): the client library's headers and wayland-scanner,
# the protocol descriptions Debian ships, and for its tests and benchmarks
# sway and weston run headless, grim for screenshots, wtype for keys and
# swayidle for the idle cycle.
packages+=(libwayland-dev libwayland-bin wayland-protocols sway weston grim wtype swayidle)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
