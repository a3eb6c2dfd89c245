#!/bin/sh
# Draws the main window's pictures: the seven 16 x 16 images of the tray and menus (two of them
# are the account and send button glyphs) and the 31 x 31 animated busy indicator.
# Needs ImageMagick 6; the output is committed, so the build does not need it.
set -eu
cd "$(dirname "$0")"
IM=/usr/bin/convert-im6.q16
[ -x "$IM" ] || IM=convert
BLUE='rgb(4,142,193)'

# 0: tray icon, a white quill on a blue rounded square.
$IM -size 16x16 xc:none -fill "$BLUE" -draw 'roundrectangle 0,0 15,15 4,4' \
    -fill white -draw 'polygon 12,2 13,3 6,11 4,12 5,10' \
    -stroke white -strokewidth 1 -draw 'line 4,12 3,14' -strip PNG32:tray.png
# 1: the catalog, an open book.
$IM -size 16x16 xc:none -fill "$BLUE" -draw 'polygon 1,3 7,4 7,14 1,13' -draw 'polygon 15,3 9,4 9,14 15,13' \
    -fill white -draw 'line 2,6 6,7' -draw 'line 2,9 6,10' -draw 'line 10,7 14,6' -draw 'line 10,10 14,9' \
    -strip PNG32:catalog.png
# 2: restore, a window.
$IM -size 16x16 xc:none -fill white -stroke "$BLUE" -draw 'rectangle 1,2 14,13' \
    -fill "$BLUE" -draw 'rectangle 1,2 14,5' -strip PNG32:restore.png
# 3: exit, a red cross.
$IM -size 16x16 xc:none -stroke 'rgb(200,40,40)' -strokewidth 2.5 -draw 'line 3,3 12,12' -draw 'line 12,3 3,12' \
    -strip PNG32:exit.png
# 4: the account button, a person.
$IM -size 16x16 xc:none -fill "$BLUE" -draw 'circle 8,5 8,2' -draw 'ellipse 8,15 6,6 180,360' \
    -strip PNG32:user.png
# 5: the send button, a paper plane.
$IM -size 16x16 xc:none -fill "$BLUE" -draw 'polygon 1,7 15,1 10,15 7,9' -fill white -draw 'line 7,9 14,2' \
    -strip PNG32:send.png
# 6: the log, ruled lines.
$IM -size 16x16 xc:none -fill white -stroke 'rgb(128,128,128)' -draw 'rectangle 2,1 13,14' \
    -stroke "$BLUE" -draw 'line 4,4 11,4' -draw 'line 4,7 11,7' -draw 'line 4,10 9,10' -strip PNG32:log.png

# Busy indicator: eight dots on a ring, the bright one moving clockwise, fading trail behind it.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
frames=""
for f in 0 1 2 3 4 5 6 7; do
    args=""
    for d in 0 1 2 3 4 5 6 7; do
        age=$(( (f - d + 8) % 8 ))
        case $age in
            0) col='rgb(4,142,193)' ;; 1) col='rgb(60,168,208)' ;; 2) col='rgb(120,190,222)' ;;
            *) col='rgb(200,225,238)' ;;
        esac
        x=$(awk -v d="$d" 'BEGIN { printf "%.1f", 15 + 11 * sin(d * 3.14159265 / 4) }')
        y=$(awk -v d="$d" 'BEGIN { printf "%.1f", 15 - 11 * cos(d * 3.14159265 / 4) }')
        x2=$(awk -v x="$x" 'BEGIN { printf "%.1f", x + 3 }')
        args="$args -fill '$col' -draw \"circle $x,$y $x2,$y\""
    done
    eval "$IM -size 31x31 xc:none $args -strip PNG32:$tmp/f$f.png"
    frames="$frames $tmp/f$f.png"
done
# GIF keeps one transparent colour: threshold the alpha so edges are either dot or hole.
$IM -dispose background -delay 8 -loop 0 $frames -channel A -threshold 50% +channel loader.gif
