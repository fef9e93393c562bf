#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it as a user would meet it:
#  - its control fields: name, version, a maintainer with an address, a
#    summary and a wrapped long description, and Depends naming the package
#    of every library the programs link directly (as dpkg-shlibdeps finds);
#  - its files: the programs in /usr/bin (every lesson of lessons/lessons.txt
#    that the build did not leave out), the guide with its pictures,
#    sources, README and licence (copyright) in /usr/share/doc/velmor,
#    nothing outside /usr, every link of the guide resolving inside the
#    installed tree and every source it names installed;
#  - that apt would install it here (a simulation: nothing changes);
#  - that each installed program, run from the unpacked tree, draws exactly
#    the picture of the program in the build tree (which web.native took).
# The package is unpacked with dpkg -x rather than installed: that gives the
# same files without touching the machine's packages, which other tests, or
# a velmor the user installed, may rely on.  There are no maintainer scripts
# for a real installation to run.
#   package_check.sh SOURCE_DIR BUILD_DIR PROJECT_VERSION
source "$(dirname "$0")/common.sh"

version="$3"
need cpack cmake dpkg-deb dpkg dpkg-shlibdeps dpkg-dev apt-get apt
need Xvfb xvfb convert imagemagick
one_display
[ -r "$build/CPackConfig.cmake" ] || fail "$build has no CPackConfig.cmake: configure it with cmake first."
lessons=()
mapfile -t lessons < <(lessons_built_in "$build")
[ ${#lessons[@]} -gt 0 ] || fail "$build builds no lessons."

work="$(mktemp -d "${TMPDIR:-/tmp}/velmor-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 5 "$work/cpack.log")"
debs=("$work"/out/velmor_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "cpack made no single velmor_*.deb: $(ls "$work/out")"
fi
deb="${debs[0]}"
echo "built $(basename "$deb")"

# --- control fields ----------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmor ] || fail "the package is called '$(field Package)'."
[ "$(field Version)" = "$version-1" ] || fail "the package version is '$(field Version)', the project's is $version."
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
    fail "the maintainer '$(field Maintainer)' is not 'Name <address>'."
description="$(field Description)"
summary="$(head -n 1 <<<"$description")"
if [ -z "$summary" ] || [ ${#summary} -ge 80 ]; then
    fail "the summary '$summary' is empty or 80 characters or longer."
fi
[ "$(wc -l <<<"$description")" -ge 3 ] || fail "the package has no long description."
while IFS= read -r line; do
    [ ${#line} -lt 80 ] || fail "a description line is 80 characters or longer: '$line'."
done <<<"$description"
[ -n "$(field Section)" ] || fail "the package has no Section."

depends="$(field Depends)"
echo "Depends: $depends"
# depends_on NAME...: one of the names is among the alternatives of Depends.
depends_on() {
    local name
    for name in "$@"; do
        [[ ", $depends," =~ [,\|]\ *"$name"( \([^\)]*\))?\ *[,\|] ]] && return 0
    done
    return 1
}
depends_on libc6 || fail "Depends does not name libc6."
depends_on libglut3.12 freeglut3 || fail "Depends does not name freeglut (libglut3.12 or freeglut3)."
depends_on libglu1-mesa libglu1 || fail "Depends does not name GLU (libglu1-mesa)."
depends_on libopengl0 libgl1 || fail "Depends does not name OpenGL (libopengl0 or libgl1)."

# --- files -------------------------------------------------------------------
root="$work/root"
dpkg -x "$deb" "$root"
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
outside="$(grep -v '^\./usr/' "$work/files" | grep -v '^\./$' || true)"
[ -z "$outside" ] || fail "the package puts files outside /usr: $outside"

doc=usr/share/doc/velmor
expected=("${lessons[@]/#/usr/bin/}"
    "$doc/README.md" "$doc/copyright" "$doc/docs/lessons.md" "$doc/docs/gallery.png" "$doc/core/plotcore.h")
# The labels' font is compiled into every lesson that needs glyphs: its
# licence goes with them.
for lesson in "${lessons[@]}"; do
    expected+=("$doc/docs/$lesson.png" "$doc/lessons/$lesson.cpp")
    ! lesson_needs "$lesson" glyphs || expected+=("$doc/LICENSE.DejaVu")
done
for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || fail "the package has no /$path."
    [[ "$path" != usr/bin/* ]] || [ -x "$root/$path" ] || fail "/$path is not executable."
done
cmp -s "$src/LICENSE" "$root/$doc/copyright" || fail "/$doc/copyright is not the project's LICENSE."

# Every relative link of the installed guide, and the README's gallery.
while read -r target; do
    [ -e "$root/$doc/docs/$target" ] || fail "the installed guide links to $target, which the package lacks."
done < <(grep -o '](\([^)#:]*\))' "$root/$doc/docs/lessons.md" | sed 's/^](\(.*\))$/\1/')
# Every source the guide names for the learner to read, linked or not,
# is installed beside it (a lesson this build left out aside).
while read -r source; do
    lesson="$(basename "$source" .cpp)"
    [[ "$source" != lessons/* ]] || [[ " ${lessons[*]} " == *" $lesson "* ]] || continue
    [ -f "$root/$doc/$source" ] || fail "the installed guide names $source, which the package lacks."
done < <(grep -o '\(core\|lessons\)/[A-Za-z0-9_/]*\.\(h\|cpp\)' "$root/$doc/docs/lessons.md" | sort -u)
grep -q '](docs/gallery.png)' "$root/$doc/README.md" || fail "the installed README does not show the gallery."

# --- libraries and dependencies ------------------------------------------------
# Each program's direct libraries (NEEDED) where ldd finds them; dpkg, asked
# once, names the package of each (or of the file a link names).
declare -A library=() owner=()
for lesson in "${lessons[@]}"; do
    linked="$(ldd "$root/usr/bin/$lesson")"
    ! grep -q 'not found' <<<"$linked" || fail "$lesson lacks libraries: $(grep 'not found' <<<"$linked")"
    for soname in $(readelf -d "$root/usr/bin/$lesson" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        library["$lesson needs $soname"]="$(awk -v lib="$soname" '$1 == lib {print $3}' <<<"$linked")"
    done
done
while IFS= read -r line; do owner["${line#*: }"]="${line%%:*}"; done < <(dpkg -S 2>/dev/null \
    $(for path in "${library[@]}"; do echo "$path" "$(realpath "$path")"; done) | grep -v '^diversion ')
for needs in "${!library[@]}"; do
    path="${library[$needs]}"
    package="${owner[$path]:-${owner[$(realpath "$path")]:-}}"
    [ -n "$package" ] || fail "$needs ($path), which no Debian package owns."
    depends_on "$package" || fail "$needs from $package, but Depends does not name $package."
done

apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 ||
    fail "apt would not install the package: $(tail -n 3 "$work/apt.log")"
grep -q '^Inst velmor ' "$work/apt.log" || fail "apt's simulation did not install velmor: $(tail -n 3 "$work/apt.log")"

# --- the installed programs draw what the built ones draw (web.native's) ------
for lesson in "${lessons[@]}"; do
    "$src/scripts/snapshot" --build-dir "$build" --program "$root/usr/bin/$lesson" "$lesson" "$work/installed-$lesson.png" ||
        fail "no snapshot of the installed $lesson."
    compare_pictures "$build/web-native-pictures/$lesson.png" "$work/installed-$lesson.png" || fail "the installed $lesson draws a picture $differing pixels different from the built one."
done
echo "the package installs cleanly and its ${#lessons[@]} programs draw what the build tree's do."
