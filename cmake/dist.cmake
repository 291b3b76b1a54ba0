# The release archive: dist/VidudUDE-<version>.zip holds the plug-in's
# plugins folder as the user unpacks it into the viewer's folder, with a
# SHA-256 sums file beside it. The version is the project's, the same that
# the DLL's version resource carries.
set(VIDUDUDE_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where the release archive goes")
find_program(WIXL wixl REQUIRED)
# Only needed when a certificate is given (cmake/dist_sign.cmake).
find_program(OSSLSIGNCODE osslsigncode)

add_custom_target(dist
  COMMAND ${CMAKE_COMMAND}
          -DDLL=${VIDUDUDE_DLL}
          -DDIAGNOSE=$<TARGET_FILE:VidudUDE-Diagnose>
          -DIMAGES=${PROJECT_SOURCE_DIR}/plugin/images
          -DVERSION=${PROJECT_VERSION}
          -DSTAGE=${CMAKE_CURRENT_BINARY_DIR}/dist-stage
          -DOUT=${VIDUDUDE_DIST_DIR}
          -DOBJCOPY=${CMAKE_OBJCOPY}
          -DWIXL=${WIXL}
          -DWXS=${PROJECT_SOURCE_DIR}/packaging/VidudUDE.wxs
          -DRC_IN=${PROJECT_SOURCE_DIR}/plugin/version.rc.in
          -DOSSLSIGNCODE=${OSSLSIGNCODE}
          -P ${PROJECT_SOURCE_DIR}/cmake/dist_archive.cmake
  DEPENDS VidudUDE VidudUDE-Diagnose
  VERBATIM)

# Builds the archive, installs it into a fresh Wine prefix of its own the way
# a user would, and has the viewer simulator load the installed plug-in.
add_test(NAME install_from_archive
  COMMAND ${vidudude_wine_prefix} bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
          ${CMAKE_CURRENT_BINARY_DIR} ${VIDUDUDE_DIST_DIR} ${PROJECT_VERSION})
set_tests_properties(install_from_archive PROPERTIES TIMEOUT 450 RESOURCE_GROUPS wineprefix:1)
