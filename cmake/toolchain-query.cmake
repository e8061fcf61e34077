# What the toolchain files say, for the scripts that need it (they read
# the files through this, never by pattern):
#   cmake -P cmake/toolchain-query.cmake                      every processor
#   cmake -D toolchain=FILE -P cmake/toolchain-query.cmake    one (host.cmake too)
# One line per processor: its name (the toolchain file's), its Debian
# architecture, the GNU triple of its compiler, that of its cross tools, and
# the emulator that runs its programs on this machine; - for none (no
# Debian architecture, or native here, so no emulator).
# host.cmake includes it for toolchain_files and toolchain_says alone.
include_guard(GLOBAL)
set(toolchain_fields processor debian_arch target_triple tools_triple emulator)

# Each processor's toolchain file: not linux.cmake, which they share, nor host.cmake.
file(GLOB toolchain_files ${CMAKE_CURRENT_LIST_DIR}/toolchains/*.cmake)
list(FILTER toolchain_files EXCLUDE REGEX "/(linux|host)\\.cmake$")

# What one file says, in the caller's variables of toolchain_fields: the
# file read up to where linux.cmake stops for a query, in a scope where
# nothing that a file read before has set is taken for its own.
function(toolchain_says file)
    set(EXPRCALC_QUERY ON)
    foreach(field IN LISTS toolchain_fields)
        unset(${field})
    endforeach()
    include(${file})
    foreach(field IN LISTS toolchain_fields)
        set(${field} "${${field}}" PARENT_SCOPE)
    endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    set(lines "")
    set(asked ${toolchain_files})
    if(DEFINED toolchain)
        set(asked ${toolchain})
    endif()
    foreach(file IN LISTS asked)
        toolchain_says(${file})
        set(line "")
        foreach(field IN LISTS toolchain_fields)
            if("${${field}}" STREQUAL "")
                set(${field} -)
            endif()
            list(APPEND line ${${field}})
        endforeach()
        list(JOIN line " " line)
        string(APPEND lines "${line}\n")
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo_append "${lines}")
endif()
