#!/usr/bin/env bash
# The one list of what the build, the scripts and the test suites run, each
# program beside the Debian package that brings it, with the libraries and
# headers they build against. Installs the missing packages (as root), then
# checks that every program of the list is there.
#   scripts/setup.sh [PROFILE]
#     test    (default) everything scripts/run-tests.sh, scripts/run-show.sh
#             and the other scripts need
#     linux   building and packaging velunor, the Linux program, alone
#             (configured with -DMORVA_TESTS=OFF: no GoogleTest here)
# Fails at once, naming every package or program that is missing.
set -euo pipefail

profile=${1:-test}

# A row: the package | the programs of it that are run (a name on PATH or an
# absolute path; none for a library) | the profiles that need it [| bare].
# A new profile is a new word in the third column. A package marked "bare"
# is installed without its recommended packages: the desktops' compositors
# would otherwise bring whole desktops along. Programs of Debian's required
# packages (coreutils, util-linux, passwd, apt, dpkg, gzip, tar, sed, grep,
# mawk, findutils, perl-base) are on every Debian machine and not listed.
table='
cmake                    | cmake ctest cpack                                   | test linux
ninja-build              | ninja                                               | test linux
g++                      | g++                                                 | test linux
gcc                      | cc                                                  | test linux
binutils                 | strip                                               | test linux
pkg-config               | pkg-config                                          | test linux
libx11-dev               |                                                     | test linux
libxext-dev              |                                                     | test linux
libgdk-pixbuf-2.0-dev    |                                                     | test linux
libjpeg-dev              |                                                     | test linux
libpng-dev               |                                                     | test linux
libtiff-dev              |                                                     | test linux
libgif-dev               |                                                     | test linux
dpkg-dev                 | dpkg-shlibdeps                                      | test linux
file                     | file                                                | test linux
googletest               |                                                     | test
libgtest-dev             |                                                     | test
libbenchmark-dev         |                                                     | test
g++-mingw-w64-i686       | i686-w64-mingw32-g++-posix i686-w64-mingw32-gcc-posix | test
binutils-mingw-w64-i686  | i686-w64-mingw32-windres                            | test
nsis                     | makensis                                            | test
clang                    | clang clang++                                       | test
libclang-rt-14-dev       |                                                     | test
wine                     | wine wineboot winepath wineserver                   | test
wine32:i386              |                                                     | test
fonts-wine               |                                                     | test
xvfb                     | Xvfb                                                | test
xserver-xephyr           | Xephyr                                              | test
xauth                    | xauth                                               | test
x11-utils                | xdpyinfo xwininfo                                   | test
x11-xserver-utils        | xrandr                                              | test
xdotool                  | xdotool                                             | test
imagemagick              | import convert compare identify display             | test
xscreensaver             | xscreensaver xscreensaver-command xscreensaver-settings | test
xscreensaver-data        | /usr/libexec/xscreensaver/xscreensaver-getimage /usr/libexec/xscreensaver/ripples | test
libxml2-utils            | xmllint                                             | test
man-db                   | man                                                 | test
procps                   | pgrep                                               | test
python3                  | python3                                             | test
perl                     | perl                                                | test
bc                       | bc                                                  | test
libwayland-dev           |                                                     | test linux
libwayland-bin           | wayland-scanner                                     | test linux
wayland-protocols        |                                                     | test linux
sway                     | sway swaymsg                                        | test
weston                   | weston weston-screenshooter                         | test
grim                     | grim                                                | test
wtype                    | wtype                                               | test
swayidle                 | swayidle                                            | test
dbus-daemon              | dbus-daemon                                         | test
libglib2.0-bin           | gdbus                                               | test
kwin-wayland             | kwin_wayland                                        | test | bare
plasma-wayland-protocols |                                                     | test
gnome-shell              | gnome-shell                                         | test | bare
libegl-mesa0             |                                                     | test
libgl1-mesa-dri          |                                                     | test
adwaita-icon-theme       |                                                     | test
'

packages=()
declare -A program_package=() bare=()
while IFS='|' read -r package programs profiles how; do
    package=${package//[[:space:]]/}
    [ -n "$package" ] || continue
    [[ " $profiles " == *" $profile "* ]] || continue
    packages+=("$package")
    [ "${how//[[:space:]]/}" != bare ] || bare[$package]=1
    for program in $programs; do
        program_package[$program]=$package
    done
done <<<"$table"
if [ ${#packages[@]} -eq 0 ]; then
    echo "setup: no profile '$profile'" >&2
    exit 2
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: missing packages (${missing[*]}); run as root to install them" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    plain=()
    bare_ones=()
    for p in "${missing[@]}"; do
        if [ -n "${bare[$p]:-}" ]; then bare_ones+=("$p"); else plain+=("$p"); fi
    done
    [ ${#plain[@]} -eq 0 ] || apt-get install -y -q "${plain[@]}"
    [ ${#bare_ones[@]} -eq 0 ] || apt-get install -y -q --no-install-recommends "${bare_ones[@]}"
fi

# An installed package whose program is still not found (renamed, moved,
# shadowed by a broken alternative) fails here rather than deep in a suite.
absent=()
for program in "${!program_package[@]}"; do
    if [[ $program == /* ]]; then
        [ -x "$program" ] && continue
    else
        command -v "$program" >/dev/null && continue
    fi
    absent+=("$program (${program_package[$program]})")
done
if [ ${#absent[@]} -gt 0 ]; then
    echo "setup: missing programs: $(printf '%s\n' "${absent[@]}" | sort | paste -sd' ')" >&2
    exit 1
fi
