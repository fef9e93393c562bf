# shellcheck shell=bash
# lessons.sh - the lesson registry, lessons/lessons.txt, for the scripts and
# tool tests that source it.  One lesson a line, "program | window title |
# needs | what the lesson adds"; lines starting with # are comments.  The
# configure checks every line (cmake/Lessons.cmake), so a plain split on
# " | " is all it takes here.

VELMOR_REGISTRY="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/lessons/lessons.txt"

# lesson_field N [PROGRAM]: field N (1 to 4) of every lesson, one a line,
# or of PROGRAM only.
lesson_field() {
    awk -F ' [|] ' -v field="$1" -v program="${2:-}" \
        '!/^[[:space:]]*(#|$)/ && (program == "" || $1 == program) { print $field }' "$VELMOR_REGISTRY"
}

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

# lesson_choices: "velmor3, velmor4, ... or velmor7", for a message.
lesson_choices() {
    lesson_names | awk '{ names[NR] = $0 }
        END { for (i = 1; i <= NR; i++) printf "%s%s", names[i], (i == NR ? "\n" : i == NR - 1 ? " or " : ", ") }'
}

# lessons_built_in BUILD_DIR: the lessons a configured build makes: the
# registry's, less those its configure left out (lessons-left-out.txt,
# whose reasons this prints on standard error).  Fails if BUILD_DIR was
# never configured.
lessons_built_in() {
    local left_out="$1/lessons-left-out.txt" program
    [ -f "$left_out" ] || {
        echo "lessons.sh: $1 has no lessons-left-out.txt: configure it with cmake first." >&2
        return 1
    }
    [ ! -s "$left_out" ] || cat "$left_out" >&2
    for program in $(lesson_names); do
        grep -q "^$program " "$left_out" || echo "$program"
    done
}
