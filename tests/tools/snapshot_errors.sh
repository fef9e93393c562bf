#!/usr/bin/env bash
# Checks scripts/snapshot where it can go wrong: every bad request ends at
# once with a one-sentence reason and a non-zero status; a program that
# never shows or never draws its window is given up on after the timeout;
# and whatever the script started (program, Xvfb) is gone afterwards, also
# when the script itself is stopped.  One good request at a chosen size
# checks the resize path.
#   snapshot_errors.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/common.sh"

snapshot="$src/scripts/snapshot"
blank="$build/tests/tools/blank_window"
need Xvfb xvfb xdotool xdotool convert imagemagick
[ -x "$blank" ] || fail "$blank is not built."

work="$(mktemp -d "${TMPDIR:-/tmp}/snapshot-errors.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Every case runs without a display of its own, as in CI, with a short
# timeout; the outer limit catches a script that hangs anyway.
unset DISPLAY
export VELMOR_SNAPSHOT_TIMEOUT=3
readonly HANG_LIMIT=30

# expect_error WANTED_TEXT ARGS...: the script fails quickly and says
# WANTED_TEXT.  It runs with $snapshot_path as its PATH when that is set.
expect_error() {
    local wanted="$1" status=0
    shift
    timeout $HANG_LIMIT env PATH="${snapshot_path:-$PATH}" "$snapshot" --build-dir "$build" "$@" \
        >"$work/out" 2>"$work/err" || status=$?
    [ $status -ne 124 ] || fail "snapshot $* hung for $HANG_LIMIT s."
    [ $status -ne 0 ] || fail "snapshot $* succeeded; it should have failed with '$wanted'."
    grep -qF "$wanted" "$work/err" ||
        fail "snapshot $* failed without saying '$wanted'; it said: $(cat "$work/err")"
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "snapshot $* said more than one line: $(cat "$work/err")"
    [ ! -e "$work/x.png" ] || fail "snapshot $* left a picture behind."
}

# --- bad requests ---------------------------------------------------------
expect_error "unknown lesson 'velmor99'" velmor99 "$work/x.png"
expect_error "unknown lesson 'flat'" flat "$work/x.png"
for size in 0x10 640 640x x480 5000x10 64ox480 640x480x2 " 640x480"; do
    expect_error "bad size '$size'" velmor4 "$work/x.png" "$size"
done
expect_error "does not exist" velmor4 "$work/no/such/folder/x.png"
expect_error "unknown option '--wait'" --wait velmor4 "$work/x.png"
expect_error "bad key name '+'" --keys "Right +" velmor7 "$work/x.png"
VELMOR_SNAPSHOT_TIMEOUT=soon expect_error "VELMOR_SNAPSHOT_TIMEOUT must be a whole number" velmor4 "$work/x.png"

mkdir "$work/empty-build"
expect_error "velmor5 is not built yet" --build-dir "$work/empty-build" velmor5 "$work/x.png"
grep -qF "cmake --build $work/empty-build" "$work/err" || fail "the not-built message does not say how to build that build folder."
expect_error "does not exist or is not executable" --program "$work/nothing" velmor5 "$work/x.png"

# A tool missing from PATH: only the commands the script needs up to that check.
mkdir "$work/bin"
for tool in bash dirname env timeout; do
    ln -s "$(command -v $tool)" "$work/bin/$tool"
done
snapshot_path="$work/bin" expect_error "install the Debian package imagemagick" velmor4 "$work/x.png"
for tool in convert xdotool; do
    ln -s "$(command -v $tool)" "$work/bin/$tool"
done
snapshot_path="$work/bin" expect_error "install the Debian package xvfb" velmor4 "$work/x.png"

# --- programs that misbehave ------------------------------------------------
# sleep refuses -geometry and ends at once.
expect_error "ended (exit status 1) before showing its window" --program "$(command -v sleep)" velmor4 "$work/x.png"

