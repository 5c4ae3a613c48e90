# Installation beyond the programs' own targets (man pages, completion, desktop integration) and the
# Debian package. The programs, the signature file and the user guide are installed where they are built.
include(GNUInstallDirs)

set(LUMACORE_RES ${PROJECT_SOURCE_DIR}/res)

install(TARGETS lumacore-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants man pages compressed, without a time stamp in the gzip header so that builds repeat.
set(LUMACORE_MAN_PAGES lumacore-cli.1)
if(LUMACORE_BUILD_GUI)
    list(APPEND LUMACORE_MAN_PAGES lumacore.1)
endif()
foreach(page IN LISTS LUMACORE_MAN_PAGES)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND gzip -9nc ${LUMACORE_RES}/man/${page} > ${compressed}
        DEPENDS ${LUMACORE_RES}/man/${page}
        VERBATIM)
    list(APPEND LUMACORE_COMPRESSED_MAN_PAGES ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(lumacore-man ALL DEPENDS ${LUMACORE_COMPRESSED_MAN_PAGES})

install(FILES ${LUMACORE_RES}/completion/lumacore-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The schema of `lumacore-cli scan --json`, for scripts that check what they read.
install(FILES ${LUMACORE_RES}/schema/scan.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/lumacore)

if(LUMACORE_BUILD_GUI)
    foreach(size 48 128 256)
        install(FILES ${LUMACORE_RES}/icons/lumacore-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME lumacore.png)
    endforeach()
    install(FILES ${LUMACORE_RES}/org.lumacore.Lumacore.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${LUMACORE_RES}/mime/lumacore.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
endif()

# The polkit actions name the helpers by their installed path, known only when installing (cpack installs
# under its own prefix).
install(CODE "
    set(LUMACORE_HELPER_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/lumacore\")
    configure_file(${LUMACORE_RES}/polkit/org.lumacore.policy.in ${CMAKE_BINARY_DIR}/org.lumacore.policy @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/org.lumacore.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumacore)
set(CPACK_PACKAGE_VENDOR "Lumacore")
set(CPACK_PACKAGE_CONTACT "Lumacore developers <dev@lumacore.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover deleted files, formatted drives and lost partitions")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds deleted files on FAT, NTFS and EXT2/3/4 volumes of disks and disk images by reading raw sectors,\
 finds what a quick format left behind, carves files out of raw sectors by their signatures, brings back lost\
 partitions, keeps partition backups and repairs mail-store headers. Ships the desktop program lumacore and the\
 command line lumacore-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumacore.org/")
# Shared libraries are found by dpkg-shlibdeps; what Qt and the preview load at run time is not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(LUMACORE_BUILD_GUI)
    # The TIFF and WBMP readers are Qt plugins; the type names in the result lists come from the MIME database.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, shared-mime-info")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec, qt6-qpa-plugins, xdg-utils, fonts-dejavu-core")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
