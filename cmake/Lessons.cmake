# Lessons.cmake - reads the lesson registry, lessons/lessons.txt, for the
# native build, the web build and the registry's check.
#
#   velmor_read_lessons(FILE)
#       Sets VELMOR_REGISTRY, the programs in the registry's order, and for
#       each program P: VELMOR_P_TITLE, VELMOR_P_NEEDS (a list, empty for
#       "-") and VELMOR_P_ADDS.  A line that is not four fields separated
#       by " | ", a program not called velmorN, a title that does not start
#       with the lesson's number, an unknown need or a program listed twice
#       stops the configure, quoting the line.  The other readers of the
#       registry (scripts/lessons.sh, web/make_site.py) split lines the
#       same way and rely on this check.
#
#   velmor_lessons_for_platform(OUT LEFT_OUT_FILE WHAT)
#       Sets OUT to the programs whose every need N has VELMOR_HAVE_N true.
#       Each other program gets one configure line, "P WHAT: it needs ...",
#       with VELMOR_WHY_NOT_N for each missing N; the same lines go to
#       LEFT_OUT_FILE (empty when nothing is left out), from which the
#       checks learn which lessons a build left out and why.

set(VELMOR_KNOWN_NEEDS freeglut gl33 expression glyphs)

function(velmor_read_lessons file)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(STRINGS ${file} lines ENCODING UTF-8)
    set(programs)
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]*(#|$)")
            continue()
        endif()
        set(bad "${file}: the line '${line}'")
        # A semicolon would split the line in CMake's lists, quotes and
        # backslashes would need escaping in the tests' C++ strings.
        if(line MATCHES "[;\"\\]")
            message(FATAL_ERROR "${bad} holds a ';', '\"' or '\\', which the registry does not allow.")
        endif()
        string(REPLACE " | " ";" fields "${line}")
        list(LENGTH fields count)
        if(NOT count EQUAL 4)
            message(FATAL_ERROR "${bad} has ${count} fields, not the four "
                "'program | window title | needs | what the lesson adds'.")
        endif()
        foreach(field IN LISTS fields)
            if(field STREQUAL "" OR field MATCHES "^[ \t]|[ \t]$|[|]")
                message(FATAL_ERROR "${bad} has a field that is empty, starts or ends with a "
                    "space or holds a '|': separate the fields with exactly ' | '.")
            endif()
        endforeach()
        list(GET fields 0 program)
        list(GET fields 1 title)
        list(GET fields 2 needs)
        list(GET fields 3 adds)
        if(NOT program MATCHES "^velmor([0-9]+)$")
            message(FATAL_ERROR "${bad} names the program '${program}'; lessons are called velmorN.")
        endif()
        set(number ${CMAKE_MATCH_1})
        if(NOT title MATCHES "^${number}\\. ")
            message(FATAL_ERROR "${bad} gives ${program} the title '${title}', "
                "which does not start with its number, '${number}. '.")
        endif()
        if(program IN_LIST programs)
            message(FATAL_ERROR "${bad} lists ${program} a second time.")
        endif()
        if(needs STREQUAL "-")
            set(needs)
        else()
            string(REPLACE " " ";" needs "${needs}")
            foreach(need IN LISTS needs)
                if(NOT need IN_LIST VELMOR_KNOWN_NEEDS)
                    list(JOIN VELMOR_KNOWN_NEEDS ", " known)
                    message(FATAL_ERROR "${bad} says ${program} needs '${need}'; "
                        "the needs are '-' or some of: ${known}.")
                endif()
            endforeach()
        endif()
        list(APPEND programs ${program})
        set(VELMOR_${program}_TITLE "${title}" PARENT_SCOPE)
        set(VELMOR_${program}_NEEDS "${needs}" PARENT_SCOPE)
        set(VELMOR_${program}_ADDS "${adds}" PARENT_SCOPE)
    endforeach()
    if(NOT programs)
        message(FATAL_ERROR "${file} lists no lessons.")
    endif()
    set(VELMOR_REGISTRY ${programs} PARENT_SCOPE)
endfunction()

function(velmor_lessons_for_platform out left_out_file what)
    set(chosen)
    set(left_out "")
    foreach(program IN LISTS VELMOR_REGISTRY)
        set(missing)
        foreach(need IN LISTS VELMOR_${program}_NEEDS)
            if(NOT VELMOR_HAVE_${need})
                list(APPEND missing "${VELMOR_WHY_NOT_${need}}")
            endif()
        endforeach()
        if(missing)
            list(JOIN missing "; and " why)
            message(STATUS "${program} ${what}: it needs ${why}.")
            string(APPEND left_out "${program} ${what}: it needs ${why}.\n")
        else()
            list(APPEND chosen ${program})
        endif()
    endforeach()
    file(WRITE ${left_out_file} "${left_out}")
    set(${out} ${chosen} PARENT_SCOPE)
endfunction()
