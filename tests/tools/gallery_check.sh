#!/usr/bin/env bash
# Renders the pictures of docs/ again with scripts/gallery and checks that
# the committed ones still show what the programs draw.
#
# On the Mesa build recorded in docs/pictures.txt the lesson pictures and
# their crops must match to the pixel: rendering there is deterministic.
# On another Mesa, small rasterisation differences are expected, so the
# check allows up to TOLERANT_SHARE of the pixels to differ by more than
# TOLERANT_FUZZ (and says so): a real change to a lesson, such as a wrong
# drawing order or shading model, changes far more.  The gallery must hold
# the six committed pictures exactly, whatever the Mesa; the gnuplot
# figures must match exactly for the recorded gnuplot, and otherwise only
# keep their size (fonts render differently elsewhere).
# The exercises' pictures have a test of their own (exercise_check.sh).
#   gallery_check.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"

readonly TOLERANT_FUZZ=10%
readonly TOLERANT_SHARE_PERCENT=1
readonly GALLERY_MARGIN=10  # as in scripts/gallery
readonly PICTURE_SIZE=500   # each lesson's window

src="$1"
build="$2"
docs="$src/docs"
need Xvfb xvfb
need convert imagemagick
need gnuplot gnuplot-nox

# Fresh renders and differences stay in the build tree for a look.
fresh="$build/tests/tools/gallery-check"
rm -rf "$fresh"
mkdir -p "$fresh"
unset DISPLAY
"$src/scripts/gallery" --build-dir "$build" --out "$fresh" --skip-exercises >"$fresh/gallery.log" 2>&1 ||
    fail "scripts/gallery failed: $(tail -n 3 "$fresh/gallery.log")"

recorded() { sed -n "s/^$1 //p" "$2"; }
exact_mesa=yes
if [ "$(recorded mesa "$docs/pictures.txt")" != "$(recorded mesa "$fresh/pictures.txt")" ] ||
    [ "$(recorded machine "$docs/pictures.txt")" != "$(recorded machine "$fresh/pictures.txt")" ]; then
    exact_mesa=no
    echo "NOTE: docs/ was rendered with Mesa $(recorded mesa "$docs/pictures.txt") on $(recorded machine "$docs/pictures.txt"); this is Mesa $(recorded mesa "$fresh/pictures.txt") on $(recorded machine "$fresh/pictures.txt"), so pictures may differ in up to $TOLERANT_SHARE_PERCENT% of their pixels by more than $TOLERANT_FUZZ."
fi
exact_gnuplot=yes
if [ "$(recorded gnuplot "$docs/pictures.txt")" != "$(recorded gnuplot "$fresh/pictures.txt")" ]; then
    exact_gnuplot=no
    echo "NOTE: the figures were made with $(recorded gnuplot "$docs/pictures.txt"), this is $(recorded gnuplot "$fresh/pictures.txt"): checking their size only."
fi

failures=0
problem() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
size_of() { identify -format '%wx%h' "$1"; }

# same PICTURE MODE: the committed docs/PICTURE against the fresh one.
same() {
    local name="$1" mode="$2" committed="$docs/$1" made="$fresh/$1"
    [ -r "$committed" ] || {
        problem "docs/$name is missing."
        return
    }
    if [ "$(size_of "$committed")" != "$(size_of "$made")" ]; then
        problem "docs/$name is $(size_of "$committed"), the programs now make $(size_of "$made"): run scripts/gallery and commit docs/."
        return
    fi
    local differing
    case "$mode" in
        exact)
            differing="$(compare -metric AE "$committed" "$made" "$fresh/diff-$name" 2>&1 || true)"
            [ "$differing" = 0 ] ||
                problem "docs/$name differs from what the programs draw now in $differing pixels (see $fresh/diff-$name); if that change is intended, run scripts/gallery and commit docs/."
            ;;
        tolerant)
            local pixels allowed
            pixels=$(($(identify -format '%w*%h' "$made")))
            allowed=$((pixels * TOLERANT_SHARE_PERCENT / 100))
            differing="$(compare -fuzz $TOLERANT_FUZZ -metric AE "$committed" "$made" "$fresh/diff-$name" 2>&1 || true)"
            if ! [[ "$differing" =~ ^[0-9]+$ ]] || [ "$differing" -gt $allowed ]; then
                problem "docs/$name differs from what the programs draw now in $differing pixels by more than $TOLERANT_FUZZ, more than the $allowed that another Mesa may explain (see $fresh/diff-$name)."
            fi
            ;;
        size) ;;
    esac
}

mesa_mode=exact
[ $exact_mesa = yes ] || mesa_mode=tolerant
figure_mode=exact
[ $exact_gnuplot = yes ] || figure_mode=size

for picture in velmor3.png velmor4.png velmor5.png velmor6.png velmor7.png velmor8.png velmor7-behind.png \
    velmor7-behind-no-depth.png facets.png grid-zoom.png unlifted.png; do
    same "$picture" $mesa_mode
done
for picture in normals.png order.png; do
    same "$picture" $figure_mode
done

# The gallery is the committed pictures side by side: each tile exactly.
same gallery.png size
for i in 0 1 2 3 4 5; do
    x=$((GALLERY_MARGIN + i * (PICTURE_SIZE + 2 * GALLERY_MARGIN)))
    convert "$docs/gallery.png" -crop "${PICTURE_SIZE}x${PICTURE_SIZE}+$x+$GALLERY_MARGIN" +repage \
        "$fresh/tile$i.png"
    differing="$(pixel_count "$fresh/tile$i.png" "$docs/velmor$((i + 3)).png")"
    [ "$differing" = 0 ] ||
        problem "tile $((i + 1)) of docs/gallery.png differs from docs/velmor$((i + 3)).png in $differing pixels: run scripts/gallery and commit docs/."
done

[ $failures -eq 0 ] || fail "$failures picture(s) in docs/ are out of date."
echo "docs/ pictures match what the programs draw ($mesa_mode comparison)."
