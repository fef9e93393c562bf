#!/usr/bin/env bash
# Checks that the learner's guide docs/lessons.md still tells the truth:
#  - every C++ block is marked with the file it quotes, and still appears
#    verbatim in that file (so does any other block that is marked); a
#    block marked with line numbers is exactly those lines;
#  - every pixel value it quotes is still in the committed picture, and
#    two pictures it calls the same are the same to the pixel;
#  - every picture and file it links to exists, and so does the README's
#    gallery; so does every file the teacher's page (docs/teaching.md)
#    links to, and every #anchor either page links to;
#  - each chapter before and of a lesson opens with its goals, what it
#    needs first and its time, and ends with two or three check questions,
#    each with its answer folded into a <details>;
#  - each entry of the glossary is linked from the text before it;
#  - each reference to lines of a source ("lines 72–78") points at what
#    it quotes (web/references.py).
#   guide_check.sh SOURCE_DIR BUILD_DIR   (the comparer of pictures is built there)
source "$(dirname "$0")/common.sh"

guide="$src/docs/lessons.md"
[ -r "$guide" ] || fail "$guide is missing."
need convert imagemagick

# --- quoted pixels ----------------------------------------------------------
pixels=0
while read -r picture x y expected; do
    pixels=$((pixels + 1))
    actual="$(rgb "$src/docs/$picture" "$x" "$y")"
    [ "$actual" = "$expected" ] ||
        problem "docs/lessons.md says pixel ($x, $y) of docs/$picture is ($expected); it is ($actual)."
done < <(sed -n 's/^<!-- pixel \([^ ]*\) \([0-9]*\),\([0-9]*\) = \([0-9,]*\) -->$/\1 \2 \3 \4/p' "$guide")

