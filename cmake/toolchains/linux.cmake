# What every toolchain file shares. Each names its target before including
# this (and the tests know the processor by the toolchain file's name,
# `processor` here):
#   target_triple    the GNU triple: Debian's cross compiler is <triple>-g++,
#                    and Clang takes it as --target
#   tools_triple     the triple of Debian's cross tools, where they differ
#                    (a compiler that builds this target given an option)
#   debian_arch      the package's Architecture field; without it, no package
#   emulator         the qemu-user program that runs it on a machine of
#                    another processor (on its own, none is needed or asked)
#   program_options  compiler options the program needs on this processor;
#                    gcc_options and clang_options, those only one compiler knows;
#                    compile_options and link_options, those only its
#                    compiling or only its link needs
#   clang_flags      options every compile by Clang needs, CMake's check of
#                    the compiler included
#   clang_linker     the linker Clang uses: lld, unless lld lacks the target
#   clang_unsupported  why Clang cannot build for it, where it cannot;
#                    @clang@ stands for "Clang" and its major version
#   clang_since      the first Clang version that can, if one can
#   gcc_unsupported  why GCC cannot, where it cannot; @debian@ stands for
#                    "Debian" and the machine's release
#   gcc_since        the first Debian release whose GCC can, if one can
#   strip            the strip program, where GNU binutils have none
#   kernels          Debian's kernel flavours that the kernel test boots to
#                    run the program (tests/guest.py has the list)
#   largest_page     the largest page a Linux kernel that runs its programs
#                    may use (its Kconfig), when larger than 4 KiB: segments
#                    mapped with different rights never share such a page
#
# The compiler is GCC, or Clang where the configure step sets
# EXPRCALC_COMPILER=clang (the *-clang presets do).
#
# A preset that cannot be built here stops its configure step, and leaves
# the reason in the build folder's file cannot-build for scripts/test-all.sh.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES EXPRCALC_COMPILER BUILD_TESTING)  # for the compiler checks too
get_filename_component(processor ${CMAKE_PARENT_LIST_FILE} NAME_WE)
# Built on a machine of this very architecture (dpkg's name for it, or in
# a package build DEB_BUILD_ARCH), the program runs as it is.
if(DEFINED ENV{DEB_BUILD_ARCH})
    set(build_arch $ENV{DEB_BUILD_ARCH})
elseif(DEFINED host_arch AND NOT DEFINED ENV{DEB_HOST_ARCH})  # host.cmake asked dpkg already
    set(build_arch ${host_arch})
else()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE build_arch OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(DEFINED debian_arch AND debian_arch STREQUAL build_arch)
    set(native ON)
    set(emulator "")
endif()
# Only the tests run the program: a build without them needs no emulator.
if(DEFINED BUILD_TESTING AND NOT BUILD_TESTING)
    set(run_with "")
else()
    set(run_with ${emulator})
endif()
if(NOT DEFINED tools_triple)
    set(tools_triple ${target_triple})
endif()
if(EXPRCALC_QUERY)  # cmake/toolchain-query.cmake asks only the above
    return()
endif()
function(cannot_build reason)
    file(WRITE ${CMAKE_BINARY_DIR}/cannot-build "${reason}\n")
    message(FATAL_ERROR "${reason}${ARGN}")
endfunction()
# What is missing of the tools a build needs: the compiler, the linker where
# the compiler has it apart, and the emulator; and which of Debian's
# packages brings each (g++-TRIPLE, binutils-TRIPLE, qemu-user), where the
# name says it.
function(check_installed)
    set(missing "")
    set(packages "")
    foreach(tool IN LISTS ARGN)
        find_program(found_${tool} ${tool} NO_CACHE)
        if(NOT found_${tool})
            string(APPEND missing " ${tool}")
            if(tool MATCHES "^(.*)-g\\+\\+$")
                string(REPLACE "_" "-" triple ${CMAKE_MATCH_1})
                list(APPEND packages g++-${triple})
            elseif(tool MATCHES "^(.*)-ld\\.bfd$")
                string(REPLACE "_" "-" triple ${CMAKE_MATCH_1})
                list(APPEND packages binutils-${triple})
            elseif(tool MATCHES "^qemu-")
                list(APPEND packages qemu-user)
            endif()
        endif()
    endforeach()
    if(missing)
        set(brought "")
        if(packages)
            list(REMOVE_DUPLICATES packages)
            list(JOIN packages ", " packages)
            set(brought " (Debian's packages: ${packages})")
        endif()
        cannot_build("not installed:${missing}" "${brought}")
    endif()
endfunction()

if(EXPRCALC_COMPILER STREQUAL "clang")
    execute_process(COMMAND clang++ -dumpversion OUTPUT_VARIABLE clang_version)
    string(REGEX MATCH "^[0-9]*" clang_version "${clang_version}")
    if(DEFINED clang_unsupported AND (NOT DEFINED clang_since OR clang_version LESS clang_since))
        string(REPLACE "@clang@" "Clang ${clang_version}" clang_unsupported ${clang_unsupported})
        cannot_build(${clang_unsupported})
    endif()
    set(CMAKE_CXX_COMPILER clang++)
    set(CMAKE_CXX_COMPILER_TARGET ${target_triple})
    string(JOIN " " CMAKE_CXX_FLAGS_INIT ${clang_flags})
    if(NOT DEFINED clang_linker)
        set(clang_linker lld)
    endif()
    if(clang_linker STREQUAL "bfd")  # GNU ld, from Debian's cross binutils
        set(CMAKE_EXE_LINKER_FLAGS_INIT --ld-path=${tools_triple}-ld.bfd)
        check_installed(clang++ ${tools_triple}-ld.bfd ${run_with})
    else()
        set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=${clang_linker})
        check_installed(clang++ ld.${clang_linker} ${run_with})
    endif()
    list(APPEND program_options ${clang_options})
else()
    set(debian_version "")
    if(EXISTS /etc/debian_version)
        file(READ /etc/debian_version debian_version)
        string(REGEX MATCH "^[0-9]*" debian_version "${debian_version}")
    endif()
    if(debian_version STREQUAL "")  # testing or unstable: "forky/sid"
        set(debian_version 14)  # the release testing becomes
    endif()
    if(DEFINED gcc_unsupported AND (NOT DEFINED gcc_since OR debian_version LESS gcc_since))
        string(REPLACE "@debian@" "Debian ${debian_version}" gcc_unsupported ${gcc_unsupported})
        cannot_build(${gcc_unsupported})
    endif()
    check_installed(${tools_triple}-g++ ${run_with})
    set(CMAKE_CXX_COMPILER ${tools_triple}-g++)
    list(APPEND program_options ${gcc_options})
endif()

# The target's own GNU strip, whichever compiler: the package and the sizes
# reported for it do not depend on which strip the compiler brought. Clang
# alone, where the target's GNU binutils are missing (Debian 14 has none for
# MIPS), strips with LLVM's.
if(NOT DEFINED strip)
    set(strip ${tools_triple}-strip)
    find_program(found_strip ${strip} NO_CACHE)
    if(NOT found_strip AND EXPRCALC_COMPILER STREQUAL "clang")
        set(strip llvm-strip)
    endif()
endif()
set(CMAKE_STRIP ${strip})

if(DEFINED emulator AND NOT native)
    set(CMAKE_SYSTEM_NAME Linux)
    string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${target_triple})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})
    # CMake would check the compiler by linking a program against the
    # target's C library; ours uses none, so the check builds a library.
    set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
endif()
