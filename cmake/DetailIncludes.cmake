# Refuses an include of another folder's detail/ header: a folder's detail/ is for that folder
# alone, and what another folder needs belongs in a public header.
# Run as: cmake -DFOLDER=NAME -DSOURCES=LISTFILE -DSTAMP=FILE -P DetailIncludes.cmake
file(STRINGS "${SOURCES}" files)
set(refused "")
foreach(source IN LISTS files)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][A-Za-z_]+/detail/")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "[\"<]([A-Za-z_]+)/detail/" unused "${line}")
        if(NOT CMAKE_MATCH_1 STREQUAL FOLDER)
            string(APPEND refused "  ${source}: ${line}\n")
        endif()
    endforeach()
endforeach()
if(refused)
    message(FATAL_ERROR "Code of ${FOLDER}/ includes another folder's detail/ header:\n${refused}")
endif()
file(TOUCH "${STAMP}")
