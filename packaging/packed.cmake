# Run by cpack once the package is made. The package is an ar archive whose
# members (debian-binary, control.tar.gz, data.tar.gz) carry the modes their
# files had, 0666 less the builder's umask; here they become 0644, as
# dpkg-deb writes them. CMake cannot write binary files, so dd puts the
# eight ASCII bytes of each mode in place.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    file(SIZE "${deb}" size)
    set(header 8)  # after the archive's magic, "!<arch>\n"
    while(header LESS size)
        # A member's 60-byte header: name 16, time 12, owner 6, group 6,
        # mode 8, size 10, end 2; its data follows, padded to an even size.
        file(READ "${deb}" member_size OFFSET ${header} LIMIT 58)
        string(SUBSTRING "${member_size}" 48 10 member_size)
        string(STRIP "${member_size}" member_size)
        math(EXPR mode "${header} + 40")
        execute_process(COMMAND sh -c "printf '100644  ' | dd of=\"$1\" bs=1 seek=$2 conv=notrunc status=none"
                                sh "${deb}" ${mode}
                        COMMAND_ERROR_IS_FATAL ANY)
        math(EXPR header "${header} + 60 + ${member_size} + ${member_size} % 2")
    endwhile()
endforeach()
