# What `cmake --install` puts where, and the Debian package made from it with
# `cpack -G DEB` (run in the build directory).
include(GNUInstallDirs)

# The kit tool is a command; the installer is started beside a kit (or with
# usecwd), never from PATH.
install(TARGETS vxk5-kit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vxk5-setup RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vxk5)

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n:
# no name or time inside, so the same sources give the same package).
find_program(VXK5_GZIP gzip REQUIRED)
function(vxk5_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${VXK5_GZIP} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
set(manPages "")
foreach(page vxk5-setup.1 vxk5-kit.1)
  vxk5_gzip(${PROJECT_SOURCE_DIR}/man/${page} ${CMAKE_BINARY_DIR}/man/${page}.gz)
  list(APPEND manPages ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
# The package is its own upstream (a native package): its changelog is changelog.gz.
vxk5_gzip(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${CMAKE_BINARY_DIR}/man/changelog.gz)
add_custom_target(man_pages ALL DEPENDS ${manPages} ${CMAKE_BINARY_DIR}/man/changelog.gz)
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/man/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The demo kit's sources and the script that makes the kit from them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/demo-kit
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
  USE_SOURCE_PERMISSIONS)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME vxk5)
set(CPACK_PACKAGE_VENDOR "vxk5")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installer of configuration templates for Linux desktops")
# The extended description after the summary: one string, lines within 80
# columns (a list here would reach the package joined with ";").
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "vxk5-setup installs the configuration templates of a kit file into a
template directory through a small wizard, journalling every change and
rolling all of it back on failure.
.
vxk5-kit makes, lists, verifies, unpacks and signs such kit files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "vxk5 maintainers <maintainers@vxk5.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries' packages (GTK+ 2, zlib, the C++ runtime) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The final page opens the description document with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
