# The version header, desktop integration, documentation and the Debian package.
#
# `cmake --build <tree> --target package` writes <tree>/pallimor_<version>_<arch>.deb. The package
# holds a release build installed under /usr, so that the compiled-in data folder is
# /usr/share/pallimor. A tree configured that way (Release, CMAKE_INSTALL_PREFIX=/usr) packages
# itself with CPack; any other tree (the test build installing into build/stage, a sanitizer
# build) configures and builds such a tree of its own in <tree>/package-tree and copies the package
# out of it.

# ---- version header: PallimorVersion.h for whatever shows the version ----
# The project version is the one fact: the header, the package and its file name take it. Every
# target that includes the header links pallimor_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/PallimorVersion.h.in
  ${CMAKE_BINARY_DIR}/generated/PallimorVersion.h @ONLY)
add_library(pallimor_version INTERFACE)
target_include_directories(pallimor_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
# --version of both programs and the man pages' header.
target_link_libraries(pallimor-cli PRIVATE pallimor_version)
target_link_libraries(mkmanual PRIVATE pallimor_version)
if(TARGET pallimor)
  # The window's title and the About box.
  target_link_libraries(pallimor_dialogs PUBLIC pallimor_version)
  target_link_libraries(pallimor_app PUBLIC pallimor_version)
  target_link_libraries(pallimor PRIVATE pallimor_version)
endif()

# ---- desktop integration ----
set(PALLIMOR_APP_ID org.pallimor.Pallimor)
set(PALLIMOR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
if(PALLIMOR_APP)
  install(FILES ${PALLIMOR_PACKAGING_DIR}/${PALLIMOR_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PALLIMOR_PACKAGING_DIR}/${PALLIMOR_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PALLIMOR_PACKAGING_DIR}/icons/pallimor.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # Rendered from the SVG by scripts/make_icons.sh and committed.
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PALLIMOR_PACKAGING_DIR}/icons/pallimor-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME pallimor.png)
  endforeach()
endif()

# ---- documentation ----
# Debian wants the changelog compressed with gzip -9 and without a time stamp (-n).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${PALLIMOR_PACKAGING_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${PALLIMOR_PACKAGING_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(changelog_gz ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${PALLIMOR_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pallimor)

# ---- man pages and bash completion ----
# Written by mkmanual from the parameter table and the option tables; the man pages compressed as
# Debian wants them (gzip -9n).
set(PALLIMOR_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(PALLIMOR_MAN_PAGES)
foreach(page pallimor pallimor-cli)
  add_custom_command(OUTPUT ${PALLIMOR_MAN_DIR}/${page}.1 ${PALLIMOR_MAN_DIR}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PALLIMOR_MAN_DIR}
    COMMAND mkmanual ${page}.1 ${PALLIMOR_MAN_DIR}/${page}.1
    COMMAND gzip -9nc ${PALLIMOR_MAN_DIR}/${page}.1 > ${PALLIMOR_MAN_DIR}/${page}.1.gz
    DEPENDS mkmanual
    COMMENT "Writing the man page ${page}(1)")
  list(APPEND PALLIMOR_MAN_PAGES ${PALLIMOR_MAN_DIR}/${page}.1.gz)
endforeach()
add_custom_command(OUTPUT ${PALLIMOR_MAN_DIR}/pallimor-cli.bash
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PALLIMOR_MAN_DIR}
  COMMAND mkmanual completion ${PALLIMOR_MAN_DIR}/pallimor-cli.bash
  DEPENDS mkmanual
  COMMENT "Writing the bash completion of pallimor-cli")
add_custom_target(manual ALL DEPENDS ${PALLIMOR_MAN_PAGES} ${PALLIMOR_MAN_DIR}/pallimor-cli.bash)
install(FILES ${PALLIMOR_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PALLIMOR_MAN_DIR}/pallimor-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pallimor-cli)

# ---- the Debian package ----
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE PALLIMOR_DEB_ARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT PALLIMOR_DEB_ARCH)
  set(PALLIMOR_DEB_ARCH amd64)
endif()
set(PALLIMOR_DEB_FILE pallimor_${PROJECT_VERSION}_${PALLIMOR_DEB_ARCH}.deb)

if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT PALLIMOR_SANITIZE
   AND NOT PALLIMOR_TSAN AND PALLIMOR_APP)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME pallimor)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "The Pallimor developers")
  set(CPACK_PACKAGE_CONTACT "The Pallimor developers <dev@pallimor.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "generator of seamlessly repeating textures")
  # CPack puts the summary above this as the synopsis line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pallimor paints random textures whose opposite edges match, so they tile
without a seam: a random walk of mirrored brush stamps over a flat, graded
or patterned background, steered by about a dozen parameters. Textures are
exported as BMP, PNG or JPEG files, one at a time or in numbered batches.
.
The package holds the window application pallimor, the command-line tool
pallimor-cli and the brush archive both of them draw with.")
  set(CPACK_DEBIAN_FILE_NAME ${PALLIMOR_DEB_FILE})
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PALLIMOR_DEB_ARCH})
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://pallimor.org)
  # Dependencies come from the linked libraries (dpkg-shlibdeps, from dpkg-dev), plus the Qt
  # platform plugins, which the window needs but links only at run time.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
  if(PALLIMOR_PYTHON)
    # The Python module links no libpython: the interpreter and numpy it runs in.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
  endif()
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Folders the install step creates get 0755 whatever the umask.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  include(CPack)
else()
  set(PALLIMOR_PACKAGE_TREE ${CMAKE_BINARY_DIR}/package-tree)
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${PALLIMOR_PACKAGE_TREE} -G ${CMAKE_GENERATOR}
      -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
      -DPALLIMOR_APP=ON -DPALLIMOR_TESTS=OFF -DPALLIMOR_BENCH=OFF -DPALLIMOR_SANITIZE=OFF -DPALLIMOR_TSAN=OFF
      # Debian's hardening flags (dpkg-buildflags with hardening=+all).
      "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong"
      "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now"
    COMMAND ${CMAKE_COMMAND} --build ${PALLIMOR_PACKAGE_TREE} --target package
    COMMAND ${CMAKE_COMMAND} -E copy ${PALLIMOR_PACKAGE_TREE}/${PALLIMOR_DEB_FILE}
      ${CMAKE_BINARY_DIR}/${PALLIMOR_DEB_FILE}
    COMMENT "Building the release tree ${PALLIMOR_PACKAGE_TREE} and its package ${PALLIMOR_DEB_FILE}"
    USES_TERMINAL VERBATIM)
endif()
