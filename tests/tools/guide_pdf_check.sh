#!/usr/bin/env bash
# Checks the printed guide: scripts/guide-pdf makes it from the Markdown,
# its page count is in range, every solution is in it opened, with its
# patch, and every picture the guide and the teacher's page show is in it,
# pixel for pixel (within one colour level, which Chromium's colour
# handling moves a few pixels by).
#   guide_pdf_check.sh SOURCE_DIR PDF
# PDF: the web build's print for its site, which scripts/guide-pdf prints
# alike without an address; this check prints only one with an address.
source "$(dirname "$0")/common.sh"

need pdfimages poppler-utils compare imagemagick
# Printed today it has 90 pages.  Far fewer, whole chapters are missing;
# far more, something prints a page per line.  (Folded solutions and
# missing patches cost only a few pages: the text check below finds them.)
readonly MIN_PAGES=40
readonly MAX_PAGES=100

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-pdf.XXXXXX")"
trap 'rm -rf "$work"' EXIT
pdf="$work/guide.pdf"
cp "${2:-}" "$pdf" && [ -s "$pdf" ] || fail "the web build printed no guide at ${2:-}."

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
# Those are tried nearest mean colour first, so the match is mostly the
# first one compared.
pdfimages -png "$pdf" "$work/image"
identify -format '%wx%h %[fx:mean] %i\n' "$work"/image-*.png >"$work/images"
pictures=0
while read -r picture; do
    pictures=$((pictures + 1))
    read -r size mean < <(identify -format '%wx%h %[fx:mean]\n' "$src/docs/$picture")
    found=no
    for image in $(awk -v size="$size" -v mean="$mean" \
        '$1 == size { d = $2 - mean; print (d < 0 ? -d : d), $3 }' "$work/images" | sort -g | cut -d' ' -f2); do
        if [ "$(compare -fuzz 1% -metric AE "$src/docs/$picture" "$image" null: 2>&1 || true)" = 0 ]; then
            found=yes
            break
        fi
    done
    [ $found = yes ] || fail "the PDF does not hold the picture docs/$picture."
done < <(grep -oh '](\([^)#:]*\.png\))' "$src/docs/lessons.md" "$src/docs/teaching.md" |
    sed 's/^](\(.*\))$/\1/' | sort -u)
[ $pictures -ge 20 ] || fail "only $pictures pictures found in the guide."

# A bookmark for every chapter, its page in the contents, a number on every
# page but the first, each patch on one page where it fits on one, and no
# link into the disk of the machine that printed it: each leads to the
# site's page relative to the PDF, as it stands in the site's guide/, or,
# printed for the site at an address, to that page there.
need pdftohtml poppler-utils
readonly ADDRESS=https://velmor.example/course/
"$src/scripts/guide-pdf" "$work/addressed.pdf" "$ADDRESS" >"$work/make.log" 2>&1 ||
    fail "scripts/guide-pdf with an address failed: $(tail -n 5 "$work/make.log")"
