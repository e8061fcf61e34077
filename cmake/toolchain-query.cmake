# What the toolchain files say, for the scripts that need it (they read
# the files through this, never by pattern):
#   cmake -P cmake/toolchain-query.cmake                      every processor
#   cmake -D toolchain=FILE -P cmake/toolchain-query.cmake    one (host.cmake too)
# One line per processor: its name (the toolchain file's), its Debian
# architecture, the GNU triple of its compiler, that of its cross tools, and
# the emulator that runs its programs on this machine; - for none (no
# Debian architecture, or native here, so no emulator).
set(fields debian_arch target_triple tools_triple emulator)

function(query file)
    set(EXPRCALC_QUERY ON)  # linux.cmake stops once these are known
    include(${file})
    set(line ${processor})
    foreach(field IN LISTS fields)
        if("${${field}}" STREQUAL "")
            set(${field} -)
        endif()
        string(APPEND line " ${${field}}")
    endforeach()
    set(lines "${lines}${line}\n" PARENT_SCOPE)
endfunction()

set(lines "")
if(DEFINED toolchain)
    query(${toolchain})
else()
    file(GLOB files ${CMAKE_CURRENT_LIST_DIR}/toolchains/*.cmake)
    list(FILTER files EXCLUDE REGEX "/(linux|host)\\.cmake$")
    foreach(file IN LISTS files)
        query(${file})
    endforeach()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E echo_append "${lines}")
