# shellcheck shell=bash
# lessons.sh - the lesson registry, lessons/lessons.txt, for the scripts and
# tool tests that source it.  One lesson a line, "program | window title |
# needs | what the lesson adds"; lines starting with # are comments.  The
# configure checks every line (cmake/Lessons.cmake), so a plain split on
# " | " is all it takes here.

VELMOR_REGISTRY="${BASH_SOURCE[0]%/*}"
[ "$VELMOR_REGISTRY" != "${BASH_SOURCE[0]}" ] || VELMOR_REGISTRY=.
VELMOR_REGISTRY="$(cd "$VELMOR_REGISTRY/.." && pwd)/lessons/lessons.txt"

# Plain bash, no awk or grep: scripts/snapshot reads the registry before
# it checks that the tools it needs are there.

# lesson_field N [PROGRAM]: field N (1 to 4) of every lesson, one a line,
# or of PROGRAM only.
lesson_field() {
    local line rest fields
    while IFS= read -r line || [ -n "$line" ]; do
        [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
        fields=()
        rest="$line"
        while [[ "$rest" == *" | "* ]]; do
            fields+=("${rest%% | *}")
            rest="${rest#* | }"
        done
        fields+=("$rest")
        [ -z "${2:-}" ] || [ "${fields[0]}" = "$2" ] || continue
        echo "${fields[$(($1 - 1))]}"
    done <"$VELMOR_REGISTRY"
}

# lesson_needs PROGRAM NEED: whether the registry says PROGRAM needs NEED.
lesson_needs() { [[ " $(lesson_field 3 "$1") " == *" $2 "* ]]; }

# lesson_names: every lesson's program, in the registry's order.
lesson_names() { lesson_field 1; }

# lesson_title PROGRAM: its window title; fails for a program not listed.
lesson_title() {
    local title
    title="$(lesson_field 2 "$1")"
    [ -n "$title" ] && echo "$title"
}

# lesson_program NAME: velmorN for N, NAME itself for a listed program;
# fails for anything else.
lesson_program() {
    local program="$1"
    [[ "$program" =~ ^[0-9]+$ ]] && program="velmor$program"
    lesson_title "$program" >/dev/null && echo "$program"
}

# lesson_choices [SEPARATOR]: "velmor3, velmor4, ... or velmor7", for a
# message; with SEPARATOR, the names joined by it.
lesson_choices() {
    local names
    mapfile -t names < <(lesson_names)
    if [ $# -gt 0 ]; then
        local IFS="$1"
        echo "${names[*]}"
    elif [ ${#names[@]} -le 1 ]; then
        echo "${names[*]}"
    else
        local IFS=,
        local first="${names[*]:0:${#names[@]}-1}"
        echo "${first//,/, } or ${names[-1]}"
    fi
}

# lessons_built_in BUILD_DIR: the lessons a configured build makes: the
# registry's, less those its configure left out (lessons-left-out.txt,
# whose reasons this prints on standard error).  Fails if BUILD_DIR was
# never configured.
lessons_built_in() {
    local left_out="$1/lessons-left-out.txt" program line
    [ -f "$left_out" ] || {
        echo "lessons.sh: $1 has no lessons-left-out.txt: configure it with cmake first." >&2
        return 1
    }
    local skipped=" "
    while IFS= read -r line; do
        echo "$line" >&2
        skipped+="${line%% *} "
    done <"$left_out"
    for program in $(lesson_names); do
        [[ "$skipped" == *" $program "* ]] || echo "$program"
    done
}
