# libsndfile and libsamplerate for the Windows build, made at configure time
# from Debian's source packages with the same mingw-w64 toolchain and linked
# statically, so that the .exe still needs no DLL beside it. Included by the
# cross build (WIN32). Defines the imported targets adpack::sndfile and
# adpack::samplerate when it succeeds; otherwise, unless ADPACK_WINDOWS_SOUND
# is REQUIRED, it says why and defines neither, and the programs that need
# them are left out.
#
# Sets (cache, internal) for whoever cites the libraries:
#   ADPACK_SNDFILE_DEBIAN_VERSION, ADPACK_SAMPLERATE_DEBIAN_VERSION
#   ADPACK_SNDFILE_SOURCE_DIR, ADPACK_SAMPLERATE_SOURCE_DIR (the unpacked
#   Debian sources: COPYING and debian/copyright are there)
include_guard(GLOBAL)

if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL ""
   AND NOT "$ENV{CI}" STREQUAL "false")
  set(default_sound REQUIRED)
else()
  set(default_sound ON)
endif()
set(ADPACK_WINDOWS_SOUND ${default_sound} CACHE STRING
    "Make the Windows sound libraries from Debian's sources: ON (skip the \
programs that need them when that fails), REQUIRED (fail) or OFF")
set_property(CACHE ADPACK_WINDOWS_SOUND PROPERTY STRINGS ON REQUIRED OFF)
set(ADPACK_SOUND_SOURCES_DIR ${PROJECT_BINARY_DIR}/sound-libraries/sources
    CACHE PATH "Where the Debian source packages of the Windows sound \
libraries are fetched and unpacked")

set(sound_dir ${PROJECT_BINARY_DIR}/sound-libraries)
set(sound_prefix ${sound_dir}/install)

# Stops the include: an error when the libraries are required, else a
# warning that says what is left out and how to get it.
macro(adpack_sound_unavailable reason)
  if(ADPACK_WINDOWS_SOUND STREQUAL "REQUIRED")
    message(FATAL_ERROR "The Windows sound libraries cannot be made: "
                        "${reason}")
  endif()
  message(WARNING "The Windows sound libraries cannot be made, so the "
                  "programs that read sound files are not built: ${reason}\n"
                  "(-DADPACK_WINDOWS_SOUND=OFF stops trying)")
  return()
endmacro()

if(NOT ADPACK_WINDOWS_SOUND)
  message(STATUS "Windows sound libraries off (ADPACK_WINDOWS_SOUND): the "
                 "programs that read sound files are not built")
  return()
endif()
if(NOT CMAKE_C_COMPILER)
  adpack_sound_unavailable("no mingw-w64 C compiler "
                           "(apt-get install gcc-mingw-w64-x86-64)")
endif()

