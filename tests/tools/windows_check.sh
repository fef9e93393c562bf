#!/usr/bin/env bash
# Checks the Windows build as a learner on Windows would meet it, as far as
# this machine can: scripts/windows cross-builds every lesson of
# lessons/lessons.txt that its configure did not leave out; each .exe
# imports only Windows' own DLLs; the zip holds the programs, the README,
# the licence and the guide; and under Wine (whose OpenGL is this machine's
# Mesa) each program draws exactly the native program's picture, and so
# does one resized window.
#   windows_check.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/common.sh"

need wine wine x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64 Xvfb xvfb convert imagemagick
one_display

windows="$build/windows"
out="$windows/out"
export WINEPREFIX="$windows/wineprefix"
export WINEDEBUG=-all
# No prompts to install Wine's .NET and browser engine into a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-windows.XXXXXX")"
cleanup() {
    [ ! -d "$WINEPREFIX" ] || wineserver -k 2>/dev/null || true
    rm -rf "$work" ${making:+"$making"}
}
trap cleanup EXIT

"$src/scripts/windows" --build-dir "$windows" --werror "$out" >"$work/build.log" 2>&1 ||
    fail "scripts/windows failed: $(tail -n 5 "$work/build.log")"

# --- the programs and the zip ----------------------------------------------------
lessons=()
mapfile -t lessons < <(lessons_built_in "$windows/velmor")
[ ${#lessons[@]} -gt 0 ] || fail "scripts/windows built no lessons."
zips=("$out"/velmor-*-win64.zip)
[ -f "${zips[0]}" ] || fail "scripts/windows left no velmor-*-win64.zip in $out."
cmake -E tar tf "${zips[0]}" | sed 's|^[^/]*/||' >"$work/zip"
extras=()
for lesson in "${lessons[@]}"; do
    ! lesson_needs "$lesson" glyphs || { extras+=(LICENSE.DejaVu); break; }
done
for file in README.md LICENSE docs/lessons.md docs/gallery.png "${extras[@]}"; do
    grep -qxF "$file" "$work/zip" || fail "the zip has no $file."
done

readonly SYSTEM_DLLS=" advapi32.dll gdi32.dll glu32.dll kernel32.dll msvcrt.dll opengl32.dll user32.dll winmm.dll "
for lesson in "${lessons[@]}"; do
    exe="$out/$lesson.exe"
    [ -f "$exe" ] || fail "scripts/windows left no $lesson.exe in $out."
    grep -qxF "$lesson.exe" "$work/zip" || fail "the zip has no $lesson.exe."
    imports="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')"
    [ -n "$imports" ] || fail "objdump found no imported DLLs in $lesson.exe."
    for dll in $imports; do
        [[ "$SYSTEM_DLLS" == *" $dll "* ]] || fail "$lesson.exe needs $dll, which Windows does not have."
    done
done

# --- under Wine, the native pictures ------------------------------------------------
# A clean Wine prefix (700 MB, most of a minute to make), made once per Wine
# version and recipe in the cache; each run copies it, hard-linking what
# Wine only reads and copying the registry, which it writes.
make_prefix() {
    wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot could not make a prefix: $(tail -n 3 "$work/wineboot.log")"
    # freeglut reads DISPLAY on Windows too, and cannot open the screen
    # ("CreateDC failed") without it.
    wine reg add 'HKCU\Environment' /v DISPLAY /t REG_SZ /d DISPLAY /f >"$work/reg.log" 2>&1 ||
        fail "could not set DISPLAY in the Wine prefix: $(tail -n 3 "$work/reg.log")"
    wineserver -w
}
clean="${XDG_CACHE_HOME:-$HOME/.cache}/velmor/wine-prefix/$(wine --version | tr -c 'A-Za-z0-9.+-' _)$(declare -f make_prefix | sha256sum | cut -c1-12)"
if [ ! -f "$clean/system.reg" ]; then
    making="$(mkdir -p "${clean%/*}" && mktemp -d "$clean.making.XXXXXX")"
    WINEPREFIX="$making" make_prefix
    mv -T "$making" "$clean" 2>/dev/null || [ -f "$clean/system.reg" ] || fail "could not keep the Wine prefix in $clean."
fi
rm -rf "$WINEPREFIX"
cp -al "$clean" "$WINEPREFIX" 2>/dev/null || { rm -rf "$WINEPREFIX" && cp -a "$clean" "$WINEPREFIX"; }
cp --remove-destination "$clean"/*.reg "$WINEPREFIX/"
# One Wine server for all the runs, instead of one started and stopped per
# run; a server that is still lingering after the set-up must end first.
wineserver -w
wineserver -p || fail "could not start a Wine server for $WINEPREFIX."

# compare_lesson LESSON [WIDTHxHEIGHT] [FUNCTION]: the native and the Wine
# pictures, compared; FUNCTION, if given, follows the harness's own arguments.
compare_lesson() {
    local lesson="$1" size="${2:-}" own="${3:+ \"$3\"}" name="$1${2:+-$2}${3:+-own}"
    printf '#!/bin/sh\nexec "%s" "$@"%s\n' "$build/$lesson" "$own" >"$work/$name-native"
    printf '#!/bin/sh\nexec wine "%s" "$@"%s\n' "$out/$lesson.exe" "$own" >"$work/$name-wine"
    chmod +x "$work/$name-native" "$work/$name-wine"
    # In the window's own size, the native picture web.native took.
    [ -n "$size$own" ] || cp "$build/web-native-pictures/$lesson.png" "$work/$name-native.png" || fail "web.native took no picture of $lesson."
    [ -z "$size$own" ] || "$src/scripts/snapshot" --build-dir "$build" --program "$work/$name-native" \
        "$lesson" "$work/$name-native.png" ${size:+"$size"} || fail "no snapshot of the native $lesson$own."
    # Nothing can be preloaded into the .exe to say when its frame is done,
    # so the picture is taken once it has settled (see tools/capture/capture.cpp).
    "$src/scripts/snapshot" --build-dir "$build" --settle --program "$work/$name-wine" \
        "$lesson" "$work/$name-wine.png" ${size:+"$size"} ||
        fail "no snapshot of $lesson.exe$own under Wine."
    compare_pictures "$work/$name-native.png" "$work/$name-wine.png" "$work/$name-diff.png" || {
        # The work folder goes with the check: the pictures stay for a look.
        mkdir -p "$windows/failed"
        cp "$work/$name"-*.png "$windows/failed/"
        fail "$lesson.exe$own under Wine${size:+ at $size} draws a picture $differing pixels different from the native one (both kept in $windows/failed)."
    }
}
for lesson in "${lessons[@]}"; do
    compare_lesson "$lesson"
done
# A window of another shape: the reshape keeps the aspect ratio the same way.
compare_lesson velmor6 640x400
# Lesson 9 with a function of the learner's, natively and under Wine.
if [ -f "$out/velmor9.exe" ]; then
    function='sin(x) * cos(y) + x / 5'
    compare_lesson velmor9 "" "$function"
    ! compare_pictures "$work/velmor9-own-native.png" "$work/velmor9-native.png" ||
        fail "velmor9 drew '$function' as its own bump."
fi
echo "the ${#lessons[@]} Windows programs import only system DLLs, ship in the zip, and draw under Wine exactly what the native ones draw."
