# The packages CPack makes from the install (scripts/package runs it): a
# Debian package and a portable .tar.gz. Both hold the same files; the
# portable one adds a SAVE folder beside the window program, so that it saves
# there, and the Debian one leaves out LICENSE, whose text its copyright file
# carries; both hold stripped programs (PackageStaging.cmake).

set(CPACK_PACKAGE_NAME chromobrisk)
set(CPACK_PACKAGE_VENDOR "The Chromobrisk developers")
set(CPACK_PACKAGE_CONTACT "${CHROMOBRISK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remove or recolor the background of images")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Chromobrisk removes or recolors the background of a raster image. In its
window the user drops an image, clicks its background to pick the key color,
sets a tolerance and runs one of three passes:
 - simple removal: pixels near the key color become fully transparent;
 - alpha-restoring removal: soft edges keep partial transparency and are
   un-blended from the background;
 - color replacement: pixels near the key color take a new color and keep
   their shading.
Results are saved as 32-bit PNG files with alpha, into Chromobrisk/SAVE in
the user's pictures folder. The batch tool chromobrisk-cli runs the same
passes on many files from the command line.
The window's texts are in simplified Chinese.]=])
set(CPACK_PACKAGE_FILE_NAME chromobrisk-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})

# Debian: the dependencies from dpkg-shlibdeps, and what the libraries
# cannot tell: the window needs a Qt platform plugin to open at all; the
# image-format plugins (TIFF, WebP, ...), Qt's own translations and a font
# with Chinese characters make it whole.
set(CPACK_DEBIAN_PACKAGE_NAME chromobrisk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CHROMOBRISK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-image-formats-plugins, qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The portable archive unpacks into one folder: bin/, share/.
set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})

set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStaging.cmake)
set(CPACK_CHROMOBRISK_BINDIR ${CMAKE_INSTALL_BINDIR})
set(CPACK_CHROMOBRISK_STRIP ${CMAKE_STRIP})
set(CPACK_CHROMOBRISK_DOCS_DIR ${docs_dir})
set(CPACK_GENERATOR "DEB;TGZ")
include(CPack)
