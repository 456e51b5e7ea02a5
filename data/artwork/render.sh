#!/usr/bin/env bash
# Renders the station's pictures from the SVG sources in src/ and checks the results.
# The rendered PNGs are committed, so building the program never runs this; run it after
# changing a source and commit the PNGs it writes (README.md lists what each one is).
# Needs rsvg-convert (Debian: librsvg2-bin) and ImageMagick's convert (Debian: imagemagick).
set -euo pipefail
cd "$(dirname "$0")"

# The picture control leaves out pixels of exactly this colour, so the dialog shows through.
readonly KEY='rgb(224,223,227)'
readonly KEY_HEX='#E0DFE3'
# A painted pixel that happens to hit the key colour is moved to this one, one step away.
readonly OFF_KEY='rgb(224,223,228)'
# No time stamps or comments in the files: an unchanged source renders to the same bytes.
readonly PLAIN=(-strip -define 'png:exclude-chunk=date,time')

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "render.sh: $*" >&2
    exit 1
}

# Draws src/$1 at $3 x $4 pixels into $scratch/raw.png (transparent where nothing is painted).
raster() {
    rsvg-convert -w "$3" -h "$4" "src/$1" -o "$scratch/raw.png"
}

# A picture for the picture control: opaque 24-bit. Where the source is less than half covered
# it becomes exactly the key colour with a hard edge (a blended edge pixel would show as a grey
# fringe); elsewhere every pixel is the painted colour, never the key colour.
keyed() {
    raster "$@"
    convert "$scratch/raw.png" -channel A -threshold 50% +channel \
        -fill "$OFF_KEY" -opaque "$KEY" \
        -background "$KEY" -alpha remove -alpha off "${PLAIN[@]}" "PNG24:$2"
}

# An icon for an image list or the window: 32-bit, its alpha channel is the mask. Fully
# transparent pixels are stored black, the mask colour the blocking list gives its image list.
masked() {
    raster "$@"
    convert "$scratch/raw.png" -fill "$OFF_KEY" -opaque "$KEY" \
        -background black -alpha background "${PLAIN[@]}" "PNG32:$2"
}

# A plain opaque picture (the data files of the station folder).
opaque() {
    raster "$@"
    convert "$scratch/raw.png" -fill "$OFF_KEY" -opaque "$KEY" \
        -alpha off "${PLAIN[@]}" "PNG24:$2"
}

# Number of pixels of colour $2 in picture $1, the colour written as the histogram writes it:
# #RRGGBB for an opaque picture, #RRGGBBAA for one with alpha.
count_colour() {
    convert "$1" -format %c histogram:info: | awk -v c="$2" '$3 == c { n += $1 } END { print n + 0 }'
}

check_size() {
    local size
    size=$(identify -format '%wx%h' "$1")
    [[ $size == "$2" ]] || fail "$1 is $size, not $2"
}

# Keyed pictures: the key colour must appear (the rounded or round outline), and the pixels
# that border it must not be nearly the key colour, which would mean a soft edge blended into it.
check_keyed() {
    check_size "$1" "$2"
    local keys blended
    keys=$(count_colour "$1" "$KEY_HEX")
    ((keys > 0)) || fail "$1 has no pixel of the key colour"
    convert "$1" -fill black +opaque "$KEY" -fill white -opaque "$KEY" "$scratch/key.png"
    convert "$scratch/key.png" -morphology Dilate Square:1 "$scratch/key.png" \
        -compose difference -composite "$scratch/border.png"
    convert "$1" -fuzz 10% -fill black +opaque "$KEY" -fill white -opaque "$KEY" \
        "$scratch/border.png" -compose multiply -composite "$scratch/blended.png"
    blended=$(convert "$scratch/blended.png" -format '%[fx:round(mean*w*h)]' info:)
    ((blended == 0)) || fail "$1 has $blended edge pixels blended into the key colour"
}

keyed activity-idle.svg activity-idle.png 248 135
keyed activity-sending.svg activity-sending.png 248 135
keyed radio-panel.svg radio-panel.png 208 76
keyed device-in-range.svg device-in-range.png 48 48
masked device-phone.svg device-phone.png 28 44
masked campaign-icons.svg campaign-icons.png 30 15
masked device-small.svg device-small.png 12 16
masked nyvex-16.svg icons/nyvex-16.png 16 16
for size in 32 48 64 128 256; do
    masked nyvex.svg "icons/nyvex-$size.png" "$size" "$size"
done
opaque campaign-background.svg ../station/kampa_1.png 400 300

check_keyed activity-idle.png 248x135
check_keyed activity-sending.png 248x135
check_keyed radio-panel.png 208x76
check_keyed device-in-range.png 48x48
check_size device-phone.png 28x44
check_size campaign-icons.png 30x15
check_size ../station/kampa_1.png 400x300

# The lists cut a 10 x 15 image from the top-left of the small device picture: nothing may be
# painted outside it, and nothing painted may be pure black, the blocking list's mask colour.
check_size device-small.png 12x16
outside=$(convert device-small.png -alpha extract -fill black -draw 'rectangle 0,0 9,14' \
    -format '%[fx:round(mean*w*h)]' info:)
((outside == 0)) || fail "device-small.png paints $outside pixels outside its top-left 10 x 15"
black=$(count_colour device-small.png '#000000FF')
((black == 0)) || fail "device-small.png has $black painted pure black pixels"

for size in 16 32 48 64 128 256; do
    check_size "icons/nyvex-$size.png" "${size}x$size"
done
echo "render.sh: all pictures rendered and checked"