while read -r picture x y greens; do
    pixels=$((pixels + 1))
    read -ra expected <<<"$greens"
    actual=()
    while IFS=, read -r _ g _; do
        actual+=("$g")
    done < <(rgb "$src/docs/$picture" "$x" "$y" ${#expected[@]})
    [ "${actual[*]}" = "${expected[*]}" ] ||
        problem "docs/lessons.md says the green values of docs/$picture from ($x, $y) on are '${expected[*]}'; they are '${actual[*]}'."
done < <(sed -n 's/^<!-- pixels \([^ ]*\) \([0-9]*\),\([0-9]*\) = \([0-9 ]*\) -->$/\1 \2 \3 \4/p' "$guide")
while read -r picture other; do
    pixels=$((pixels + 1))
    compare_pictures "$src/docs/$picture" "$src/docs/$other" ||
        problem "docs/lessons.md says docs/$picture and docs/$other are the same picture; they differ in $differing pixels."
done < <(sed -n 's/^<!-- same \([^ ]*\) \([^ ]*\) -->$/\1 \2/p' "$guide")
[ $pixels -ge 5 ] || problem "docs/lessons.md: only $pixels pixel claims found."

# --- the README's gallery ------------------------------------------------------
if [ ! -e "$src/docs/gallery.png" ] || ! grep -q '](docs/gallery.png)' "$src/README.md"; then
    problem "README.md does not show docs/gallery.png, or the picture is missing."
fi

# --- quoted code, links and anchors of both pages, chapters, glossary --------------
course="$(python3 - "$src/docs" <<'EOF'
import re, sys, unicodedata
from pathlib import Path

docs = Path(sys.argv[1])
sys.path.insert(0, str(docs.parent / "web"))
import references

# Quoted code, read as the site reads it: each marked block still stands
# verbatim in its file (a block marked with lines is exactly those lines),
# and no C++ block goes unmarked.
raw = (docs / "lessons.md").read_text()
def line_of(at):
    return raw.count("\n", 0, at) + 1
quotes = list(references.QUOTE.finditer(raw))
for quote in quotes:
    file, first, last, block = quote.groups()
    where = f"docs/lessons.md:{line_of(quote.start()) + 1}"
    if not (docs.parent / file).is_file():
        print(f"{where}: quotes {file}, which does not exist.")
        continue
    text = (docs.parent / file).read_text()
    if first and "".join(text.splitlines(True)[int(first) - 1:int(last)]) != block:
        print(f"{where}: the code quoted from {file} is no longer at lines {first}-{last}; correct the lines or their numbers in the guide.")
    elif not first and block not in text:
        print(f"{where}: the code quoted from {file} is no longer in it; copy the current lines into the guide.")
marked = {quote.start(4) for quote in quotes}
for fence in re.finditer(r"(?m)^```cpp\n", raw):
    if fence.end() not in marked:
        print(f"docs/lessons.md:{line_of(fence.start())}: C++ code without a '<!-- quoted from FILE -->' line before it.")
if len(re.findall(r"(?m)^```", raw)) % 2:
    print("docs/lessons.md: a code block is never closed.")
if len(quotes) < 8:
    print(f"docs/lessons.md: only {len(quotes)} code blocks found; the guide quotes each lesson.")

# What the pages show: their HTML comments (pixel claims, notes) left out.
pages = {name: re.sub(r"(?s)<!--.*?-->", "", (docs / name).read_text())
         for name in ("lessons.md", "teaching.md")}

def slug(title):
    # As Python-Markdown's table of contents names a heading (the site's).
    text = re.sub(r"<[^>]+>|`", "", title)
    text = unicodedata.normalize("NFKD", text).encode("ascii", "ignore").decode()
    return re.sub(r"[-\s]+", "-", re.sub(r"[^\w\s-]", "", text).strip().lower())

def outside_code(text):
    return re.sub(r"(?ms)^```.*?^```$", "", text)

anchors = {name: {slug(h) for h in re.findall(r"(?m)^#+ (.+)$", outside_code(text))}
           | set(re.findall(r'<a id="([^"]+)"></a>', text)) for name, text in pages.items()}
links = 0
for name, text in pages.items():
    for target in re.findall(r"\]\(([^)\s]+)\)", outside_code(text)):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        links += 1
        if path and not (docs / path).exists():
            print(f"docs/{name} links to {path}, which does not exist.")
        if anchor and (path or name) in anchors and anchor not in anchors[path or name]:
            print(f"docs/{name} links to {path or name}#{anchor}, which has no such heading or anchor.")

guide = pages["lessons.md"]
lessons = 0
for chapter in re.split(r"(?m)^(?=## )", outside_code(guide)):
    title = chapter.splitlines()[0][3:] if chapter.startswith("## ") else ""
    if not re.match(r"(Before lesson \d+|Lesson \d+):", title):
        continue
    lessons += 1
    head = chapter.split("\n### ", 1)[0]
    for part in ("What you will learn:", "What you need first:", "Time:"):
        if f"> **{part}**" not in head:
            print(f"docs/lessons.md: '{title}' does not open with '{part}'.")
    last = chapter.rsplit("\n### ", 1)[-1]
    if not last.startswith("Check your understanding\n"):
        print(f"docs/lessons.md: '{title}' does not end with its check questions.")
        continue
    questions = re.findall(r"(?m)^\*\*\d+\.\*\* ", last)
    answers = re.findall(r"(?ms)^<details><summary>Answer</summary>\n\n.+?\n\n</details>$", last)
    if not 2 <= len(questions) <= 3 or len(answers) != len(questions):
        print(f"docs/lessons.md: '{title}' has {len(questions)} check questions and "
              f"{len(answers)} answers; it needs two or three, each with its answer.")
if lessons < 6:
    print(f"docs/lessons.md: only {lessons} chapters of lessons found.")

glossary = guide.find("\n## Glossary\n")
entries = re.findall(r'<a id="(g-[^"]+)"></a>', guide)
if glossary < 0 or len(entries) < 16:
    print(f"docs/lessons.md: the glossary is missing or has only {len(entries)} entries.")
for entry in entries:
    if f"](#{entry})" not in guide[:glossary]:
        print(f"docs/lessons.md: the glossary's entry {entry} is linked from nowhere before it.")
# Each reference to lines of a source points at what it quotes.
try:
    found = references.references((docs / "lessons.md").read_text(), lambda f: (docs.parent / f).read_text())
except OSError as error:
    found = []
    print(f"docs/lessons.md refers to lines of a file that is missing: {error.filename}")
for ref in found:
    if ref["points"] != ref["said"]:
        where = f"is at lines {ref['points'][0]}-{ref['points'][1]}" if ref["points"] else "is not on them"
        print(f"docs/lessons.md: 'lines {ref['said'][0]}-{ref['said'][1]}' of {ref['file']} no longer point at "
              f"what they quote ({ref['quote']}), which {where}; correct the numbers.")
print(f"checked: {len(quotes)} quoted blocks, {links} links of both pages, {lessons} chapters, {len(entries)} glossary entries, "
      f"{len(found)} references to lines")
EOF
)" || problem "checking the chapters and the glossary failed."
while IFS= read -r line; do
    case "$line" in
        checked:*) echo "${line#checked: }" ;;
        *) problem "$line" ;;
    esac
done <<<"$course"

echo "$pixels pixel claims checked."
[ $failures -eq 0 ] || fail "$failures problem(s) in the guide."
