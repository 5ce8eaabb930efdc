# Installation into a prefix (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)
# Debian keeps documentation under the package's own (lower-case) name.
set(SKYLARK_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/skylark)

set(SKYLARK_APP_ID org.corvid.Skylark)

install(TARGETS skylark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/${SKYLARK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${SKYLARK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/skylark.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${SKYLARK_APP_ID}.svg)
foreach(size 48 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/skylark-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${SKYLARK_APP_ID}.png)
endforeach()
# An example unit for running the headless agent as a service.
install(FILES ${PROJECT_SOURCE_DIR}/data/skylark-headless@.service DESTINATION ${SKYLARK_DOCDIR})
# The manual lives with the program's data; the documentation folder only links to it.
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION ${CMAKE_INSTALL_DATADIR}/skylark)
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SKYLARK_DOCDIR}\")
    file(CREATE_LINK ../../skylark/manual.html
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SKYLARK_DOCDIR}/manual.html\" SYMBOLIC)
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skylark)
set(CPACK_PACKAGE_VENDOR Corvid)
set(CPACK_PACKAGE_CONTACT "Corvid <skylark@corvid.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watch the reachability and latency of many hosts at once")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The platform plugins are loaded at run time, where shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/prerm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
