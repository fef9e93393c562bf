#!/usr/bin/env bash
# Checks the README's first command, scripts/show, as a user without a
# display meets it: a bad lesson is refused before anything is built; with
# no display it sets up, configures and builds a fresh build folder, then
# saves a screenshot and says where.  The screenshot must be what the
# lesson draws, here the same as a snapshot from the test build.
#   show_check.sh SOURCE_DIR BUILD_DIR SHOW_BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"

src="$1"
build="$2"
show_build="$3"
show="$src/scripts/show"
need convert imagemagick
need Xvfb xvfb

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-show.XXXXXX")"
trap 'rm -rf "$work"' EXIT
unset DISPLAY
export VELMOR_BUILD_DIR="$show_build"

# --- refused at once -----------------------------------------------------------
rm -rf "$show_build"
status=0
"$show" velmor9 >"$work/out" 2>"$work/err" || status=$?
[ $status -ne 0 ] || fail "scripts/show velmor9 succeeded."
grep -qF "unknown lesson 'velmor9'" "$work/err" || fail "scripts/show velmor9 said: $(cat "$work/err")"
[ ! -e "$show_build" ] || fail "scripts/show velmor9 configured a build before refusing."
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
    [ "$said" = "No display: saved a screenshot of $lesson to $show_build/$lesson.png" ] ||
        fail "scripts/show $request ended with '$said'."
    "$src/scripts/snapshot" --build-dir "$build" "$lesson" "$work/$lesson.png" ||
        fail "no snapshot of $lesson from the test build."
    differing="$(pixel_count "$show_build/$lesson.png" "$work/$lesson.png")"
    [ "$differing" = 0 ] || fail "scripts/show's picture of $lesson differs from the lesson's in $differing pixels."
done
echo "scripts/show builds from nothing and saves the lesson's picture when there is no display."
