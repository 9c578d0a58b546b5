#!/usr/bin/env bash
# Makes docs/show.gif, the animated picture at the top of the README: the
# first seconds of the show in mode 1 on the default picture, rendered
# without a window by ripple-render at 480x270 and put together with
# ImageMagick at the show's pace (a frame every second tick of 60 ms).
#   scripts/make-animation.sh [OUTPUT]     (default: docs/show.gif)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MORVA_BUILD_DIR:-$root/build}
export MORVA_BUILD_DIR=$out
gif=${1:-$root/docs/show.gif}

width=480
height=270
tick_ms=60
every=2        # ticks a frame
last_tick=80   # 4.8 s of the show
still_ms=600   # the picture before the first drop
colors=64      # one palette for every frame keeps the file under 2 MB

"$root/scripts/setup.sh"
"$root/scripts/build.sh" native ripple-render >/dev/null
render=$out/native/tools/ripple-render/ripple-render
work=$out/animation
rm -rf "$work"
mkdir -p "$work"

# ripple-render reads a 32-bit uncompressed BMP of exactly the frame's size;
# the picture is stretched to it as the show stretches it to the screen.
convert "$root/res/media/Morva0001.jpg" -resize "${width}x${height}!" -alpha set \
    -define bmp:format=bmp4 -type TrueColorAlpha "$work/picture.bmp"
frames=()
for tick in 0 $(seq "$every" "$every" "$last_tick"); do
    frames+=("$(printf '%s/frame-%04d.bmp' "$work" "$tick")")
    "$render" --width "$width" --height "$height" --setting 1 --ticks "$tick" \
        --input "$work/picture.bmp" --output "${frames[-1]}"
done

# The frames carry no alpha: the renderer leaves the top byte of each pixel 0.
convert "${frames[@]}" -alpha off -append -colors "$colors" -unique-colors "$work/palette.png"
convert -loop 0 -alpha off \
    -delay $((still_ms / 10)) "${frames[0]}" -delay $((every * tick_ms / 10)) "${frames[@]:1}" \
    +dither -remap "$work/palette.png" -layers Optimize "$gif"
echo "make-animation: $gif, $(identify "$gif" | wc -l) frames, $(stat -c %s "$gif") bytes"
