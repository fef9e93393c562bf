#!/usr/bin/env bash
# Checks the README's first command, scripts/show, as a user meets it: a
# bad lesson is refused before anything is built; with no display it sets
# up, configures and builds a fresh build folder, then saves a screenshot
# and says where (the screenshot must be what the lesson draws: the same as
# a snapshot from the test build); with a display it opens the lesson's
# window and leaves it open.
#   show_check.sh SOURCE_DIR BUILD_DIR SHOW_BUILD_DIR
# The case with a display runs the script again on a private display of the
# capture tool's (capture --run), with --with-display after the folders.
source "$(dirname "$0")/common.sh"

show_build="$3"
show="$src/scripts/show"
need convert imagemagick Xvfb xvfb

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-show.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export VELMOR_BUILD_DIR="$show_build"

# --- with a display: the lesson opens in a window and stays ---------------------
if [ "${4:-}" = --with-display ]; then
    need xdotool xdotool
    lesson_pid=""
    stop_all() {
        [ -z "$lesson_pid" ] || kill "$lesson_pid" 2>/dev/null || true
        wait 2>/dev/null || true
        rm -rf "$work"
    }
    trap stop_all EXIT
    # show replaces itself with the lesson, so its process is the lesson's.
    "$show" velmor5 >"$work/out" 2>&1 &
    lesson_pid=$!
    window=""
    for _ in $(seq 300); do
        window="$(xdotool search --name '^5\. Adding the domain grid$' 2>/dev/null | head -n 1 || true)"
        [ -n "$window" ] && break
        kill -0 $lesson_pid 2>/dev/null || fail "scripts/show velmor5 ended with a display: $(tail -n 3 "$work/out")"
        sleep 0.1
    done
    [ -n "$window" ] || fail "scripts/show velmor5 opened no window within 30 s."
    grep -qF "Showing velmor5; close its window to finish." "$work/out" ||
        fail "scripts/show did not say what it shows: $(tail -n 3 "$work/out")"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "${WIDTH}x${HEIGHT}" = 500x500 ] || fail "the lesson's window is ${WIDTH}x${HEIGHT}, not 500x500."
    sleep 1
    kill -0 $lesson_pid 2>/dev/null || fail "the lesson did not stay open."
    exit 0
fi

unset DISPLAY

# --- refused at once -----------------------------------------------------------
rm -rf "$show_build"
status=0
"$show" velmor0 >"$work/out" 2>"$work/err" || status=$?
[ $status -ne 0 ] || fail "scripts/show velmor0 succeeded."
grep -qF "unknown lesson 'velmor0'" "$work/err" || fail "scripts/show velmor0 said: $(cat "$work/err")"
[ ! -e "$show_build" ] || fail "scripts/show velmor0 configured a build before refusing."
"$show" --help >"$work/out" 2>"$work/err" || fail "scripts/show --help failed: $(cat "$work/err")"
grep -q '^usage:' "$work/out" || fail "scripts/show --help printed: $(cat "$work/out")"
status=0
"$show" velmor3 velmor4 >"$work/out" 2>"$work/err" || status=$?
if [ $status -ne 2 ] || ! grep -q '^usage:' "$work/err"; then
    fail "two lessons at once gave status $status and: $(cat "$work/err")"
fi

# --- the whole way, twice: the default lesson, then a chosen one ---------------
for request in "" velmor4; do
    lesson="${request:-velmor3}"
    "$show" ${request:+"$request"} >"$work/out" 2>&1 ||
        fail "scripts/show $request failed: $(tail -n 5 "$work/out")"
    said="$(tail -n 1 "$work/out")"
    [ "$said" = "No display (DISPLAY is not set): saved a screenshot of $lesson to $show_build/$lesson.png" ] ||
        fail "scripts/show $request ended with '$said'."
    "$src/scripts/snapshot" --build-dir "$build" "$lesson" "$work/$lesson.png" ||
        fail "no snapshot of $lesson from the test build."
    compare_pictures "$show_build/$lesson.png" "$work/$lesson.png" || fail "scripts/show's picture of $lesson differs from the lesson's in $differing pixels."
done

"$build/tools/capture/capture" --run bash "$0" "$src" "$build" "$show_build" --with-display ||
    fail "the case with a display failed."
echo "scripts/show builds from nothing, saves the lesson's picture with no display, and opens its window with one."
