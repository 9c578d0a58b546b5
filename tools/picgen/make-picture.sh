#!/bin/sh
# Makes res/media/Morva0001.jpg again: builds picgen, draws the picture and
# encodes it with ImageMagick's convert (Debian package imagemagick) as a
# baseline JPEG, which every version of the system's picture decoder reads.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"${CXX:-c++}" -std=c++17 -O2 -Wall -Wextra -o "$work/picgen" "$here/picgen.cpp"
"$work/picgen" "$work/picture.ppm"
mkdir -p "$root/res/media"
convert "$work/picture.ppm" -strip -interlace none -sampling-factor 1x1 -quality 90 "$root/res/media/Morva0001.jpg"
echo "$root/res/media/Morva0001.jpg: $(wc -c < "$root/res/media/Morva0001.jpg") bytes"
