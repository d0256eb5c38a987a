# Installation and packages. Everything takes the version from project().
#   cmake --install build [--prefix ~/.local]   bin/jotlog, its manual page and documents
#   cpack -G DEB | TGZ (in build)                jotlog_<version>_<arch>.deb, a tarball
#   cpack -G ZIP | NSIS (in build-win, build-win32)  jotlog-<version>-win64.zip (-win32), the installer
include(GNUInstallDirs)

# Installing, and so making a package, builds the program alone, not every test and
# fuzzer of the build folder.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target jotlog
  --config \"\${CMAKE_INSTALL_CONFIG_NAME}\" RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR \"the program could not be built\")
endif()")

set(JOTLOG_PACKAGING_DIR ${CMAKE_CURRENT_BINARY_DIR}/packaging)
# Rereads the texts below when they change.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/doc/README-windows.txt)

if(WIN32)
  # Version resource and manifest, compiled by windres.
  enable_language(RC)
  set(JOTLOG_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  set(JOTLOG_MANIFEST ${JOTLOG_PACKAGING_DIR}/jotlog.exe.manifest)
  set(JOTLOG_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/jotlog.ico)
  configure_file(platform/win/jotlog_win.manifest.in ${JOTLOG_MANIFEST} @ONLY)
  configure_file(platform/win/jotlog_win.rc.in ${JOTLOG_PACKAGING_DIR}/jotlog.rc @ONLY)
  target_sources(jotlog PRIVATE ${JOTLOG_PACKAGING_DIR}/jotlog.rc)
  set_property(SOURCE ${JOTLOG_PACKAGING_DIR}/jotlog.rc APPEND PROPERTY OBJECT_DEPENDS
    "${JOTLOG_MANIFEST};${JOTLOG_ICON}")

  # A folder to unpack anywhere: the program and its texts with Windows line ends.
  foreach(text doc/README-windows.txt:README.txt LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" text ${text})
    list(GET text 0 from)
    list(GET text 1 to)
    file(READ ${PROJECT_SOURCE_DIR}/${from} content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${JOTLOG_PACKAGING_DIR}/${to} "${content}")
    install(FILES ${JOTLOG_PACKAGING_DIR}/${to} DESTINATION .)
  endforeach()
  install(TARGETS jotlog RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  # The installer, for the user alone (packaging/nsis/NSIS.template.in, the project's own
  # script in place of CMake's, which installs for all users when it may), made where
  # Debian's nsis is installed.
  list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/nsis)
  set(CPACK_NSIS_EXECUTABLE makensis)
  set(CPACK_NSIS_MUI_ICON ${JOTLOG_ICON})
  set(CPACK_JOTLOG_VERSION_QUAD ${JOTLOG_VERSION_QUAD})
  # The installer runs as the program does: 64-bit for a 64-bit build (a system without
  # 32-bit support, as Wine's 64-bit prefixes are, runs no 32-bit installer).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_JOTLOG_NSIS_TARGET amd64-unicode)
  else()
    set(CPACK_JOTLOG_NSIS_TARGET x86-unicode)
  endif()
  find_program(JOTLOG_MAKENSIS makensis)
  if(JOTLOG_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
  endif()
  math(EXPR JOTLOG_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
  set(CPACK_SYSTEM_NAME win${JOTLOG_BITS})  # win64, or win32 for the 32-bit build
else()
  install(TARGETS jotlog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  configure_file(doc/jotlog.1.in ${JOTLOG_PACKAGING_DIR}/jotlog.1 @ONLY)
  install(FILES ${JOTLOG_PACKAGING_DIR}/jotlog.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # What desktops list and bind keys to, with the icon in each size the theme looks up
  # (made from packaging/icons/jotlog.svg by make_icons.sh there).
  install(FILES packaging/linux/jotlog.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES packaging/icons/hicolor/${size}x${size}/jotlog.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES packaging/icons/jotlog.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  set(CPACK_GENERATOR DEB TGZ)
endif()

set(CPACK_PACKAGE_NAME jotlog)
set(CPACK_PACKAGE_VENDOR "the jotlog developers")
set(CPACK_PACKAGE_CONTACT "the jotlog developers <jotlog@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "one-shot memo recorder with date and time stamps")
# Debian's form: lines within 80 characters.
set(CPACK_PACKAGE_DESCRIPTION [[jotlog records one memo per start: the command line or the clipboard's text,
stamped with the date and time from a template and appended to a memo file or
to the clipboard's text. The outcome is shown in a desktop dialog or
notification, or on standard error.
It suits a keyboard shortcut: press a key, and the clipboard's text lands in a
dated log. Settings live in a small INI file beside the program, or in the
user's configuration folder when that one cannot be written.
Its messages are in English, and in Japanese for a Japanese user or where no
language is set.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

# Debian's conventions: the file name, a compressed manual page and changelog, the
# licence as the package's copyright file and lintian's overrides (deb_layout.cmake).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The boxes' texts are Japanese where no language is set or for a Japanese user: without a
# font that has its glyphs they are empty squares.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "xclip | wl-clipboard, zenity | kdialog | libnotify-bin, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
configure_file(cmake/debian/changelog.in ${JOTLOG_PACKAGING_DIR}/changelog @ONLY)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE JOTLOG_LICENSE_TEXT)
file(WRITE ${JOTLOG_PACKAGING_DIR}/copyright "jotlog\n\n${JOTLOG_LICENSE_TEXT}")
set(JOTLOG_DEB_CHANGELOG ${JOTLOG_PACKAGING_DIR}/changelog)
set(JOTLOG_DEB_COPYRIGHT ${JOTLOG_PACKAGING_DIR}/copyright)
set(JOTLOG_DEB_OVERRIDES ${JOTLOG_PACKAGING_DIR}/jotlog)
configure_file(cmake/debian/lintian-overrides ${JOTLOG_DEB_OVERRIDES} COPYONLY)
configure_file(cmake/deb_layout.cmake.in ${JOTLOG_PACKAGING_DIR}/deb_layout.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${JOTLOG_PACKAGING_DIR}/deb_layout.cmake)

include(CPack)
