# Installed layout: the program in <prefix>/lib/quillbox/ with its catalog Base/ beside it (the
# catalog finds it through the executable's own folder, so the two must stay together), a
# <prefix>/bin/quillbox link, and the desktop entry, icons and AppStream metainfo under one id.
set(QUILLBOX_APP_ID "io.github.quillbox.Quillbox")
set(QUILLBOX_INSTALL_LIBDIR "lib/quillbox")

if(TARGET quillbox)
  install(TARGETS quillbox RUNTIME DESTINATION ${QUILLBOX_INSTALL_LIBDIR})
  # Relative, so that the link also holds inside DESTDIR staging and the Debian package.
  install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    file(REMOVE \"\${_bin}/quillbox\")
    file(CREATE_LINK ../${QUILLBOX_INSTALL_LIBDIR}/quillbox \"\${_bin}/quillbox\" SYMBOLIC)
    message(STATUS \"Installing: \${_bin}/quillbox -> ../${QUILLBOX_INSTALL_LIBDIR}/quillbox\")
  ")
endif()

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${_pkg}/${QUILLBOX_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${_pkg}/${QUILLBOX_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${_pkg}/icons/${QUILLBOX_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${_pkg}/icons/${QUILLBOX_APP_ID}-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${QUILLBOX_APP_ID}.png)
endforeach()

# cpack -G DEB
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quillbox")
set(CPACK_PACKAGE_VENDOR "The Quillbox developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sets the status text of VK accounts from the notification area")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillbox lives in the notification area and sets the status text of a VK account: it keeps saved accounts, signs in through VK's web login, shows the current status and sends a new one. A catalog of ready-made statuses is included. The user interface is in Russian.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://${QUILLBOX_UPDATE_HOST}/")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quillbox developers <quillbox@${QUILLBOX_UPDATE_HOST}>")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The run-time libraries are found by dpkg-shlibdeps from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland plugin for native Wayland sessions (the program prefers XWayland), and a font with
# Cyrillic for systems without Tahoma.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-dejavu-core")
include(CPack)
