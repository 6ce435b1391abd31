# Install rules of the files beside the two programs, and the Debian package (CPack DEB):
#   cmake --install build/default --prefix /usr        scripts/package (the .deb)
# The programs' own rules sit with their targets (apps/, tools/).
include(GNUInstallDirs)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(pkg_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg_out})

# Manual pages and the changelog are installed compressed; -n keeps names and times out
# of the archive, so the package builds the same twice.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(pair "vedalia.1;vedalia.1.gz" "vedalia-course.1;vedalia-course.1.gz" "changelog;changelog.gz")
  list(GET pair 0 in)
  list(GET pair 1 out)
  add_custom_command(OUTPUT ${pkg_out}/${out}
                     COMMAND ${GZIP} -9n -c ${pkg}/${in} > ${pkg_out}/${out}
                     DEPENDS ${pkg}/${in} VERBATIM)
  list(APPEND compressed ${pkg_out}/${out})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${compressed})

install(FILES ${pkg_out}/vedalia.1.gz ${pkg_out}/vedalia-course.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg}/io.vedalia.Vedalia.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg}/io.vedalia.Vedalia.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${pkg}/icons/vedalia.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${pkg}/icons/${size}x${size}/vedalia.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${pkg}/copyright ${pkg_out}/changelog.gz ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/docs/administrator.md ${PROJECT_SOURCE_DIR}/docs/classroom.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The machine-wide setting lives in /etc whatever the prefix (a conffile of the package).
install(FILES ${pkg}/lorevia_8_zelta.conf DESTINATION /etc/xdg/Vantorell)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vedalia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop shell of an interactive school course")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vedalia plays a school course whose whole interface is a Flash movie
(start.swf). It keeps pupils' accounts and test results in an encrypted
database, gives every pupil a personal folder, and opens the course's movies,
pictures, videos and 3D models in viewer windows, with copies, reports and
printing.
.
vedalia-course installs a course from its disc, with launchers in the pupils'
menu, and makes and inspects course databases and content files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vedalia maintainers <maintainers@vedalia.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries the programs link come from dpkg-shlibdeps (it also names the web engine's
# helper process that renders the movies). These are loaded at run time, so no linker sees
# them: GStreamer's elements that decode the course's AVI videos and Mesa's drivers for
# the OpenGL of the 3D viewer. (Qt's JPEG and BMP readers ship with libqt6gui6.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
