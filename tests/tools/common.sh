# shellcheck shell=bash
# common.sh - helpers the tool tests source: failing with a reason, and
# insisting on the tools a test needs instead of skipping without them.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# need COMMAND PACKAGE: a missing tool fails the test and names the Debian
# package that brings it.
need() {
    command -v "$1" >/dev/null 2>&1 ||
        fail "'$1' is missing: install the Debian package $2 (scripts/setup --tests installs everything)."
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
