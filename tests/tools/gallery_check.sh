#!/usr/bin/env bash
# Renders the pictures of docs/ again with scripts/gallery and checks that
# the committed ones still show what the programs draw.
# The lesson pictures and their crops must match to the pixel on the Mesa
# recorded in docs/pictures.txt, and within the tolerance for another
# renderer elsewhere (renderer_tolerance in common.sh says why).  The
# gallery must hold the committed pictures of the lessons exactly, whatever
# the Mesa; the gnuplot figures must match exactly for the recorded
# gnuplot, and otherwise only keep their size (fonts render differently
# elsewhere).
# The exercises' pictures have a test of their own (exercise_check.sh).
#   gallery_check.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/common.sh"

readonly GALLERY_MARGIN=10  # as in scripts/gallery
readonly PICTURE_SIZE=500   # each lesson's window

docs="$src/docs"
need Xvfb xvfb convert imagemagick gnuplot gnuplot-nox

# Fresh renders and differences stay in the build tree for a look.
fresh="$build/tests/tools/gallery-check"
rm -rf "$fresh"
mkdir -p "$fresh"
unset DISPLAY
"$src/scripts/gallery" --build-dir "$build" --out "$fresh" --skip-exercises >"$fresh/gallery.log" 2>&1 ||
    fail "scripts/gallery failed: $(tail -n 3 "$fresh/gallery.log")"

renderer_tolerance
figures=()
if [ "$(recorded gnuplot)" != "$(recorded gnuplot "$fresh/pictures.txt")" ]; then
    figures=(--size)
    echo "NOTE: the figures were made with $(recorded gnuplot), this is $(recorded gnuplot "$fresh/pictures.txt"): checking their size only."
fi

mapfile -t lessons < <(lesson_names)
for picture in "${lessons[@]/%/.png}" velmor7-behind.png \
    velmor7-behind-no-depth.png facets.png grid-zoom.png unlifted.png; do
    same_as_committed "${tolerance[@]}" "docs/$picture" "$fresh/$picture"
done
for picture in normals.png order.png; do
    same_as_committed "${figures[@]}" "docs/$picture" "$fresh/$picture"
done

# The gallery is the committed pictures side by side: each tile exactly.
same_as_committed --size docs/gallery.png "$fresh/gallery.png"
for i in "${!lessons[@]}"; do
    x=$((GALLERY_MARGIN + i * (PICTURE_SIZE + 2 * GALLERY_MARGIN)))
    convert "$docs/gallery.png" -crop "${PICTURE_SIZE}x${PICTURE_SIZE}+$x+$GALLERY_MARGIN" +repage \
        "$fresh/tile$i.png"
    compare_pictures "$fresh/tile$i.png" "$docs/${lessons[$i]}.png" ||
        problem "tile $((i + 1)) of docs/gallery.png differs from docs/${lessons[$i]}.png in $differing pixels: run scripts/gallery and commit docs/."
done

[ $failures -eq 0 ] || fail "$failures picture(s) in docs/ are out of date."
echo "docs/ pictures match what the programs draw ($comparison comparison)."
