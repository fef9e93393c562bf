# shellcheck shell=bash
# common.sh - what the tool tests share.  Each is run as
# "SCRIPT SOURCE_DIR [BUILD_DIR ...]": sourcing this sets the strict mode
# every one of them runs in, $src and $build from those two arguments (a
# script called otherwise sets its own), and reads the lesson registry
# (scripts/lessons.sh); the helpers below fail with a reason and insist on
# the tools a test needs instead of skipping without them.
set -euo pipefail
src="${1:?usage: SCRIPT SOURCE_DIR [BUILD_DIR ...]}"
build="${2:-}"
arguments=("$@")
source "${BASH_SOURCE[0]%/*}/../../scripts/lessons.sh"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# problem MESSAGE: a failure that lets a test go on to find the others;
# $failures counts them, and the test fails at its end if there are any.
failures=0
problem() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# need COMMAND PACKAGE...: a missing tool fails the test and names the
# Debian package that brings it.
need() {
    while [ $# -ge 2 ]; do
        command -v "$1" >/dev/null 2>&1 ||
            fail "'$1' is missing: install the Debian package $2 (scripts/setup --tests installs everything)."
        shift 2
    done
}

# one_display: the test starts again under capture --run, whose private Xvfb
# all its pictures share (a display each costs about 0.3 s).  Needs $build.
one_display() {
    [ -n "${VELMOR_ONE_DISPLAY:-}" ] ||
        VELMOR_ONE_DISPLAY=1 exec "${build:?}/tools/capture/capture" --run bash "$0" "${arguments[@]}"
}

# compare_pictures [--tolerant | --close] A.png B.png [DIFF.png]: the one comparer
# of pictures (tools/capture/capture --compare; harness.h names the tolerance and
# why).  Sets $differing to how many pixels differ (with --tolerant, --close: are
# off by more than the tolerance), writes where to DIFF.png if given, and
# succeeds if the two count as the same.  Pictures that cannot be compared
# fail the test.  Needs $build, the build folder.
compare_pictures() {
    local status=0
    differing="$("${build:?}/tools/capture/capture" --compare "$@")" || status=$?
    [ $status -ne 2 ] || fail "could not compare the pictures $*."
    return $status
}

# rgb FILE X Y [COUNT]: the pixel at (X, Y), and the COUNT - 1 after it
# in the same row, one "R,G,B" in 8 bits a line.
rgb() {
    convert "$1" -crop "${4:-1}x1+$2+$3" +repage -depth 8 txt:- |
        sed -n '2,$s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

# recorded KEY [FILE]: what FILE (docs/pictures.txt, written by scripts/gallery)
# records the pictures were made with.  Needs $src.
recorded() { sed -n "s/^$1 //p" "${2:-$src/docs/pictures.txt}"; }

# renderer_tolerance: rendering is exact on the Mesa build and processor
# recorded in docs/pictures.txt; on another, small rasterisation differences
# are expected, so pictures are compared with the comparer's tolerance for
# another renderer (which this says), while a real change to a lesson, such
# as a wrong drawing order or shading model, changes far more.  Sets
# $tolerance, the comparer's option (empty or --tolerant), and $comparison.
renderer_tolerance() {
    local mesa
    mesa="$(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown)"
    tolerance=()
    comparison=exact
    if [ "$(recorded mesa)" != "$mesa" ] || [ "$(recorded machine)" != "$(uname -m)" ]; then
        tolerance=(--tolerant)
        comparison=tolerant
        echo "NOTE: docs/ was rendered with Mesa $(recorded mesa) on $(recorded machine); this is Mesa $mesa on $(uname -m), so pictures are compared with the tolerance for another renderer (harness/harness.h)."
    fi
}

# same_as_committed [--tolerant | --size] PATH PICTURE: the committed
# $src/PATH still shows PICTURE, made now: to the pixel, within the
# tolerance for another renderer, or (--size) in its size only.  A
# difference is a problem, drawn beside PICTURE as diff-NAME.
same_as_committed() {
    local option=""
    [[ "$1" != --* ]] || { option="$1"; shift; }
    local committed="$src/$1" made="$2" diff="${2%/*}/diff-${2##*/}" size
    size="$(identify -format '%wx%h' "$made" 2>/dev/null || echo none)"
    if [ ! -r "$committed" ]; then
        problem "$1 is missing: run scripts/gallery and commit docs/."
    elif [ "$(identify -format '%wx%h' "$committed")" != "$size" ]; then
        problem "$1 is $(identify -format '%wx%h' "$committed"), the programs now make $size: run scripts/gallery and commit docs/."
    elif [ "$option" != --size ] && ! compare_pictures ${option:+"$option"} "$committed" "$made" "$diff"; then
        problem "$1 differs from what the programs draw now in $differing pixels${option:+ beyond the tolerance for another renderer} (see $diff); if that change is intended, run scripts/gallery and commit docs/."
    fi
}
