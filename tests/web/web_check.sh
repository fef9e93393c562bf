#!/usr/bin/env bash
# Checks the web edition in headless Chromium (tests/web/page.py drives it).
#   web_check.sh build    SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#   web_check.sh pictures SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#   web_check.sh pages    SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#   web_check.sh solutions | touch | reach  (the same arguments)
#
# build:    compiles the browser build (web/) with emscripten, as
#           scripts/web does, into WEB_BUILD_DIR.
# pictures: every bare lesson page against the native program's picture,
#           taken now from BUILD_DIR.  The two are drawn by different
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
#           what the site lacks or holds unrendered Markdown.
# solutions: each exercise's solution page draws the guide's picture of
#           it (docs/exercises/NAME.png, after the patch's Keys), with the
#           tolerance of the lessons' pictures.
# touch:    on a lesson that takes the mouse, one wheel notch moves as far
#           as one + or - (also when the notch comes in parts), a pinch as
#           far as the wheel, a drag with the mouse or one finger turns as
#           the arrow keys do, and r brings back the camera and the depth
#           test.
# reach:    every page fits a 360 px wide phone, and index.html, the lesson
#           pages, the guide and the solution pages pass axe-core's checks
#           of levels A and AA.
set -euo pipefail
source "$(dirname "$0")/../tools/common.sh"
source "$(dirname "$0")/../../scripts/lessons.sh"

