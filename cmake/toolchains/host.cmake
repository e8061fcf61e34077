# This machine's own processor, whichever Debian architecture it is: the
# toolchain file of the processor that dpkg names, with the machine's own
# compiler (Debian's g++ answers to <triple>-g++ as well) and no emulator.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE host_arch OUTPUT_STRIP_TRAILING_WHITESPACE)
file(GLOB toolchains ${CMAKE_CURRENT_LIST_DIR}/*.cmake)
foreach(toolchain IN LISTS toolchains)
    file(STRINGS ${toolchain} names_host REGEX "^set\\(debian_arch ${host_arch}\\)")
    if(names_host)
        include(${toolchain})
        return()
    endif()
endforeach()
message(FATAL_ERROR "No toolchain file in ${CMAKE_CURRENT_LIST_DIR} is for this machine's architecture, ${host_arch}")
