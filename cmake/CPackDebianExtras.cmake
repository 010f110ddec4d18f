# SPDX-License-Identifier: MIT
# Runs in CPack after the install folder is staged under /opt for the .deb: adds, outside that
# folder, the desktop entry, its icon, the two commands on the PATH, the command-line
# runner's manual page, compressed as man pages are, and the upload's units where systemd's user
# manager finds a package's. They are not install() rules because
# `cmake --install` must never write to /usr.
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(name ${CPACK_PACKAGE_NAME})
file(COPY ${CPACK_CDT_DESKTOP_ENTRY} DESTINATION ${root}/usr/share/applications
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY ${CPACK_CDT_ICON} DESTINATION ${root}/usr/share/icons/hicolor/256x256/apps
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(MAKE_DIRECTORY ${root}/usr/bin)
file(CREATE_LINK ${CPACK_CDT_SYSTEM_FOLDER}/${name}.sh ${root}/usr/bin/${name} SYMBOLIC)
# The runner works in the folder it is started from, so it is linked itself, not through the
# tool's start script, which chooses a folder of its own.
set(burnin ${CPACK_CDT_BURNIN_NAME})
file(CREATE_LINK ${CPACK_CDT_SYSTEM_FOLDER}/bin/${burnin} ${root}/usr/bin/${burnin} SYMBOLIC)
file(MAKE_DIRECTORY ${root}/usr/share/man/man1)
file(ARCHIVE_CREATE OUTPUT ${root}/usr/share/man/man1/${burnin}.1.gz
    PATHS ${root}${CPACK_CDT_SYSTEM_FOLDER}/${CPACK_CDT_MAN_FOLDER}/${burnin}.1
    FORMAT raw COMPRESSION GZip)
file(MAKE_DIRECTORY ${root}/usr/lib/systemd/user)
foreach(kind service timer)
    set(unit ${CPACK_CDT_UPLOAD_UNIT}.${kind})
    file(CREATE_LINK ${CPACK_CDT_SYSTEM_FOLDER}/${CPACK_CDT_UNIT_FOLDER}/${unit}
        ${root}/usr/lib/systemd/user/${unit} SYMBOLIC)
endforeach()
