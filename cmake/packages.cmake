# The Debian package and the Windows zip, made by CPack from one build (the
# package preset): the install here is laid out as Debian wants it, and the
# Windows build of the windows preset is made beside it for the zip.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "ADPACK_PACKAGES makes a Debian package: build it on "
                      "Debian or Ubuntu")
endif()
find_program(ADPACK_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(ADPACK_MINGW_CXX_FOR_ZIP NAMES x86_64-w64-mingw32-g++-win32
             x86_64-w64-mingw32-g++)
if(NOT ADPACK_DPKG_SHLIBDEPS OR NOT ADPACK_MINGW_CXX_FOR_ZIP)
  message(FATAL_ERROR "the packages need dpkg-shlibdeps and mingw-w64 "
                      "(apt-get install dpkg-dev g++-mingw-w64-x86-64)")
endif()

set(debian_dir ${PROJECT_BINARY_DIR}/debian)
set(ADPACK_MAINTAINER "adpack maintainers <adpack@example.org>" CACHE STRING
    "The Maintainer of the Debian package, in its changelog too")

# Policy wants man pages and changelogs compressed, with no name or time
# stamp in the gzip header so that the package builds the same twice.
set(compressed "")
foreach(source IN ITEMS ${ADPACK_PROGRAMS} NEWS)
  if(source STREQUAL "NEWS")
    set(from ${PROJECT_SOURCE_DIR}/NEWS)
    set(copy ${debian_dir}/NEWS)
  else()
    set(from ${PROJECT_SOURCE_DIR}/man/${source}.1)
    set(copy ${debian_dir}/${source}.1)
  endif()
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${from} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${from} VERBATIM)
  list(APPEND compressed ${copy}.gz)
endforeach()
add_custom_target(debian_documents ALL DEPENDS ${compressed})

# The copyright file in Debian's machine-readable format, its MIT text taken
# from LICENSE (the paragraph after the copyright line), each blank line a
# lone dot.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " ADPACK_EXPAT_TEXT " ${license}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian-copyright.in
               ${debian_dir}/copyright @ONLY)

install(TARGETS ${ADPACK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(program IN LISTS ADPACK_PROGRAMS)
  install(FILES ${debian_dir}/${program}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A native package's changelog, in Debian's format, which lintian requires;
# it points to NEWS. Dated now, or at SOURCE_DATE_EPOCH when that is set.
string(TIMESTAMP ADPACK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${debian_dir}/changelog
  "adpack (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Version ${PROJECT_VERSION}: what it changed is in NEWS.gz, beside this\n"
  "    file.\n\n"
  " -- ${ADPACK_MAINTAINER}  ${ADPACK_CHANGELOG_DATE}\n")
add_custom_command(OUTPUT ${debian_dir}/changelog.gz
  COMMAND gzip -9nkf ${debian_dir}/changelog
  DEPENDS ${debian_dir}/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${debian_dir}/changelog.gz)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${debian_dir}/NEWS.gz
              ${debian_dir}/changelog.gz ${debian_dir}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Windows build exactly as the windows preset makes it, in a folder of
# this build; its install is the zip's content.
include(ExternalProject)
set(windows_dir ${PROJECT_BINARY_DIR}/windows)
ExternalProject_Add(adpack_windows_package
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${windows_dir}
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${windows_dir}
                    --preset windows
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${windows_dir}
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND "")

set(CPACK_PACKAGE_NAME adpack)
set(CPACK_PACKAGE_VENDOR "the adpack project")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and inspects PDX ADPCM sample banks")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ADPACK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies from the binaries themselves, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "adpack builds a PDX sample bank from a list of 4-bit ADPCM samples.
pdxdump shows, checks and takes apart a bank, decodes its samples to WAV
and draws it as a web page that plays them. adpcm turns sound files into
the chip's ADPCM samples.")
include(CPack)

# The zip's own CPack configuration, beside CPackConfig.cmake.
configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackWindowsConfig.cmake.in
               ${PROJECT_BINARY_DIR}/CPackWindowsConfig.cmake @ONLY)
