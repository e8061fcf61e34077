# Installation, and the Debian package made from it: the program in
# /usr/bin, stripped; its man page; the licence and the changelog; and a
# note to lintian. Included by the top CMakeLists.txt.
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "exprcalc developers <exprcalc@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calculator of y = (10x - 5)^2 that uses no library")
set(CPACK_PACKAGE_DESCRIPTION [[
exprcalc shows the expression y = (10x - 5)^2, asks for x, reads one line
from standard input and prints y, as unsigned 32-bit numbers that wrap
around. It uses no C library and no language runtime: it starts at _start
and makes the kernel's read, write and exit calls itself, one for each
piece of output, so strace shows exactly how a program meets the kernel.
It is a kilobyte or so of machine code, for reading and for scripts that
pipe a value in.]])
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The same modes, and so the same bytes, under any umask.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/staged.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/packed.cmake)
# The architecture comes from the toolchain file; without one, from dpkg.
# A target that Debian has no architecture for has no package.
if(NOT DEFINED debian_arch AND NOT CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE debian_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_arch})

# Two packages of one commit are the same bytes: every time in them is the
# last commit's (SOURCE_DATE_EPOCH, as Debian's builders set it), not the
# time of packaging. Outside a git checkout, the time CMakeLists.txt changed.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(source_date_epoch $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    if(NOT source_date_epoch MATCHES "^[0-9]+$")
        file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt source_date_epoch %s UTC)
    endif()
endif()
file(CONFIGURE OUTPUT package-time.cmake
     CONTENT "set(ENV{SOURCE_DATE_EPOCH} ${source_date_epoch})  # read by cpack\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/package-time.cmake)

# The licence in Debian's machine-readable form: the text indented by one
# blank, an empty line written as a lone dot.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence_text)
string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" licence_text "${licence_text}")
string(REGEX REPLACE "\n+$" "" licence_text "${licence_text}")
string(REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
string(REPLACE "\n" "\n " licence_text " ${licence_text}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in copyright @ONLY)

# The man page and the changelog, compressed as Debian wants them: gzip -9,
# and -n, which stores no name and no time.
foreach(text man/exprcalc.1 packaging/changelog)
    get_filename_component(name ${text} NAME)
    add_custom_command(OUTPUT ${name}.gz
                       COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/${text} ${name}.gz
                       DEPENDS ${PROJECT_SOURCE_DIR}/${text} VERBATIM)
    list(APPEND compressed ${PROJECT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compressed ALL DEPENDS ${compressed})

install(TARGETS exprcalc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/exprcalc.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME exprcalc)
if(debian_arch)
    include(CPack)
endif()
