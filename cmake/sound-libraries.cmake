# libsndfile and libsamplerate, which adpcm reads and resamples sound with,
# as the targets adpack::sndfile and adpack::samplerate. Sets
# ADPACK_SOUND_LIBRARIES_FOUND; without them adpcm is not built.
set(ADPACK_SOUND_LIBRARIES_FOUND OFF)
if(WIN32)
  # Cross-built from source by the project itself.
  if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/windows-sound-libraries.cmake)
    include(${CMAKE_SOURCE_DIR}/cmake/windows-sound-libraries.cmake)
  endif()
else()
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(ADPACK_SNDFILE QUIET IMPORTED_TARGET sndfile)
    pkg_check_modules(ADPACK_SAMPLERATE QUIET IMPORTED_TARGET samplerate)
    if(ADPACK_SNDFILE_FOUND AND ADPACK_SAMPLERATE_FOUND)
      add_library(adpack::sndfile ALIAS PkgConfig::ADPACK_SNDFILE)
      add_library(adpack::samplerate ALIAS PkgConfig::ADPACK_SAMPLERATE)
    endif()
  endif()
endif()
if(TARGET adpack::sndfile AND TARGET adpack::samplerate)
  set(ADPACK_SOUND_LIBRARIES_FOUND ON)
else()
  message(STATUS "libsndfile or libsamplerate not found, so adpcm is not "
                 "built (Debian: libsndfile1-dev libsamplerate0-dev "
                 "pkg-config)")
endif()