pdftohtml -xml -i -stdout "$pdf" >"$work/pdf.xml" 2>/dev/null
pdftohtml -xml -i -stdout "$work/addressed.pdf" >"$work/addressed.xml" 2>/dev/null
pdftotext -layout "$pdf" "$work/pages.txt"
python3 - "$src/docs/lessons.md" "$work/pdf.xml" "$work/pages.txt" "$pdf" "$work/addressed.xml" "$ADDRESS" \
    "$src"/docs/exercises/*.patch >"$work/outline.log" 2>&1 <<'EOF' || fail "$(cat "$work/outline.log")"
import html, re, statistics, sys, urllib.parse
guide, xml, pages, pdf, addressed = (open(name, errors="replace").read() for name in sys.argv[1:6])
squeezed = lambda text: re.sub(r"\W", "", html.unescape(text))
marks = {squeezed(m) for m in re.findall(r'<item page="\d+">([^<]*)', xml)}
chapters = re.findall(r"(?m)^## (.+)$", re.sub(r"(?ms)^```.*?^```$", "", guide))
problems = [f"the PDF has no bookmark for the chapter '{c}'" for c in chapters if squeezed(c.replace("`", "")) not in marks]
# The contents, on the first two pages, give each chapter its page.
page_of = {squeezed(t): n for n, t in re.findall(r'<item page="(\d+)">([^<]*)', xml)}
for chapter in chapters:
    line = next((l for l in "\n".join(pages.split("\f")[:2]).splitlines()
                 if squeezed(l).startswith(squeezed(chapter)[:20])), "")
    if not line.rstrip().endswith(" " + page_of.get(squeezed(chapter), "?")):
        problems.append(f"the contents do not give '{chapter}' its page {page_of.get(squeezed(chapter))}: {line.strip()!r}")
numbers = [page.strip().splitlines()[-1].strip() if page.strip() else "" for page in pages.split("\f")[:-1]]
problems += [f"the PDF's page {n} is not numbered" for n, said in enumerate(numbers, 1) if n > 1 and said != str(n)]
# Each line of text as (page, top, bottom, font, text), in reading order,
# but the page numbers, each the lowest line of its page.
lines = [(int(page), int(top), int(top) + int(height), font, html.unescape(re.sub(r"<[^>]+>", "", text)).strip())
         for page, body in re.findall(r'<page number="(\d+)"[^>]*>(.*?)</page>', xml, re.S)
         for top, height, font, text in re.findall(r'<text top="(\d+)" left="\d+" width="\d+" height="(\d+)" font="(\d+)">(.*?)</text>', body)]
lowest = {page: max(l[2] for l in lines if l[0] == page) for page, *_ in lines}
lines = [l for l in lines if not (l[4] == str(l[0]) and l[2] == lowest[l[0]])]
room = max(l[2] for l in lines) - min(l[1] for l in lines)
# A patch's box: its first line and the lines in its font that follow.
for patch in sys.argv[7:]:
    first = open(patch).readline().strip()
    at = next((i for i, l in enumerate(lines) if l[4] == first), None)
    if at is None:
        problems.append(f"the PDF has no line '{first}' that starts {patch}")
        continue
    end = next((i for i in range(at, len(lines)) if lines[i][3] != lines[at][3]), len(lines))
    rows = sorted({(l[0], l[1]) for l in lines[at:end]})
    pitch = statistics.median(b[1] - a[1] for a, b in zip(rows, rows[1:]) if a[0] == b[0])
    tall = max(len(rows), len(open(patch).readlines())) * pitch
    if rows[0][0] != rows[-1][0] and tall <= room:
        problems.append(f"{patch.split('/')[-1]} is split over pages {rows[0][0]} and {rows[-1][0]}, "
                        f"though it fits on one ({tall:.0f} of the page's {room} px)")
if "file:" in pdf or "file:" in xml:
    problems.append("the PDF links to a file: address")
# pdftohtml names a link within the PDF after the PDF: guide.html#N.
links = lambda xml, own: [html.unescape(l) for l in re.findall(r'<a href="([^"]*)"', xml) if not l.startswith(own)]
relative, absolute = links(xml, "guide.html#"), links(addressed, "addressed.html#")
if not relative or any(re.match(r"[a-z]+:|/", link) for link in relative):
    problems.append(f"the PDF's {len(relative)} links to the site are not all relative: {relative[:5]}")
if absolute != [urllib.parse.urljoin(sys.argv[6] + "guide/", link) for link in relative]:
    problems.append(f"printed for {sys.argv[6]}, the PDF's links do not lead there: {absolute[:5]}")
if problems:
    sys.exit("\n".join(problems))
print(f"{len(chapters)} chapters bookmarked, {len(numbers)} pages numbered, {len(relative)} links relative")
EOF

echo "guide.pdf: $pages pages, $solutions solutions with their patches, all $pictures pictures; $(tail -n 1 "$work/outline.log")."
