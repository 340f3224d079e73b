# Installing qprepare and packaging it: a Debian package on POSIX, a zip on
# Windows. qprepare reads qprepare.ini from its own folder (through a link
# too: the executable's path is the resolved one), so both always lie side
# by side.
#
#   POSIX    <prefix>/lib/qprepare/qprepare, <prefix>/lib/qprepare/qprepare.ini
#            and the link <prefix>/bin/qprepare -> ../lib/qprepare/qprepare
#   Windows  qprepare.exe, qprepare.ini (CR LF) and README.md in one folder
if(WIN32)
  set(QV_INSTALL_APPDIR .)
  install(TARGETS qprepare RUNTIME DESTINATION ${QV_INSTALL_APPDIR})
  install(FILES ${QV_SHIPPED_INI} DESTINATION ${QV_INSTALL_APPDIR} RENAME qprepare.ini)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${QV_INSTALL_APPDIR})
else()
  set(QV_INSTALL_APPDIR lib/qprepare)
  install(TARGETS qprepare RUNTIME DESTINATION ${QV_INSTALL_APPDIR})
  install(FILES ${QV_SHIPPED_INI} DESTINATION ${QV_INSTALL_APPDIR} RENAME qprepare.ini)
  # A relative link, so the tree can move as a whole (DESTDIR, packages).
  file(CREATE_LINK ../${QV_INSTALL_APPDIR}/qprepare ${PROJECT_BINARY_DIR}/qprepare-bin-link
       SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/qprepare-bin-link DESTINATION bin RENAME qprepare)
endif()

set(CPACK_PACKAGE_NAME qprepare)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvane")
set(CPACK_PACKAGE_CONTACT "Quorvane Prepare maintainers <maintainers@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepares and runs e-book conversions of HTML pages")
set(CPACK_PACKAGE_DESCRIPTION
    "qprepare collects the converter parameters that authors write into their HTML pages as
meta tags, follows include tags, writes a copy of each page with absolute links and runs
the converter of the chosen target (pandoc, Calibre's ebook-convert, ...) for every page
a wildcard matches. The targets are set in /usr/lib/qprepare/qprepare.ini.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qprepare-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # qprepare_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pandoc)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS calibre)
  # The INI is the user's to edit: dpkg keeps the edited file on upgrades.
  file(WRITE ${PROJECT_BINARY_DIR}/debian/conffiles
       "${CPACK_PACKAGING_INSTALL_PREFIX}/${QV_INSTALL_APPDIR}/qprepare.ini\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
