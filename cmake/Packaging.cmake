# What `cmake --install` lays down for a Linux desktop, and the Debian
# package CPack builds from it (scripts/package.sh). Everything the desktop
# sees is named after one reverse-DNS id.
set(KAVELO_APP_ID com.example.Kavelo)
set(KAVELO_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kavelo)

install(TARGETS kavelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The decode helper, which only the program starts; it looks for it in
# ../lib/kavelo from its own folder (DecodeHelperPool::besideProgram).
install(TARGETS kavelo-decode RUNTIME DESTINATION lib/kavelo)

configure_file(${CMAKE_SOURCE_DIR}/resources/${KAVELO_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/${KAVELO_APP_ID}.metainfo.xml @ONLY)
install(FILES resources/${KAVELO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/${KAVELO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The slide show file type; the desktop's mime database picks it up from here.
install(FILES resources/${KAVELO_APP_ID}.mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${KAVELO_APP_ID}.xml)

foreach(size 16 24 32 48 64 128 256)
    install(FILES resources/icons/hicolor/${size}x${size}/${KAVELO_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES resources/artwork/${KAVELO_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants the man page and the changelog compressed, and reproducibly
# so: -n keeps the name and time stamp out of the gzip header.
set(KAVELO_COMPRESSED_DOCS)
foreach(doc packaging/kavelo.1 packaging/changelog)
    get_filename_component(name ${doc} NAME)
    set(out ${CMAKE_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/${doc} > ${out}
        DEPENDS ${CMAKE_SOURCE_DIR}/${doc}
        VERBATIM)
    list(APPEND KAVELO_COMPRESSED_DOCS ${out})
endforeach()
add_custom_target(kavelo_docs ALL DEPENDS ${KAVELO_COMPRESSED_DOCS})
install(FILES ${CMAKE_BINARY_DIR}/kavelo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz packaging/copyright
    DESTINATION ${KAVELO_PACKAGE_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tessaly Software")
set(CPACK_PACKAGE_CONTACT "Tessaly Software <kavelo@tessaly.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and play picture slide shows")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Kavelo walks your folders, previews pictures (JPEG, HEIC, AVIF, WebP, PNG,\n\
GIF, JPEG XL, TIFF and BMP) and builds an ordered slide list, which it saves\n\
as a .SLD slide show file and loads again. The list plays in a maximized\n\
window on a timer, forwards or backwards, with keys to pause, step and\n\
change the pace.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tessaly.example.com/kavelo/")
# Linked libraries come from dpkg-shlibdeps, the decoders' among them
# (libjpeg, libtiff, libpng, giflib, libwebp, libheif with its HEVC and AV1
# decoders, libavif, libjxl, lcms2) and libseccomp; what is only loaded at run time
# must be named: the TIFF reader is a plug-in outside libqt6gui6, and the X
# screen saver's suspend is loaded on X11 only. Qt's Wayland plug-in lets a
# Wayland session run the program natively instead of through XWayland.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, libxss1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
