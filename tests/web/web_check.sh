#!/usr/bin/env bash
# Checks the web edition in Chromium, Firefox and WebKitGTK (tests/web/page.py
# and driver.mjs drive them).
#   web_check.sh MODE SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
# MODE is one of:
# build:    compiles the browser build (web/) with emscripten, as
#           scripts/web does, into WEB_BUILD_DIR, and beside its site the
#           lessons that pictures builds without a repair.
# native:   the native programs' pictures (BUILD_DIR's) that pictures and
#           engines compare with, into BUILD_DIR/web-native-pictures.
# pictures: every bare lesson page against the native program's picture,
#           taken by native.  The two are drawn by different
#           rasterisers (Mesa's llvmpipe natively, SwiftShader under WebGL
#           in the browser) through different pipelines (fixed function
#           versus the emulation's shaders), so edges and blending round
#           differently by a level here and there; natively the pictures
#           are compared exactly, since the same driver draws them.  They
#           are compared with the comparer's tolerance for another
#           renderer, or its closer one for a lesson drawn with buffers
#           and shaders (harness/harness.h names both).  Then the
#           same check fails with glfix.cpp's line-mode repair left out, on
#           the two lessons that draw their grid in line mode.  A lesson
#           that takes the arrow keys (lesson 7) is also turned round
#           with them in both, with its depth test on and off.
# pages:    index.html loads with no error in the console, every lesson on
#           it runs, and its headings are the lessons' window titles; a
#           bare page without WebGL says so, and one of a lesson built for
#           WebGL 2 says so in a browser with WebGL 1 only, where the
#           lessons before it still run; no page of the site links to
#           what the site lacks or holds unrendered Markdown; every
#           chapter of the guide has a page with the contents and the
#           pages before and after, and its search finds each page.
# solutions: each exercise's solution page draws the guide's picture of
#           it (docs/exercises/NAME.png, after the patch's Keys), with the
#           tolerance of the lessons' pictures.
# touch:    on a lesson that takes the mouse, one wheel notch moves as far
#           as one + or - (also when the notch comes in parts), a pinch as
#           far as the wheel, a drag with the mouse or one finger turns as
#           the arrow keys do, and r brings back the camera and the depth
#           test.
# reach:    every page fits a 360 px wide phone, and passes axe-core's
#           checks of levels A and AA, light and dark.
# engines:  the same in Firefox ESR and WebKitGTK (the checks above are
#           Chromium's), each engine's pictures taken in one browser: every
#           lesson against its native picture with the same tolerances, a
#           lesson with a camera turned round by its keys, and by a drag as
#           by the keys; every page fits 360 px; without WebGL the page
#           says so.
# lost:     in each of the three engines, every lesson's page whose WebGL
#           context is lost says so and starts the lesson again from the
#           button it offers.
# common.sh reads its first argument as the source folder; here the mode
# comes first, so the folders are set again below.
source "$(dirname "$0")/../tools/common.sh"

mode="$1"
src="$2"
build="$3"
web_build="$4"
werror="$5"
page="$(dirname "$0")/page.py"
# The native pictures share one private display.
[ "$mode" != native ] || one_display

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-web.XXXXXX")"
server_pid=""
stop_all() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop_all EXIT
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# compile_web DIR [CMAKE OPTION...]
compile_web() {
    emcmake cmake -S "$src/web" -B "$1" -DVELMOR_WERROR="$werror" "${@:2}" \
        >"$work/configure.log" 2>&1 || fail "configuring $1 failed: $(tail -n 5 "$work/configure.log")"
    cmake --build "$1" --parallel 2 >"$work/build.log" 2>&1 ||
        fail "building $1 failed: $(grep -m 5 -E 'error|Error' "$work/build.log")"
}