# Debian's source package NAME, unpacked into ADPACK_SOUND_SOURCES_DIR/NAME
# once; its version goes into OUT_VERSION, or why it failed into OUT_ERROR.
function(adpack_fetch_debian_source name out_version out_error)
  set(${out_error} "" PARENT_SCOPE)
  set(unpacked ${ADPACK_SOUND_SOURCES_DIR}/${name})
  set(version_file ${ADPACK_SOUND_SOURCES_DIR}/${name}.version)
  if(EXISTS ${version_file} AND IS_DIRECTORY ${unpacked})
    file(READ ${version_file} version)
    set(${out_version} ${version} PARENT_SCOPE)
    return()
  endif()

  find_program(ADPACK_APT_GET apt-get)
  find_program(ADPACK_DPKG_SOURCE dpkg-source)
  if(NOT ADPACK_APT_GET OR NOT ADPACK_DPKG_SOURCE)
    set(${out_error} "apt-get and dpkg-source fetch Debian's source package \
${name}, and one is missing (apt-get install dpkg-dev)" PARENT_SCOPE)
    return()
  endif()

  set(download ${ADPACK_SOUND_SOURCES_DIR}/download-${name})
  file(REMOVE_RECURSE ${download} ${unpacked} ${version_file})
  file(MAKE_DIRECTORY ${download})
  message(STATUS "Fetching Debian's source package ${name}")
  execute_process(COMMAND ${ADPACK_APT_GET} source --download-only ${name}
                  WORKING_DIRECTORY ${download}
                  OUTPUT_VARIABLE output ERROR_VARIABLE output
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    if(output MATCHES "deb-src|Unable to find a source package")
      set(${out_error} "apt knows no Debian source package ${name} (no \
deb-src entry, or apt's lists are older than it). As root, run \
${PROJECT_SOURCE_DIR}/.ci/deb-src, which adds a deb-src entry made from \
apt's own sources and updates apt's lists, then configure again." PARENT_SCOPE)
    else()
      set(${out_error} "apt-get source ${name} failed:\n${output}"
          PARENT_SCOPE)
    endif()
    return()
  endif()
  file(GLOB dsc ${download}/*.dsc)
  list(LENGTH dsc count)
  if(NOT count EQUAL 1)
    set(${out_error} "apt-get source ${name} left ${count} .dsc files in \
${download}" PARENT_SCOPE)
    return()
  endif()
  file(STRINGS ${dsc} version REGEX "^Version: ")
  string(REPLACE "Version: " "" version "${version}")
  execute_process(COMMAND ${ADPACK_DPKG_SOURCE} -x ${dsc} ${unpacked}
                  WORKING_DIRECTORY ${download}
                  OUTPUT_VARIABLE output ERROR_VARIABLE output
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    set(${out_error} "dpkg-source -x ${dsc} failed:\n${output}"
        PARENT_SCOPE)
    return()
  endif()
  file(REMOVE_RECURSE ${download})
  file(WRITE ${version_file} ${version})
  message(STATUS "Fetching Debian's source package ${name}: ${version}")
  set(${out_version} ${version} PARENT_SCOPE)
endfunction()

# Configures, builds and installs the unpacked source NAME into the shared
# prefix with the cross toolchain, unless the same version was built there
# with the same options and compiler; LIBRARY is what it installs. Why it
# failed goes into OUT_ERROR.
function(adpack_build_sound_library out_error name version library)
  set(${out_error} "" PARENT_SCOPE)
  set(options
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
    -DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${sound_prefix}
    -DCMAKE_INSTALL_LIBDIR=lib
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_TESTING=OFF
    ${ARGN})
  set(build ${sound_dir}/build/${name})
  set(stamp ${sound_dir}/build/${name}.stamp)
  string(SHA256 wanted "${version};${options}")
  if(EXISTS ${stamp} AND EXISTS ${sound_prefix}/lib/${library})
    file(READ ${stamp} built)
    if(built STREQUAL wanted)
      return()
    endif()
  endif()

  message(STATUS "Building ${name} ${version} for Windows (a minute or two)")
  file(REMOVE_RECURSE ${build} ${stamp})
  file(MAKE_DIRECTORY ${build})
  set(log ${sound_dir}/build/${name}.log)
  string(TIMESTAMP started "%s")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${ADPACK_SOUND_SOURCES_DIR}/${name}
            -B ${build} -G ${CMAKE_GENERATOR} ${options}
    OUTPUT_FILE ${log} ERROR_FILE ${log}.err RESULT_VARIABLE status)
  if(status EQUAL 0)
    execute_process(
      COMMAND ${CMAKE_COMMAND} --build ${build} --target install
      OUTPUT_FILE ${log}.build ERROR_FILE ${log}.build.err
      RESULT_VARIABLE status)
  endif()
  if(NOT status EQUAL 0)
    set(${out_error} "building ${name} failed (${status}); its output is \
in ${log}*" PARENT_SCOPE)
    return()
  endif()
  string(TIMESTAMP ended "%s")
  math(EXPR took "${ended} - ${started}")
  file(WRITE ${stamp} ${wanted})
  message(STATUS "Building ${name} ${version} for Windows: ${took} s")
endfunction()

foreach(name libsndfile libsamplerate)
  adpack_fetch_debian_source(${name} ${name}_version error)
  if(NOT error STREQUAL "")
    adpack_sound_unavailable("${error}")
  endif()
endforeach()
set(sndfile_version ${libsndfile_version})
set(samplerate_version ${libsamplerate_version})

# Only the formats libsndfile reads by itself: none of its external codecs
# is looked for, even where a mingw copy happens to be installed.
set(no_codecs)
foreach(package Ogg Vorbis FLAC Opus mp3lame Mpg123 Speex SQLite3)
  list(APPEND no_codecs -DCMAKE_DISABLE_FIND_PACKAGE_${package}=ON)
endforeach()
adpack_build_sound_library(error libsndfile ${sndfile_version} libsndfile.a
  -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DENABLE_EXPERIMENTAL=OFF
  -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_REGTEST=OFF
  -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF
  -DINSTALL_PKGCONFIG_MODULE=OFF -DINSTALL_MANPAGES=OFF ${no_codecs})
if(NOT error STREQUAL "")
  adpack_sound_unavailable("${error}")
endif()
adpack_build_sound_library(error libsamplerate ${samplerate_version}
  libsamplerate.a
  -DLIBSAMPLERATE_EXAMPLES=OFF -DLIBSAMPLERATE_INSTALL=ON
  -DLIBSAMPLERATE_INSTALL_PKGCONFIG_MODULE=OFF)
if(NOT error STREQUAL "")
  adpack_sound_unavailable("${error}")
endif()

foreach(library sndfile samplerate)
  add_library(adpack::${library} STATIC IMPORTED GLOBAL)
  set_target_properties(adpack::${library} PROPERTIES
    IMPORTED_LOCATION ${sound_prefix}/lib/lib${library}.a
    INTERFACE_INCLUDE_DIRECTORIES ${sound_prefix}/include)
endforeach()

set(ADPACK_SNDFILE_DEBIAN_VERSION ${sndfile_version} CACHE INTERNAL
    "Debian source version of libsndfile in the Windows build")
set(ADPACK_SAMPLERATE_DEBIAN_VERSION ${samplerate_version} CACHE INTERNAL
    "Debian source version of libsamplerate in the Windows build")
set(ADPACK_SNDFILE_SOURCE_DIR ${ADPACK_SOUND_SOURCES_DIR}/libsndfile
    CACHE INTERNAL "Debian's libsndfile sources, unpacked")
set(ADPACK_SAMPLERATE_SOURCE_DIR ${ADPACK_SOUND_SOURCES_DIR}/libsamplerate
    CACHE INTERNAL "Debian's libsamplerate sources, unpacked")
message(STATUS "Windows sound libraries: libsndfile ${sndfile_version}, "
               "libsamplerate ${samplerate_version} (Debian sources)")
