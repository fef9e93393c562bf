#!/usr/bin/env bash
# Checks the web edition in headless Chromium (tests/web/page.py drives it).
#   web_check.sh build    SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#   web_check.sh pictures SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#   web_check.sh pages    SOURCE_DIR BUILD_DIR WEB_BUILD_DIR WERROR
#
# build:    compiles the browser build (web/) with emscripten, as
#           scripts/web does, into WEB_BUILD_DIR.
# pictures: every bare lesson page against the native program's picture,
#           taken now from BUILD_DIR.  The two are drawn by different
#           rasterisers (Mesa's llvmpipe natively, SwiftShader under WebGL
#           in the browser) through different pipelines (fixed function
#           versus the emulation's shaders), so edges and blending round
#           differently by a level here and there; natively the pictures
#           are compared exactly, since the same driver draws them.  At
#           most 1 % of the pixels may differ by more than 10 %; 0.1 % for
#           a lesson drawn with buffers and shaders (modern.h), which
#           runs the same shaders on both with no emulation between, so
#           only the rasterisers' rounding at edges differs.  Then the
#           same check fails with glfix.cpp's line-mode repair left out, on
#           the two lessons that draw their grid in line mode.  A lesson
#           that takes the arrow keys (lesson 7) is also turned round
#           with them in both, with its depth test on and off.
# pages:    index.html loads with no error in the console, every lesson on
#           it runs, and its headings are the lessons' window titles; a
#           bare page without WebGL says so, and one of a lesson built for
#           WebGL 2 says so in a browser with WebGL 1 only, where the
#           lessons before it still run.
set -euo pipefail
source "$(dirname "$0")/../tools/common.sh"

mode="$1"
src="$2"
build="$3"
web_build="$4"
werror="$5"
page="$(dirname "$0")/page.py"

# 1 % of a 500 x 500 picture, and what counts as a different pixel.
readonly MAX_DIFFERING=2500
readonly MAX_DIFFERING_MODERN=250
readonly FUZZ=10%

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

# differing LESSON [PICTURE KEY...]: pixels of the browser's picture that
# differ from the native one ($work/PICTURE.png, LESSON.png by default),
# both taken after the KEYs, by more than the fuzz.
differing() {
    local lesson="$1" picture="${2:-$1}"
    python3 "$page" shot "$site/$lesson.html" "$work/$picture-web.png" "${@:3}" >"$work/page.log" 2>&1 ||
        fail "$lesson's page did not draw: $(cat "$work/page.log")"
    local count
    count="$(compare -fuzz "$FUZZ" -metric AE "$work/$picture.png" "$work/$picture-web.png" null: 2>&1 || true)"
    [[ "$count" =~ ^[0-9]+$ ]] || fail "comparing $1's pictures failed: $count"
    echo "$count"
}

lessons=()
for source in "$src"/lessons/velmor*.cpp; do
    lessons+=("$(basename "$source" .cpp)")
done

# allowed LESSON: how many pixels of LESSON may differ.
allowed() {
    if grep -q '^#include "modern.h"' "$src/lessons/$1.cpp"; then
        echo $MAX_DIFFERING_MODERN
    else
        echo $MAX_DIFFERING
    fi
}