mode="$1"
src="$2"
build="$3"
web_build="$4"
werror="$5"
page="$(dirname "$0")/page.py"

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-web.XXXXXX")"
server_pid=""
stop_all() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop_all EXIT
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# compile_web DIR [CMAKE OPTION...] [-- TARGET...]
compile_web() {
    local dir="$1" options=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ $# -eq 0 ] || targets=(--target "${@:2}")
    emcmake cmake -S "$src/web" -B "$dir" -DVELMOR_WERROR="$werror" "${options[@]}" \
        >"$work/configure.log" 2>&1 || fail "configuring $dir failed: $(tail -n 5 "$work/configure.log")"
    cmake --build "$dir" --parallel 2 "${targets[@]}" >"$work/build.log" 2>&1 ||
        fail "building $dir failed: $(grep -m 5 -E 'error|Error' "$work/build.log")"
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

# like_native LESSON [PICTURE KEY...]: takes the browser's picture after
# the KEYs and compares it, with the tolerance (the closer one for a lesson
# drawn with shaders), with the native one
# ($work/PICTURE.png, LESSON.png by default); sets $differing to the
# pixels that are off and succeeds if they are few enough.
like_native() {
    local lesson="$1" picture="${2:-$1}"
    python3 "$page" shot "$site/$lesson.html" "$work/$picture-web.png" "${@:3}" >"$work/page.log" 2>&1 ||
        fail "$lesson's page did not draw: $(cat "$work/page.log")"
    local match=--tolerant
    [[ " $(lesson_field 3 "$lesson") " != *" gl33 "* ]] || match=--close
    compare_pictures "$match" "$work/$picture.png" "$work/$picture-web.png"
}

# The site's lessons: those of lessons/lessons.txt that the web build's
# configure did not leave out.
lessons=()
read_lessons() {
    mapfile -t lessons < <(lessons_built_in "$web_build")
    [ ${#lessons[@]} -gt 0 ] || fail "the web build in $web_build makes no lessons."
}
[ "$mode" = build ] || read_lessons

case "$mode" in
    build)
        need emcmake emscripten
        compile_web "$web_build"
        read_lessons
        for lesson in "${lessons[@]}"; do
            [ -f "$web_build/site/$lesson.js" ] && [ -f "$web_build/site/$lesson.html" ] ||
                fail "the site has no page or program for $lesson."
        done
        echo "built the web edition of ${lessons[*]}"
        ;;

    pictures)
        need convert imagemagick
        need chromium chromium
        serve "$web_build/site"
        for lesson in "${lessons[@]}"; do
            "$src/scripts/snapshot" --build-dir "$build" --private-display "$lesson" "$work/$lesson.png" ||
                fail "no native picture of $lesson."
            same=yes
            like_native "$lesson" || same=no
            echo "$lesson: $differing pixels off beyond the tolerance"
            [ $same = yes ] ||
                fail "$lesson in the browser differs from the native picture in $differing pixels, more than the tolerance allows."
        done

        # The keys reach a lesson in its page: turned to the far side, with
        # the depth test and without it, as the native program draws it.
        behind=()
        for _ in $(seq 36); do behind+=(Right); done
        for lesson in "${lessons[@]}"; do
            grep -q "^[^#]*\b$lesson\b[^|]* | Right " "$src/lessons/controls.txt" || continue
            for keys in "${behind[*]}" "${behind[*]} d"; do
                picture="$lesson-${keys##* }"
                "$src/scripts/snapshot" --build-dir "$build" --private-display --keys "$keys" \
                    "$lesson" "$work/$picture.png" || fail "no native picture of $lesson after '$keys'."
                read -r -a key_list <<<"$keys"
                same=yes
                like_native "$lesson" "$picture" "${key_list[@]}" || same=no
                echo "$lesson after ${#key_list[@]} keys (last ${keys##* }): $differing pixels off beyond the tolerance"
                [ $same = yes ] ||
                    fail "$lesson after the keys '${keys##* }' differs from the native picture in $differing pixels, more than the tolerance allows."
            done
        done

        # Without the line-mode repair the grid of lessons 5 and 6 is a
        # filled black plane, and the check must see it.
        variant="$web_build-line-mode"
        compile_web "$variant" -DVELMOR_WEB_LEAVE_OUT=line-mode -- velmor5 velmor6
        cp "$web_build"/site/{lesson.js,bare.css,velmor5.html,velmor6.html} "$variant/site/"
        serve "$variant/site"
        for lesson in velmor5 velmor6; do
            same=yes
            like_native "$lesson" || same=no
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
            # A lesson with a chapter in the guide links to it.
            if grep -q "^## Lesson ${lesson#velmor}:" "$src/docs/lessons.md"; then
                anchor="$(grep -o "href=\"guide/lessons.html#[^\"]*\">Its chapter" \
                    "$web_build/site/index.html" | grep -m 1 -o "#lesson-${lesson#velmor}-[^\"]*")" ||
                    fail "index.html does not link $lesson to its chapter of the guide."
                grep -q "id=\"${anchor#\#}\"" "$web_build/site/guide/lessons.html" ||
                    fail "the guide has no chapter $anchor for $lesson."
            fi
        done
        # Every link between the site's pages leads to a file of the site.
        for html in "$web_build"/site/index.html "$web_build"/site/guide/lessons.html; do
            while read -r target; do
                [ -e "$(dirname "$html")/${target%%#*}" ] || fail "$html links to $target, which the site lacks."
            done < <(grep -o '\(href\|src\)="[^"#:][^":]*"' "$html" | sed 's/^[a-z]*="//; s/"$//')
        done
        # No page of the site holds a dead link, a missing picture or
        # Markdown left unrendered (outside its code).
        python3 - "$web_build/site" >"$work/site.log" 2>&1 <<'EOF' || fail "$(cat "$work/site.log")"
import re, sys
from pathlib import Path

site = Path(sys.argv[1])
problems = []
for page in sorted(site.rglob("*.html")):
    text = page.read_text()
    name = page.relative_to(site)
    for target in re.findall(r'(?:href|src)="([^"#:]+)["#]', text):
        if not (page.parent / target).exists():
            problems.append(f"{name} links to {target}, which the site lacks.")
    prose = re.sub(r"(?s)<(pre|code|script|style)\b.*?</\1>|<!--.*?-->", "", text)
    for markdown in re.findall(r"!?\[[^\]\n]*\]\([^)\n]*\)|\*\*[^*\n]+\*\*|^#{1,6} .*|^```.*", prose, re.M):
        problems.append(f"{name} holds unrendered Markdown: {markdown[:60]}")
if problems:
    sys.exit("\n".join(problems))
