# SPDX-License-Identifier: MIT
# Runs in CPack after the install folder is staged under /opt for the .deb: adds, outside that
# folder, the desktop entry, its icon and a command on the PATH. They are not install() rules
# because `cmake --install` must never write to /usr.
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(name ${CPACK_PACKAGE_NAME})
file(COPY ${CPACK_CDT_DESKTOP_ENTRY} DESTINATION ${root}/usr/share/applications
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY ${CPACK_CDT_ICON} DESTINATION ${root}/usr/share/icons/hicolor/256x256/apps
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(MAKE_DIRECTORY ${root}/usr/bin)
file(CREATE_LINK ${CPACK_CDT_SYSTEM_FOLDER}/${name}.sh ${root}/usr/bin/${name} SYMBOLIC)
