# Refuses an include of another folder's detail/ header: a folder's detail/ is for that folder
# alone, and what another folder needs belongs in a public header. The header is named by the
# folder that holds its detail/, however the include spells the way there: "engine/detail/X.h",
# <engine/detail/X.h>, or a relative "../engine/detail/X.h" (read from the including file's own
# folder, where the compiler looks first).
# Run as: cmake -DFOLDER=NAME -DSOURCES=LISTFILE -DSTAMP=FILE -P DetailIncludes.cmake
file(STRINGS "${SOURCES}" files)
set(refused "")
foreach(source IN LISTS files)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*detail/")
    get_filename_component(source_folder "${source}" DIRECTORY)
    foreach(line IN LISTS lines)
        string(REGEX MATCH "[\"<]([^\">]*)[\">]" unused "${line}")
        set(included "${CMAKE_MATCH_1}")
        # A quoted include is looked for beside the including file first.
        set(path "${included}")
        if(line MATCHES "include[ \t]*\"" AND EXISTS "${source_folder}/${included}")
            set(path "${source_folder}/${included}")
        endif()
        cmake_path(NORMAL_PATH path)
        string(REPLACE "/" ";" parts "${path}")
        list(FIND parts "detail" at)
        if(at LESS 1)
            continue()
        endif()
        # The folder that holds the detail/ the include reaches (the last one, should a path
        # pass through another detail/ on its way).
        list(LENGTH parts count)
        set(owner "")
        math(EXPR last "${count} - 2")
        foreach(index RANGE 1 ${last})
            list(GET parts ${index} part)
            if(part STREQUAL "detail")
                math(EXPR before "${index} - 1")
                list(GET parts ${before} owner)
            endif()
        endforeach()
        if(NOT owner STREQUAL FOLDER)
            string(APPEND refused "  ${source}: ${line}\n")
        endif()
    endforeach()
endforeach()
if(refused)
    message(FATAL_ERROR "Code of ${FOLDER}/ includes another folder's detail/ header:\n${refused}")
endif()
file(TOUCH "${STAMP}")
