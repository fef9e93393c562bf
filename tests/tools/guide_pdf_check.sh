#!/usr/bin/env bash
# Checks the printed guide: scripts/guide-pdf makes it from the Markdown,
# its page count is in range, every solution is in it opened, with its
# patch, and every picture the guide and the teacher's page show is in it,
# pixel for pixel (within one colour level, which Chromium's colour
# handling moves a few pixels by).
#   guide_pdf_check.sh SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"

src="$1"
need pdfimages poppler-utils
need compare imagemagick
# Printed today it has 52 pages.  Far fewer, whole chapters are missing;
# far more, something prints a page per line.  (Folded solutions and
# missing patches cost only a few pages: the text check below finds them.)
readonly MIN_PAGES=40
readonly MAX_PAGES=100

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-pdf.XXXXXX")"
trap 'rm -rf "$work"' EXIT
pdf="$work/guide.pdf"
"$src/scripts/guide-pdf" "$pdf" >"$work/make.log" 2>&1 || fail "scripts/guide-pdf failed: $(tail -n 5 "$work/make.log")"
[ -s "$pdf" ] || fail "scripts/guide-pdf reported success but wrote no PDF."

pages="$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')"
[ "$pages" -ge $MIN_PAGES ] && [ "$pages" -le $MAX_PAGES ] ||
    fail "the PDF has $pages pages, not $MIN_PAGES to $MAX_PAGES."

# Each solution opened, its patch printed: the patch's first line and its
# last changed line are in the text.
pdftotext -layout "$pdf" - | tr -s ' \n' ' ' >"$work/text"
solutions=0
for patch in "$src"/docs/exercises/*.patch; do
    solutions=$((solutions + 1))
    for line in "$(head -n 1 "$patch")" "$(grep '^[-+][^-+]' "$patch" | tail -n 1 | cut -c2- | tr -s ' ')"; do
        grep -qF -- "$(echo "$line" | sed 's/^ *//')" "$work/text" ||
            fail "the PDF lacks $(basename "$patch")'s line '$line': a solution is folded or its patch missing."
    done
done

# Every picture shown, matched to one taken out of the PDF of its size.
pdfimages -png "$pdf" "$work/image"
declare -A size_of=()
for image in "$work"/image-*.png; do
    size_of["$image"]="$(identify -format '%wx%h' "$image")"
done
pictures=0
while read -r picture; do
    pictures=$((pictures + 1))
    size="$(identify -format '%wx%h' "$src/docs/$picture")"
    found=no
    for image in "${!size_of[@]}"; do
        [ "${size_of[$image]}" = "$size" ] || continue
        if [ "$(compare -fuzz 1% -metric AE "$src/docs/$picture" "$image" null: 2>&1 || true)" = 0 ]; then
            found=yes
            break
        fi
    done
    [ $found = yes ] || fail "the PDF does not hold the picture docs/$picture."
done < <(grep -oh '](\([^)#:]*\.png\))' "$src/docs/lessons.md" "$src/docs/teaching.md" |
    sed 's/^](\(.*\))$/\1/' | sort -u)
[ $pictures -ge 20 ] || fail "only $pictures pictures found in the guide."
echo "guide.pdf: $pages pages, $solutions solutions with their patches, all $pictures pictures."
