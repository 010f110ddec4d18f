# SPDX-License-Identifier: MIT
# Per package kind: the archive holds the folder as it is; the .deb puts it under /opt and adds
# what a desktop needs outside it.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX ${CPACK_CDT_SYSTEM_FOLDER})
    set(CPACK_PRE_BUILD_SCRIPTS ${CPACK_CDT_DEBIAN_EXTRAS})
endif()
