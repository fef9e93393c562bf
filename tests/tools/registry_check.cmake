# Checks the lesson registry against what it describes: every
# lessons/velmor*.cpp has its line in lessons/lessons.txt and every line its
# source; each source gives its window the registry's title; and the
# README's table shows the registry's lessons, in its order, with their
# titles and what they add.  The registry itself is read as the build
# reads it (cmake/Lessons.cmake), so a malformed line fails here too.
#   cmake -DSOURCE_DIR=DIR -P registry_check.cmake
cmake_minimum_required(VERSION 3.16)
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=DIR -P registry_check.cmake")
endif()
include(${SOURCE_DIR}/cmake/Lessons.cmake)
velmor_read_lessons(${SOURCE_DIR}/lessons/lessons.txt)

set(problems 0)
function(problem)
    # The parts one by one, so that a ';' in them stays a ';'.
    set(text "")
    math(EXPR last "${ARGC} - 1")
    foreach(i RANGE ${last})
        string(APPEND text "${ARGV${i}}")
    endforeach()
    message("FAIL: ${text}")
    math(EXPR count "${problems} + 1")
    set(problems ${count} PARENT_SCOPE)
endfunction()

file(GLOB sources RELATIVE ${SOURCE_DIR}/lessons ${SOURCE_DIR}/lessons/velmor*.cpp)
foreach(source IN LISTS sources)
    string(REGEX REPLACE "\\.cpp$" "" program "${source}")
    if(NOT program IN_LIST VELMOR_REGISTRY)
        problem("lessons/${source} has no line in lessons/lessons.txt.")
    endif()
endforeach()

foreach(program IN LISTS VELMOR_REGISTRY)
    set(source ${SOURCE_DIR}/lessons/${program}.cpp)
    if(NOT EXISTS ${source})
        problem("lessons/lessons.txt lists ${program}, but there is no lessons/${program}.cpp.")
        continue()
    endif()
    # The window title is the string that starts with the lesson's number
    # (the registry insists on that); any other such string would be a
    # second, differing title.
    file(READ ${source} text)
    string(REGEX MATCH "[0-9]+$" number "${program}")
    string(REGEX MATCHALL "\"${number}\\. [^\"\n]*\"" titles "${text}")
    if(NOT titles)
        problem("lessons/${program}.cpp gives its window no title \"${number}. ...\"; "
            "the registry says \"${VELMOR_${program}_TITLE}\".")
    endif()
    # The registry says which lessons use the expression language; the
    # builds link it by that alone.
    string(FIND "${text}" "#include \"expression.h\"" includes)
    if(NOT includes EQUAL -1 AND NOT "expression" IN_LIST VELMOR_${program}_NEEDS)
        problem("lessons/${program}.cpp includes expression.h, but lessons/lessons.txt "
            "does not say it needs expression.")
    endif()
    foreach(title IN LISTS titles)
        if(NOT title STREQUAL "\"${VELMOR_${program}_TITLE}\"")
            problem("lessons/${program}.cpp gives its window the title ${title}; "
                "lessons/lessons.txt says \"${VELMOR_${program}_TITLE}\".")
        endif()
    endforeach()
endforeach()

# The README's rows: | `program` | title | what it adds | , where what it
# adds may end in a note in brackets, such as what the lesson needs.
file(STRINGS ${SOURCE_DIR}/README.md rows REGEX "^\\| `velmor")
set(shown)
foreach(row IN LISTS rows)
    if(NOT row MATCHES "^\\| `(velmor[0-9]+)` \\| ([^|]+) \\| ([^|]+) \\|$")
        problem("README.md's row '${row}' is not | `program` | title | what it adds |.")
        continue()
    endif()
    set(program ${CMAKE_MATCH_1})
    set(title "${CMAKE_MATCH_2}")
    set(adds "${CMAKE_MATCH_3}")
    list(APPEND shown ${program})
    if(NOT program IN_LIST VELMOR_REGISTRY)
        problem("README.md's table shows ${program}, which lessons/lessons.txt does not list.")
        continue()
    endif()
    if(NOT title STREQUAL VELMOR_${program}_TITLE)
        problem("README.md's table gives ${program} the title '${title}'; "
            "lessons/lessons.txt says '${VELMOR_${program}_TITLE}'.")
    endif()
    string(FIND "${adds}" "${VELMOR_${program}_ADDS}" at)
    set(note "")
    if(at EQUAL 0)
        string(LENGTH "${VELMOR_${program}_ADDS}" length)
        string(SUBSTRING "${adds}" ${length} -1 note)
    endif()
    if(NOT at EQUAL 0 OR NOT (note STREQUAL "" OR note MATCHES "^ \\([^)]+\\)$"))
        problem("README.md's table says ${program} adds '${adds}'; lessons/lessons.txt says "
            "'${VELMOR_${program}_ADDS}' (a note in brackets may follow).")
    endif()
endforeach()
if(NOT shown STREQUAL VELMOR_REGISTRY)
    list(JOIN shown ", " shown)
    list(JOIN VELMOR_REGISTRY ", " listed)
    problem("README.md's table shows ${shown}; lessons/lessons.txt lists ${listed}, in this order.")
endif()

if(problems GREATER 0)
    message(FATAL_ERROR "${problems} problem(s) between lessons/lessons.txt, the lessons' sources and README.md.")
endif()
list(LENGTH VELMOR_REGISTRY count)
message("lessons/lessons.txt: ${count} lessons, each with its source, its window title and its row in README.md.")
