# The processor of the machine the program is for, whichever Debian
# architecture it is: the toolchain file that names it. That is this
# machine's own (dpkg's answer), or inside a Debian package build the
# package's host architecture (DEB_HOST_ARCH, which dpkg-buildpackage -a
# sets), built by Debian's compiler for it, <triple>-g++.
if(DEFINED ENV{DEB_HOST_ARCH})
    set(host_arch $ENV{DEB_HOST_ARCH})
else()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE host_arch OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

# Each file is asked as cmake/toolchain-query.cmake asks it: read up to
# what it names, in a scope of its own (where nothing that a file read
# before has set is taken for its own).
function(named_arch file)
    set(EXPRCALC_QUERY ON)
    unset(debian_arch)
    include(${file})
    set(arch "${debian_arch}" PARENT_SCOPE)
endfunction()

file(GLOB toolchains ${CMAKE_CURRENT_LIST_DIR}/*.cmake)
list(FILTER toolchains EXCLUDE REGEX "/(linux|host)\\.cmake$")
set(known "")
foreach(toolchain IN LISTS toolchains)
    named_arch(${toolchain})
    if(arch STREQUAL host_arch)
        include(${toolchain})
        return()
    endif()
    list(APPEND known ${arch})
endforeach()
list(SORT known)
list(JOIN known " " known)
message(FATAL_ERROR "No toolchain file is for the Debian architecture ${host_arch}; these are: ${known}")
