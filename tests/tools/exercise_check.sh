#!/usr/bin/env bash
# Checks the solutions of the exercises: every docs/exercises/NAME.patch is
# applied to a clean copy of the tracked sources, built and run by
# scripts/exercise, and its picture compared with docs/exercises/NAME.png,
# the one the guide shows: to the pixel on the Mesa recorded in
# docs/pictures.txt, within the tolerance for another renderer elsewhere.
#   exercise_check.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/common.sh"

need Xvfb xvfb convert imagemagick git git

fresh="$build/tests/tools/exercise-check"
rm -rf "$fresh"
mkdir -p "$fresh"
# A compiler cache of this run's own (CMake takes the launcher from the
# environment) compiles once what the solutions' shared build and the
# learner's tree below compile again; paths under this folder, which holds
# both, are hashed relative, so the two hit alike.
export TMPDIR="$fresh"
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR="$fresh/ccache" CCACHE_NOHASHDIR=1
    CCACHE_BASEDIR="$(realpath "$fresh")"
    export CCACHE_BASEDIR
fi
unset DISPLAY

renderer_tolerance

# Every solution in one run of scripts/exercise, which names the patch of
# each one that fails and goes on with the others.
patches=("$src"/docs/exercises/*.patch)
[ -e "${patches[0]}" ] || fail "docs/exercises holds no solution patches."
for patch in "${patches[@]}"; do solutions+=("$patch" "$fresh/$(basename "$patch" .patch).png"); done
"$src/scripts/exercise" --build-dir "$build" "${solutions[@]}" >"$fresh/exercise.log" 2>&1 || true
checked=0
for patch in "${patches[@]}"; do
    name="$(basename "$patch" .patch)"
    made="$fresh/$name.png"
    grep -q "](exercises/$name.png)" "$src"/docs/*.md ||
        problem "no page in docs/ shows docs/exercises/$name.png."
    if [ ! -s "$made" ] || grep -qF "/$name.patch" "$fresh/exercise.log"; then
        problem "$name: $({ grep -F "/$name.patch" "$fresh/exercise.log" || tail -n 2 "$fresh/exercise.log"; } | tr '\n' ' ')"
        continue
    fi
    checked=$((checked + 1))
    same_as_committed "${tolerance[@]}" "docs/exercises/$name.png" "$made"
done

# A learner's own working tree, checked with scripts/exercise --check:
# the lesson as it is does not match a solution, and with the solution's
# change made by hand it does.
learner="$fresh/learner"
mkdir -p "$learner"
(cd "$src" && git ls-files -z | tar --null -T - -cf -) | tar -C "$learner" -xf -
git -C "$learner" init -q
for stage in before after; do
    status=0
    said="$("$learner/scripts/exercise" --build-dir "$learner/build" --check velmor9-contours 2>&1)" ||
        status=$?
    echo "--check velmor9-contours, $stage the change: $said"
    if [ $stage = before ]; then
        [ $status -eq 1 ] && [[ "$said" == "Your picture does not match the solution's yet: "* ]] ||
            problem "--check passed the lesson's own velmor9 (status $status): $said"
        git -C "$learner" apply "$src/docs/exercises/velmor9-contours.patch"
    else
        [ $status -eq 0 ] && [[ "$said" == "Your picture matches the solution's: "* ]] &&
            [ -s "$learner/build/exercise-check/velmor9-contours-diff.png" ] ||
            problem "--check failed the solution's velmor9 (status $status): $said"
    fi
done

[ $failures -eq 0 ] || fail "$failures problem(s) with the exercises."
echo "$checked exercise solutions build and draw their pictures ($comparison comparison)."