# serve DIR: a server for DIR on a free port of 127.0.0.1, at $site.
serve() {
    [ -z "$server_pid" ] || kill "$server_pid"
    : >"$work/server.log"
    python3 -u -m http.server --bind 127.0.0.1 --directory "$1" 0 >"$work/server.log" 2>&1 &
    server_pid=$!
    local port=""
    for _ in $(seq 100); do
        port="$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/server.log")"
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || fail "the test's web server did not start: $(cat "$work/server.log")"
    site="http://127.0.0.1:$port"
}

# shoot ENGINE "PAGE PICTURE [KEY...]"...: each PAGE of the site in one
# browser of ENGINE, its picture after the KEYs in $work/PICTURE-ENGINE.png;
# then, in the same browser, the pages of $fits (--fits ADDRESS...) must fit
# a phone.
fits=()
shoot() {
    local engine="$1" shots=() shot words
    shift
    for shot in "$@"; do
        read -r -a words <<<"$shot"
        shots+=(+ "$site/${words[0]}" "$work/${words[1]}-$engine.png" "${words[@]:2}")
    done
    python3 "$page" --engine "$engine" shot "${shots[@]:1}" "${fits[@]}" >"$work/page.log" 2>&1 ||
        fail "$engine: $(tail -n 3 "$work/page.log")"
}

# like_native LESSON PICTURE ENGINE [DIFF.png]: compares ENGINE's picture
# with the expected one ($expected/PICTURE.png: the native one unless
# said), with the tolerance (the closer one for a lesson drawn with
# shaders); sets $differing to the pixels that are off, draws where to
# DIFF.png if given, and succeeds if they are few enough.
native="$build/web-native-pictures"
expected="$native"
like_native() {
    local match=--tolerant
    [[ " $(lesson_field 3 "$1") " != *" gl33 "* ]] || match=--close
    compare_pictures "$match" "$expected/$2.png" "$work/$2-$3.png" "${@:4}"
}

# A failed comparison's pictures outlive $work: kept in $kept, emptied
# when this check starts, which each failure sentence names.
kept="$build/web-failed/$mode"
rm -rf "$kept"

# Whether a lesson's camera turns with the arrow keys (lessons/controls.txt).
turns_camera() {
    grep -q "^[^#]*\b$1\b[^|]* | Right " "$src/lessons/controls.txt"
}

# native_pictures [take]: every lesson's native picture in $native, and of
# a lesson that takes the arrow keys, turned to the far side with them,
# with the depth test and without, taken (mode native) or there already;
# $shots says the same for shoot.
native_pictures() {
    local lesson keys picture behind
    behind="$(printf 'Right %.0s' $(seq 36))"
    shots=()
    for lesson in "${lessons[@]}"; do
        for keys in "" "${behind% }" "${behind}d"; do
            picture="$lesson${keys:+-${keys##* }}"
            [ "${1:-}" != take ] || "$src/scripts/snapshot" --build-dir "$build" \
                ${keys:+--keys "$keys"} "$lesson" "$native/$picture.png" || fail "no native picture of $lesson after '$keys'."
            [ -f "$native/$picture.png" ] || fail "no native picture $native/$picture.png: web.native takes them."
            shots+=("$lesson.html $picture $keys")
            turns_camera "$lesson" || break
        done
    done
}

# site_pages: every page of the site, as paths under it, in $pages.
site_pages() {
    local html
    pages=(index.html)
    for lesson in "${lessons[@]}"; do
        pages+=("$lesson.html")
        [ ! -f "$web_build/site/$lesson-shaders.html" ] || pages+=("$lesson-shaders.html")
    done
    while read -r html; do
        pages+=("${html#"$web_build/site/"}")
    done < <(find "$web_build"/site/{guide,source,exercises} -name '*.html' | sort)
}