EOF
        grep -q "^states: \(velmor[0-9]*=running \?\)*$" "$work/index.log" ||
            fail "not every lesson runs on index.html: $(head -n 1 "$work/index.log")"

        status=0
        python3 "$page" check "$site/velmor3.html" --disable-webgl >"$work/nowebgl.log" 2>&1 || status=$?
        [ $status -ne 0 ] && grep -q "velmor3: This lesson needs WebGL" "$work/nowebgl.log" ||
            fail "velmor3.html without WebGL gave status $status and: $(cat "$work/nowebgl.log")"
        for lesson in "${lessons[@]}"; do
            [[ " $(lesson_field 3 "$lesson") " == *" gl33 "* ]] || continue
            status=0
            python3 "$page" check "$site/$lesson.html" --disable-webgl2 >"$work/nowebgl2.log" 2>&1 || status=$?
            [ $status -ne 0 ] && grep -q "$lesson: This lesson needs WebGL 2" "$work/nowebgl2.log" ||
                fail "$lesson.html without WebGL 2 gave status $status and: $(cat "$work/nowebgl2.log")"
        done
        python3 "$page" check "$site/velmor7.html" --disable-webgl2 >"$work/webgl1.log" 2>&1 ||
            fail "velmor7.html does not run with WebGL 1 alone: $(cat "$work/webgl1.log")"
        echo "index.html runs ${lessons[*]} under their titles with a clean console; no WebGL, and no WebGL 2 for the lessons built for it, is said."
        ;;

    solutions)
        need compare imagemagick
        need chromium chromium
        serve "$web_build/site"
        mkdir -p "$work/exercises"
        for patch in "$src"/docs/exercises/*.patch; do
            name="$(basename "$patch" .patch)"
            cp "$src/docs/exercises/$name.png" "$work/$name.png"
            read -r -a key_list <<<"$(sed -n '/^diff --git /q; s/^Keys: *//p' "$patch")"
            like_native "exercises/$name-bare" "$name" "${key_list[@]}" ||
                fail "the solution page of $name differs from the guide's picture in $differing pixels, more than the tolerance."
            echo "$name: $differing pixels off by more than the tolerance"
        done
        ;;

    touch)
        need compare imagemagick
        need chromium chromium
        serve "$web_build/site"
        behind=()
        for _ in $(seq 36); do behind+=(Right); done
        # same LESSON "KEYS" "KEYS": the two pictures are the same.
        same() {
            python3 "$page" shot "$site/$1.html" "$work/a.png" $2 >"$work/page.log" 2>&1 &&
                python3 "$page" shot "$site/$1.html" "$work/b.png" $3 >>"$work/page.log" 2>&1 ||
                fail "$1's page did not draw: $(cat "$work/page.log")"
            # Both pictures come from the same browser: none may be off at all.
            compare_pictures --tolerant "$work/a.png" "$work/b.png" || true
            echo "$1: '$2' and '$3': $differing pixels off by more than the tolerance"
            [ "$differing" = 0 ] || fail "$1: '$2' and '$3' should draw the same picture; $differing pixels differ."
        }
        for lesson in "${lessons[@]}"; do
            grep -q " data-mouse>" "$web_build/site/$lesson.html" || continue
            same "$lesson" plus wheel:1
            same "$lesson" minus wheel:-1
            same "$lesson" "plus plus" wheel:2/3
            same "$lesson" wheel:2 pinch:1.25
            same "$lesson" minus pinch:0.88
            same "$lesson" "Left Left Down" drag:20,-10
            same "$lesson" drag:20,-10 touch:20,-10
            same "$lesson" "${behind[*]}" "Up plus d r ${behind[*]}"
        done
        ;;

    reach)
        need chromium chromium
        serve "$web_build/site"
        pages=(index.html guide/lessons.html)
        for lesson in "${lessons[@]}"; do pages+=("$lesson.html"); done
        for html in "$web_build"/site/exercises/*.html; do pages+=("exercises/$(basename "$html")"); done
        python3 "$page" fits "${pages[@]/#/$site/}" >"$work/fits.log" 2>&1 ||
            fail "not every page fits a phone: $(tail -n 1 "$work/fits.log")"
        python3 "$page" axe "${pages[@]/#/$site/}" >"$work/axe.log" 2>&1 ||
            fail "axe-core finds faults: $(grep -v ': 0 violations$' "$work/axe.log" | head -n 5)"
        echo "${#pages[@]} pages fit a 360 px screen and pass axe-core's checks of levels A and AA."
        ;;

    *) fail "unknown mode '$mode'." ;;
esac
