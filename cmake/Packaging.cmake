# SPDX-License-Identifier: MIT
# cmake --install makes one relocatable folder: bin/card-dispenser-test, the command-line runner
# bin/card-dispenser-burnin with its manual page in share/man/man1, the driver host both start
# for a burn-in, bin/card-dispenser-devicehost, lib/libvarnak_c.so (the
# simulator), the results server's schema in share/doc/card-dispenser-test, the upload's systemd
# user units in share/systemd/user and the start script card-dispenser-test.sh. CPack ships that
# folder as a .tar.gz and as a .deb that puts it under /opt with a desktop entry, an icon, both
# commands on the PATH, the manual page where man finds it and the units where systemd does.
set(CDT_PACKAGE_NAME card-dispenser-test)
set(CDT_SYSTEM_FOLDER /opt/${CDT_PACKAGE_NAME})
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    # The folder is self-contained; spread over /usr/local its start script would sit at the top.
    set(CMAKE_INSTALL_PREFIX ${CDT_SYSTEM_FOLDER} CACHE PATH "Install folder" FORCE)
endif()
# The licence asks to travel with every copy.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# The timer service of --upload, for systemd's user manager, in share/systemd/user. Its program
# is where the .deb puts it, which also links the units where systemd finds them; a folder
# installed elsewhere (the archive) copies them with its own path, as the README shows.
set(CDT_BURNIN_PROGRAM ${CDT_SYSTEM_FOLDER}/bin/card-dispenser-burnin)
set(CDT_UPLOAD_UNIT card-dispenser-burnin-upload@)
configure_file(${PROJECT_SOURCE_DIR}/src/cli/systemd/${CDT_UPLOAD_UNIT}.service.in
    ${CMAKE_BINARY_DIR}/systemd/${CDT_UPLOAD_UNIT}.service @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/src/cli/systemd/${CDT_UPLOAD_UNIT}.timer
    ${CMAKE_BINARY_DIR}/systemd/${CDT_UPLOAD_UNIT}.timer COPYONLY)
install(FILES ${CMAKE_BINARY_DIR}/systemd/${CDT_UPLOAD_UNIT}.service
    ${CMAKE_BINARY_DIR}/systemd/${CDT_UPLOAD_UNIT}.timer
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/systemd/user)
# The shared results server's schema, which its administrator runs once.
install(FILES ${PROJECT_SOURCE_DIR}/sql/server.sql
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CDT_PACKAGE_NAME})
set(CDT_PACKAGE_MAINTAINER "Card dispenser test tool developers <maintainers@invalid>"
    CACHE STRING "Maintainer field of the .deb")

set(CPACK_PACKAGE_NAME ${CDT_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "The card dispenser test tool developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tests a self-service card dispenser one step at a time")
set(CPACK_PACKAGE_CONTACT ${CDT_PACKAGE_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackOptions.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot find them: Qt's X11 platform plugin, the SQLite
# driver of the results database, and a font for the Chinese texts. Qt 5's platform plugins come
# in libqt5gui5, which the program links; its SQL drivers come in a package of their own.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk")
# The PostgreSQL driver is needed only by a station that forwards to a results server.
if(QT_VERSION_MAJOR EQUAL 6)
    string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, ")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libqt6sql6-psql)
else()
    string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite, ")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libqt5sql5-psql)
endif()

# Read by CPackOptions.cmake and CPackDebianExtras.cmake when CPack runs.
set(CPACK_CDT_SYSTEM_FOLDER ${CDT_SYSTEM_FOLDER})
set(CPACK_CDT_DEBIAN_EXTRAS ${CMAKE_CURRENT_LIST_DIR}/CPackDebianExtras.cmake)
set(CPACK_CDT_DESKTOP_ENTRY ${PROJECT_SOURCE_DIR}/src/gui/shell/${CDT_PACKAGE_NAME}.desktop)
set(CPACK_CDT_ICON ${PROJECT_SOURCE_DIR}/res/${CDT_PACKAGE_NAME}.png)
set(CPACK_CDT_BURNIN_NAME card-dispenser-burnin)
set(CPACK_CDT_MAN_FOLDER ${CMAKE_INSTALL_MANDIR}/man1)
set(CPACK_CDT_UNIT_FOLDER ${CMAKE_INSTALL_DATAROOTDIR}/systemd/user)
set(CPACK_CDT_UPLOAD_UNIT ${CDT_UPLOAD_UNIT})

include(CPack)
