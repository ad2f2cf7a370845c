# What `cmake --install` puts under the prefix, and the Debian package made of it by CPack.
include(GNUInstallDirs)

set(ZEM_MIME_TYPE application/x-zem-copy)
set(ZEM_RELEASE_DATE 2026-12-09)  # of PROJECT_VERSION, for the software centres' release list
set(ZEM_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZEM_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)

configure_file(${ZEM_PACKAGING_DIR}/zem.desktop.in ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.desktop @ONLY)
configure_file(${ZEM_PACKAGING_DIR}/zem.metainfo.xml.in ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.metainfo.xml @ONLY)
configure_file(${ZEM_PACKAGING_DIR}/zem.mime.xml.in ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.xml @ONLY)

configure_file(${ZEM_PACKAGING_DIR}/changelog.in ${ZEM_GENERATED_DIR}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed, and reproducibly (no name, no time).
find_program(ZEM_GZIP gzip REQUIRED)
foreach(doc ${ZEM_PACKAGING_DIR}/zem.1 ${ZEM_GENERATED_DIR}/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${ZEM_GENERATED_DIR}/${name}.gz
                     COMMAND ${ZEM_GZIP} -9nc ${doc} > ${ZEM_GENERATED_DIR}/${name}.gz
                     DEPENDS ${doc} VERBATIM)
endforeach()
add_custom_target(zem_docs ALL DEPENDS ${ZEM_GENERATED_DIR}/zem.1.gz ${ZEM_GENERATED_DIR}/changelog.gz)

install(TARGETS zem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ZEM_GENERATED_DIR}/${ZEM_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${ZEM_PACKAGING_DIR}/icons/zem.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${ZEM_APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${ZEM_PACKAGING_DIR}/icons/zem-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${ZEM_APP_ID}.png)
endforeach()
install(FILES ${ZEM_GENERATED_DIR}/zem.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZEM_PACKAGING_DIR}/copyright ${ZEM_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zem)
# Qt's own dialogs speak Russian with Qt's translations, which the tool takes from Qt's folder
# (qt6-translations-l10n): it has no translations of its own to install.

set(CPACK_PACKAGE_NAME zem)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ZEM 2.0 developers")
set(CPACK_PACKAGE_CONTACT "ZEM 2.0 developers <zem@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "settings tool for the ZEM GSM alarm and access-control module")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the linked libraries: the X11/Wayland platform plugins, and Qt's Russian texts.
# The catalogue opens its databases through Qt SQL's driver plugins, which no library links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.com/zem")
file(READ ${ZEM_PACKAGING_DIR}/description ZEM_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${ZEM_DESCRIPTION}")  # under the summary
include(CPack)