case "$mode" in
    build)
        need emcmake emscripten
        compile_web "$web_build"
        for lesson in "${lessons[@]}"; do
            [ -f "$web_build/site/$lesson.js" ] && [ -f "$web_build/site/$lesson.html" ] ||
                fail "the site has no page or program for $lesson."
        done
        echo "built the web edition of ${lessons[*]}"
        ;;

    pictures)
        need compare imagemagick
        need chromium chromium
        serve "$web_build/site"
        for lesson in "${lessons[@]}"; do
            "$src/scripts/snapshot" --build-dir "$build" --private-display "$lesson" "$work/$lesson.png" ||
                fail "no native picture of $lesson."
            count="$(differing "$lesson")"
            echo "$lesson: $count pixels differ by more than $FUZZ"
            [ "$count" -le "$(allowed "$lesson")" ] ||
                fail "$lesson in the browser differs from the native picture in $count pixels (at most $(allowed "$lesson"))."
        done

        # The keys reach a lesson in its page: turned to the far side, with
        # the depth test and without it, as the native program draws it.
        behind=()
        for _ in $(seq 36); do behind+=(Right); done
        for lesson in "${lessons[@]}"; do
            grep -q glutSpecialFunc "$src/lessons/$lesson.cpp" || continue
            for keys in "${behind[*]}" "${behind[*]} d"; do
                picture="$lesson-${keys##* }"
                "$src/scripts/snapshot" --build-dir "$build" --private-display --keys "$keys" \
                    "$lesson" "$work/$picture.png" || fail "no native picture of $lesson after '$keys'."
                read -r -a key_list <<<"$keys"
                count="$(differing "$lesson" "$picture" "${key_list[@]}")"
                echo "$lesson after ${#key_list[@]} keys (last ${keys##* }): $count pixels differ by more than $FUZZ"
                [ "$count" -le "$(allowed "$lesson")" ] ||
                    fail "$lesson after the keys '${keys##* }' differs from the native picture in $count pixels (at most $(allowed "$lesson"))."
            done
        done

        # Without the line-mode repair the grid of lessons 5 and 6 is a
        # filled black plane, and the check must see it.
        variant="$web_build-line-mode"
        compile_web "$variant" -DVELMOR_WEB_LEAVE_OUT=line-mode -- velmor5 velmor6
        cp "$web_build"/site/{lesson.js,velmor5.html,velmor6.html} "$variant/site/"
        serve "$variant/site"
        for lesson in velmor5 velmor6; do
            count="$(differing "$lesson")"
            echo "$lesson without the line-mode repair: $count pixels differ"
            [ "$count" -gt $MAX_DIFFERING ] ||
                fail "$lesson passes the picture check even without the line-mode repair ($count pixels)."
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
            # The heading is the title the program gives its window.
            grep -qF "\"${titles[$i]}\"" "$src/lessons/${lessons[$i]}.cpp" ||
                fail "index.html's heading '${titles[$i]}' is not ${lessons[$i]}'s window title."
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
        grep -q "^states: \(velmor[0-9]*=running \?\)*$" "$work/index.log" ||
            fail "not every lesson runs on index.html: $(head -n 1 "$work/index.log")"

        status=0
        python3 "$page" check "$site/velmor3.html" --disable-webgl >"$work/nowebgl.log" 2>&1 || status=$?
        [ $status -ne 0 ] && grep -q "velmor3: This lesson needs WebGL" "$work/nowebgl.log" ||
            fail "velmor3.html without WebGL gave status $status and: $(cat "$work/nowebgl.log")"
        for source in $(grep -l '^#include "modern.h"' "$src"/lessons/velmor*.cpp); do
            lesson="$(basename "$source" .cpp)"
            status=0
            python3 "$page" check "$site/$lesson.html" --disable-webgl2 >"$work/nowebgl2.log" 2>&1 || status=$?
            [ $status -ne 0 ] && grep -q "$lesson: This lesson needs WebGL 2" "$work/nowebgl2.log" ||
                fail "$lesson.html without WebGL 2 gave status $status and: $(cat "$work/nowebgl2.log")"
        done
        python3 "$page" check "$site/velmor7.html" --disable-webgl2 >"$work/webgl1.log" 2>&1 ||
            fail "velmor7.html does not run with WebGL 1 alone: $(cat "$work/webgl1.log")"
        echo "index.html runs ${lessons[*]} under their titles with a clean console; no WebGL, and no WebGL 2 for the lessons built for it, is said."
        ;;

    *) fail "unknown mode '$mode'." ;;
esac