# A program that runs but never opens a window.  It notes its process,
# its display and the process of that display's server (snapshot starts
# both), so that we can check all are gone afterwards.  The server's
# process, not its display number: other tests running beside this one
# start servers of their own, and one may take the number once it is free.
cat >"$work/silent" <<FAKE
#!/bin/sh
echo \$\$ >"$work/silent.pid"
pgrep -P \$PPID -x Xvfb >"$work/silent.server"
echo "\$DISPLAY" >"$work/silent.display"
exec sleep 600
FAKE
chmod +x "$work/silent"
started=$SECONDS
expect_error "showed no window titled '4. Smooth shaded graph' within 3 s" --program "$work/silent" velmor4 "$work/x.png"
[ $((SECONDS - started)) -le 10 ] || fail "the 3 s timeout took $((SECONDS - started)) s."

gone() { # WHAT: the fake program and its display's server, as it noted them, have ended
    local pid display server
    pid="$(cat "$work/silent.pid")" display="$(cat "$work/silent.display")" server="$(cat "$work/silent.server")"
    ! kill -0 "$pid" 2>/dev/null || fail "$1: the program ($pid) is still running."
    [ -n "$display" ] || fail "$1: the program saw no DISPLAY."
    [ -n "$server" ] || fail "$1: the program found no server for $display."
    ! kill -0 "$server" 2>/dev/null || fail "$1: the private display's server ($server, $display) is still running."
}
gone "after the timeout"

# A window that is never drawn into is not a picture.
expect_error "did not draw a steady frame within 3 s" --program "$blank" velmor4 "$work/x.png"

# Stopped from outside while it waits: it still cleans up.
rm -f "$work/silent.pid" "$work/silent.display" "$work/silent.server"
VELMOR_SNAPSHOT_TIMEOUT=60 "$snapshot" --program "$work/silent" velmor4 "$work/x.png" 2>/dev/null &
snapshot_pid=$!
for _ in $(seq 100); do
    [ -s "$work/silent.display" ] && break
    sleep 0.1
done
[ -s "$work/silent.display" ] || fail "the fake program never started."
kill -TERM $snapshot_pid
status=0
wait $snapshot_pid || status=$?
[ $status -ne 0 ] || fail "snapshot stopped by SIGTERM reported success."
gone "after SIGTERM"

# --- a good request at another size ------------------------------------------
"$snapshot" --build-dir "$build" velmor4 "$work/wide.png" 320x200 ||
    fail "snapshot of velmor4 at 320x200 failed."
read -r width height colours < <(convert "$work/wide.png" -format '%w %h %k\n' info:)
[ "$width x $height" = "320 x 200" ] || fail "the 320x200 snapshot is $width x $height."
[ "$(rgb "$work/wide.png" 0 0)" = "255,255,255" ] || fail "the 320x200 snapshot has no white background."
[ "$(rgb "$work/wide.png" 160 100)" != "255,255,255" ] || fail "the 320x200 snapshot shows no surface in the middle."
[ "$colours" -gt 20 ] || fail "the 320x200 snapshot has only $colours colours: not a lit surface."

# --- the comparer's command line: its status says same, different or cannot --
convert "$work/wide.png" -fill black -draw 'point 160,100' "$work/dot.png"
compare_pictures "$work/wide.png" "$work/wide.png" || fail "a picture differs from itself in $differing pixels."
! compare_pictures "$work/wide.png" "$work/dot.png" "$work/diff.png" || fail "one changed pixel went unseen."
[ "$differing" = 1 ] || fail "one changed pixel was counted as $differing."
[ "$(rgb "$work/diff.png" 160 100)" = "255,0,0" ] || fail "the difference picture does not mark the changed pixel."
compare_pictures --tolerant "$work/wide.png" "$work/dot.png" || fail "one changed pixel is beyond the tolerance."
status=0
"$build/tools/capture/capture" --compare "$work/wide.png" "$work/no-such.png" >/dev/null 2>"$work/err" || status=$?
[ $status -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] ||
    fail "an unreadable picture gave status $status, not 2 and one line: $(cat "$work/err")"
echo "all snapshot error paths behave."
