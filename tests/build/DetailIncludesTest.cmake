# The build's refusal of another folder's detail/ header, run over a small tree of sources: each
# case is one include in one file, refused or let through.
# Run as: cmake -DCHECK=cmake/DetailIncludes.cmake -DWORK=FOLDER -P DetailIncludesTest.cmake
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/src/engine/detail/Hidden.h" "#pragma once\n")
file(WRITE "${WORK}/src/views/detail/Own.h" "#pragma once\n")

# folder | file inside src/ | include line | refused?
set(cases
    "views|views/A.cpp|#include \"../engine/detail/Hidden.h\"|YES"
    "views|views/A.cpp|#include \"./../engine/detail/Hidden.h\"|YES"
    "views|views/A.cpp|  #  include \"../../src/engine/detail/Hidden.h\"|YES"
    "views|views/detail/B.cpp|#include \"../../engine/detail/Hidden.h\"|YES"
    "views|views/A.cpp|#include \"engine/detail/Hidden.h\"|YES"
    "views|views/A.cpp|#include <engine/detail/Hidden.h>|YES"
    "views|views/A.cpp|#include \"views/../engine/detail/Hidden.h\"|YES"
    "views|views/A.cpp|#include \"detail/Own.h\"|NO"
    "views|views/A.cpp|#include \"../views/detail/Own.h\"|NO"
    "views|views/A.cpp|#include \"views/detail/Own.h\"|NO"
    "views|views/A.cpp|#include \"engine/Public.h\"|NO"
    "engine|engine/detail/C.cpp|#include \"../detail/Hidden.h\"|NO"
    "engine|engine/C.cpp|#include \"../engine/detail/Hidden.h\"|NO")
set(failures "")
set(number 0)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 folder)
    list(GET fields 1 file)
    list(GET fields 2 line)
    list(GET fields 3 refused)
    math(EXPR number "${number} + 1")
    set(source "${WORK}/src/${file}")
    file(WRITE "${source}" "${line}\nint x${number};\n")
    file(WRITE "${WORK}/list${number}" "${source}\n")
    execute_process(COMMAND "${CMAKE_COMMAND}" -DFOLDER=${folder} -DSOURCES=${WORK}/list${number}
        -DSTAMP=${WORK}/stamp${number} -P "${CHECK}"
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE said)
    file(REMOVE "${source}")
    if(refused AND result EQUAL 0)
        string(APPEND failures "  let through: ${folder} ${file}: ${line}\n")
    elseif(NOT refused AND NOT result EQUAL 0)
        string(APPEND failures "  refused: ${folder} ${file}: ${line}\n${said}\n")
    elseif(refused AND NOT said MATCHES "includes another folder's detail/ header")
        string(APPEND failures "  refused without saying why: ${file}: ${line}\n${said}\n")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "The detail/ check decided wrongly:\n${failures}")
endif()
message(STATUS "${number} includes decided as expected")
