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

include(${CMAKE_CURRENT_LIST_DIR}/../toolchain-query.cmake)
function(find_host_toolchain)
    set(known "")
    foreach(file IN LISTS toolchain_files)
        toolchain_says(${file})
        if(debian_arch STREQUAL host_arch)
            set(host_toolchain ${file} PARENT_SCOPE)
            return()
        endif()
        list(APPEND known ${debian_arch})
    endforeach()
    list(SORT known)
    list(JOIN known " " known)
    message(FATAL_ERROR "No toolchain file is for the Debian architecture ${host_arch}; these are: ${known}")
endfunction()
find_host_toolchain()
include(${host_toolchain})