# pictures_match ENGINE [SHOT...]: ENGINE's pictures of $shots, and of the
# SHOTs, taken in one browser; those of $shots must match the expected ones.
pictures_match() {
    local shot html picture keys same
    shoot "$1" "${shots[@]}" "${@:2}"
    for shot in "${shots[@]}"; do
        read -r html picture keys <<<"$shot"
        like_native "${html%.html}" "$picture" "$1" "$work/$picture-$1-diff.png" && same=yes || same=no
        echo "$1: $picture: $differing pixels off beyond the tolerance"
        [ $same = no ] || continue
        mkdir -p "$kept"
        cp "$expected/$picture.png" "$kept/$picture-expected.png"
        cp "$work/$picture-$1"{,-diff}.png "$kept/"
        fail "$picture in $1 differs from $expected/$picture.png in $differing pixels, more than the tolerance allows (both pictures and their difference are kept in $kept)."
    done
}

# refused ENGINE FLAG PAGE SAID...: the site's PAGEs in one browser of ENGINE
# with FLAG (--no-webgl or --no-webgl2), each failing and saying its SAID
# (or, SAID empty, running with a clean console), all of them looked at.
refused() {
    local i said urls=()
    for ((i = 3; i < $#; i += 2)); do urls+=("$site/${!i}"); done
    python3 "$page" --engine "$1" check "${urls[@]}" "$2" >"$work/refused.log" 2>&1 ||
        grep -q "^page.py: [0-9]* problems on" "$work/refused.log" || fail "$1: $(tail -n 3 "$work/refused.log")"
    for ((i = 3; i < $#; i += 2)); do
        said="${*:i+1:1}"
        if grep -qF "$site/${!i}: " "$work/refused.log"; then grep -qF "${said:-?}" "$work/refused.log"; else [ -z "$said" ]; fi ||
            fail "$1: ${!i} with $2 was to ${said:+say }${said:-run}: $(cat "$work/refused.log")"
    done
}

# The site's lessons: those of lessons/lessons.txt that the web build's
# configure did not leave out.
lessons=()
read_lessons() {
    mapfile -t lessons < <(lessons_built_in "$web_build")
    [ ${#lessons[@]} -gt 0 ] || fail "the web build in $web_build makes no lessons."
}
[ "$mode" = build ] || [ "$mode" = native ] || read_lessons

case "$mode" in
    build)
        need emcmake emscripten
        # With lessons 5 and 6 also built without the line-mode repair
        # (pictures below), in line-mode/ beside the site.
        compile_web "$web_build" "-DVELMOR_WEB_WITHOUT_LINE_MODE=velmor5;velmor6"
        read_lessons
        for lesson in "${lessons[@]}"; do
            [ -f "$web_build/site/$lesson.js" ] && [ -f "$web_build/site/$lesson.html" ] ||
                fail "the site has no page or program for $lesson."
        done
        echo "built the web edition of ${lessons[*]}"
        ;;

    native)
        # Of every lesson built here: the site's are not known while it builds.
        mapfile -t lessons < <(lessons_built_in "$build")
        rm -rf "$native" && mkdir -p "$native"
        native_pictures take
        echo "took ${#shots[@]} native pictures in $native"
        ;;

    pictures)
        need convert imagemagick
        need chromium chromium
        serve "$web_build/site"
        native_pictures
        pictures_match chromium

        # Without the line-mode repair the grid of lessons 5 and 6 is a
        # filled black plane, and the check must see it.
        variant="$web_build/line-mode"
        [ -f "$variant/velmor5.js" ] && [ -f "$variant/velmor6.js" ] ||
            fail "the web build in $web_build has no lessons without the line-mode repair in $variant: web.build builds them."
        cp "$web_build"/site/{lesson.js,bare.css,velmor5.html,velmor6.html} "$variant/"
        serve "$variant"
        shoot chromium "velmor5.html velmor5" "velmor6.html velmor6"
        for lesson in velmor5 velmor6; do
            like_native "$lesson" "$lesson" chromium && same=yes || same=no
            echo "$lesson without the line-mode repair: $differing pixels off"
            [ $same = no ] ||
                fail "$lesson passes the picture check even without the line-mode repair ($differing pixels)."
        done
        ;;

    pages)
        need chromium chromium
        serve "$web_build/site"
        python3 "$page" check "$site/index.html" >"$work/index.log" 2>&1 ||
            fail "index.html: $(cat "$work/index.log")"
        mapfile -t titles < <(sed -n 's/^title: //p' "$work/index.log")
        [ ${#titles[@]} -eq ${#lessons[@]} ] ||
            fail "index.html has ${#titles[@]} lesson headings for ${#lessons[@]} lessons: ${titles[*]}"
        for i in "${!lessons[@]}"; do
            # The heading is the title the program gives its window (the
            # registry's, which its check holds to the source).
            [ "${titles[$i]}" = "$(lesson_title "${lessons[$i]}")" ] ||
                fail "index.html's heading '${titles[$i]}' is not ${lessons[$i]}'s window title."
            adds="$(lesson_field 4 "${lessons[$i]}")"
            grep -qiF "<p>$adds.</p>" "$web_build/site/index.html" ||
                fail "index.html does not say what ${lessons[$i]} adds: '$adds'."
        done
        for lesson in "${lessons[@]}"; do
            # A lesson with a chapter in the guide links to its page.
            if grep -q "^## Lesson ${lesson#velmor}:" "$src/docs/lessons.md"; then
                grep -q "href=\"guide/lesson-${lesson#velmor}-[^\"]*\.html\">Its chapter" "$web_build/site/index.html" ||
                    fail "index.html does not link $lesson to its chapter of the guide."
            fi
        done
        # The guide's pages: every chapter of docs/lessons.md has one, and
        # each holds the contents of all of them and the page before and
        # after (the link check below finds them all); the search finds
        # each page from a word of its text that no title holds.
        chapters="$(grep -c '^## ' "$src/docs/lessons.md")"
        python3 - "$web_build/site/guide" "$chapters" >"$work/guide.log" 2>&1 <<'EOF' || fail "$(cat "$work/guide.log")"
import re, sys
from pathlib import Path

pages = [p for p in Path(sys.argv[1]).glob("*.html")]
problems = []
for page in pages:
    text = page.read_text()
    listed = re.findall(r'<li data-page="([^"]+)"><a href="\1\.html"', text)
    if sorted(listed) != sorted(p.stem for p in pages):
        problems.append(f"{page.name}: its contents list {len(listed)} of the {len(pages)} pages")
    pager = re.search(r'<nav class="pager".*?</nav>', text, flags=re.S)
    if not pager or not re.search(r'rel="(prev|next)"', pager.group(0)):
        problems.append(f"{page.name} has no link to the page before or after it")
# The opening, each chapter, the teacher's page and the notes on performance.
if len(pages) != int(sys.argv[2]) + 3:
    problems.append(f"the guide has {len(pages)} pages for {sys.argv[2]} chapters")
if problems:
    sys.exit("\n".join(problems))
EOF
        python3 "$page" search "$site/guide/lessons.html" >"$work/search.log" 2>&1 ||
            fail "the guide's search: $(tail -n 1 "$work/search.log")"
        # No page of the site, nor its PDF of the guide, holds a dead link,
        # a missing picture or Markdown left unrendered (outside its code).
        need pdftohtml poppler-utils
        python3 - "$web_build/site" >"$work/site.log" 2>&1 <<'EOF' || fail "$(cat "$work/site.log")"
import html, re, subprocess, sys
from pathlib import Path

site = Path(sys.argv[1])
pdf = site / "guide" / "velmor-guide.pdf"
xml = subprocess.run(["pdftohtml", "-xml", "-i", "-stdout", pdf], capture_output=True, text=True).stdout
# pdftohtml names a link within the PDF after the PDF: velmor-guide.html#N.
links = [html.unescape(l) for l in re.findall(r'<a href="([^"#]*)', xml) if l != "velmor-guide.html"]
problems = [f"{pdf.name} links to {l}, which the site lacks beside it." for l in links if not (pdf.parent / l).exists()]
if not links:
    problems.append(f"{pdf.name} has no links to the site's pages.")
for page in sorted(site.rglob("*.html")):
    text = page.read_text()
    name = page.relative_to(site)
    for target in re.findall(r'(?:href|src)="([^"#:]+)["#]', text):
        if not (page.parent / target).exists():
            problems.append(f"{name} links to {target}, which the site lacks.")
    # Every file a source the site shows includes is shown too.
    if page.parent.name == "source":
        for included in re.findall(r'#include</span><span class="w"> </span><span class="cpf">&quot;([\w.]+)&quot;', text):
            if not (page.parent / f"{included}.html").exists():
                problems.append(f"{name} includes {included}, which has no page.")
    prose = re.sub(r"(?s)<(pre|code|script|style)\b.*?</\1>|<!--.*?-->", "", text)
    for markdown in re.findall(r"!?\[[^\]\n]*\]\([^)\n]*\)|\*\*[^*\n]+\*\*|^#{1,6} .*|^```.*", prose, re.M):
        problems.append(f"{name} holds unrendered Markdown: {markdown[:60]}")
if problems:
    sys.exit("\n".join(problems))
EOF
        grep -q "^states: \(velmor[0-9]*=running \?\)*$" "$work/index.log" ||
            fail "not every lesson runs on index.html: $(head -n 1 "$work/index.log")"

        refused chromium --no-webgl velmor3.html "velmor3: This lesson needs WebGL"
        webgl1=(velmor7.html "") # which runs with WebGL 1 alone
        for lesson in "${lessons[@]}"; do
            [[ " $(lesson_field 3 "$lesson") " != *" gl33 "* ]] ||
                webgl1+=("$lesson.html" "$lesson: This lesson needs WebGL 2")
        done
        refused chromium --no-webgl2 "${webgl1[@]}"
        echo "index.html runs ${lessons[*]} under their titles with a clean console; no WebGL, and no WebGL 2 for the lessons built for it, is said."
        ;;

    solutions)
        need compare imagemagick
        need chromium chromium
        serve "$web_build/site"
        # Each against the guide's picture of it.
        expected="$src/docs/exercises"
        shots=()
        for patch in "$src"/docs/exercises/*.patch; do
            name="$(basename "$patch" .patch)"
            shots+=("exercises/$name-bare.html $name $(sed -n '/^diff --git /q; s/^Keys: *//p' "$patch")")
        done
        pictures_match chromium
        ;;

    touch)
        need compare imagemagick
        need chromium chromium
        serve "$web_build/site"
        behind="$(printf 'Right %.0s' $(seq 36))"
        # Pairs of what should draw the same picture, all in one browser.
        pairs=(plus wheel:1  minus wheel:-1  "plus plus" wheel:2/3  wheel:2 pinch:1.25
               minus pinch:0.88  "Left Left Down" drag:20,-10  drag:20,-10 touch:20,-10
               "$behind" "Up plus d r $behind")
        shots=()
        for lesson in "${lessons[@]}"; do
            grep -q " data-mouse>" "$web_build/site/$lesson.html" || continue
            for i in "${!pairs[@]}"; do shots+=("$lesson.html $lesson-$i ${pairs[$i]}"); done
        done
        # A lesson that shows the value under the pointer: a tap shows it
        # where the finger is and pins nothing, as a long press whose pin
        # c clears; a long press pins it: with the camera turned 30 degrees
        # afterwards the pin shows apart from the pointer's value.  (Not
        # compared with the key p, which pins at the middle: the finger's
        # pixel may be one off it.)
        turn="Right Right Right Right Right Right"
        picks=("touch:0,0 $turn" "hold:800 c $turn" "hold:800 $turn")
        picked=()
        for lesson in "${lessons[@]}"; do
            grep -q " data-pick>" "$web_build/site/$lesson.html" || continue
            picked+=("$lesson")
            for i in "${!picks[@]}"; do shots+=("$lesson.html $lesson-pick-$i ${picks[$i]}"); done
        done
        shoot chromium "${shots[@]}"
        for lesson in "${picked[@]}"; do
            compare_pictures --tolerant "$work/$lesson-pick-0-chromium.png" "$work/$lesson-pick-1-chromium.png" || true
            [ "$differing" = 0 ] ||
                fail "$lesson: '${picks[0]}' and '${picks[1]}' should draw the same picture; $differing pixels differ."
            compare_pictures --tolerant "$work/$lesson-pick-0-chromium.png" "$work/$lesson-pick-2-chromium.png" || true
            [ "$differing" -gt 0 ] || fail "$lesson: a long press draws what a tap does: it pinned nothing."
            echo "$lesson: a tap shows the value and pins nothing, a long press pins it"
        done
        for shot in "${shots[@]}"; do
            read -r html picture _ <<<"$shot"
            [[ "$picture" != *-pick-* ]] || continue
            i="${picture##*-}"
            [ $((i % 2)) = 1 ] || continue
            # Both pictures come from the same browser: none may be off at all.
            compare_pictures --tolerant "$work/${picture%-*}-$((i - 1))-chromium.png" "$work/$picture-chromium.png" || true
            echo "${html%.html}: '${pairs[$((i - 1))]:0:40}' and '${pairs[$i]:0:40}': $differing pixels off by more than the tolerance"
            [ "$differing" = 0 ] ||
                fail "${html%.html}: '${pairs[$((i - 1))]}' and '${pairs[$i]}' should draw the same picture; $differing pixels differ."
        done
        ;;

    reach)
        need chromium chromium
        serve "$web_build/site"
        site_pages
        python3 "$page" reach "${pages[@]/#/$site/}" >"$work/reach.log" 2>&1 ||
            fail "not every page fits a phone and passes axe-core: $(grep -v ': 0 violations$\|right edges' "$work/reach.log" | head -n 5)"
        echo "${#pages[@]} pages fit a 360 px screen and pass axe-core's checks of levels A and AA."
        ;;

    engines)
        need convert imagemagick
        need firefox-esr firefox-esr
        need WebKitWebDriver webkit2gtk-driver
        serve "$web_build/site"
        native_pictures
        turned=()
        for lesson in "${lessons[@]}"; do
            turns_camera "$lesson" && turned+=("$lesson")
        done
        site_pages
        fits=(--fits "${pages[@]/#/$site/}")
        for engine in firefox webkit; do
            # In the same browser as the pictures: a lesson's camera turned
            # by its keys, and by a drag that should turn it alike; then
            # every page on a phone's screen.
            drags=()
            for lesson in "${turned[@]}"; do
                drags+=("$lesson.html $lesson-keys Left Left Down" "$lesson.html $lesson-drag drag:20,-10")
            done
            pictures_match "$engine" "${drags[@]}"
            for lesson in "${turned[@]}"; do
                compare_pictures --tolerant "$work/$lesson-keys-$engine.png" "$work/$lesson-drag-$engine.png" || true
                echo "$engine: $lesson: the drag and the keys: $differing pixels off"
                [ "$differing" = 0 ] || fail "$lesson in $engine: a drag turns the camera otherwise than its keys ($differing pixels)."
            done
            refused "$engine" --no-webgl velmor3.html "message: This lesson needs WebGL"
            echo "$engine: ${#lessons[@]} lessons draw as natively, keys and a drag turn ${turned[*]}, ${#pages[@]} pages fit a phone's 360 px."
        done
        ;;

    lost)
        # A lost WebGL context, in each engine: every lesson's page says so
        # and starts the lesson again from its button.
        serve "$web_build/site"
        urls=()
        for lesson in "${lessons[@]}"; do urls+=("$site/$lesson.html"); done
        for engine in chromium firefox webkit; do
            python3 "$page" --engine "$engine" lose "${urls[@]}" >"$work/lose.log" 2>&1 ||
                fail "$engine: $(tail -n 1 "$work/lose.log")"
        done
        echo "every lesson's page, in Chromium, Firefox and WebKitGTK, says a lost WebGL context and starts again."
        ;;

    *) fail "unknown mode '$mode'." ;;
esac
