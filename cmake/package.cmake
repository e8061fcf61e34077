# Installation: the program in bin, stripped by `cmake --install --strip`,
# and its man page. The Debian package (debian/) installs these through
# the same rules and adds the licence, the changelog and the note to lintian
# itself, as debhelper does for every package. Included by the top
# CMakeLists.txt.
include(GNUInstallDirs)

# The man page compressed as Debian wants it: gzip -9, and -n, which stores
# no name and no time.
add_custom_command(OUTPUT exprcalc.1.gz
                   COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/man/exprcalc.1 exprcalc.1.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/man/exprcalc.1 VERBATIM)
add_custom_target(man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/exprcalc.1.gz)

install(TARGETS exprcalc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/exprcalc.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
