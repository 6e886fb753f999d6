# Every man page in MAN names the suite's VERSION in its title line, so that
# the one version set in project() is the one the pages show.
cmake_minimum_required(VERSION 3.25)
file(GLOB pages ${MAN}/*.1)
foreach(page IN LISTS pages)
  file(STRINGS ${page} title REGEX "^\\.TH ")
  if(NOT title MATCHES "\"adpack ${VERSION}\"")
    message(FATAL_ERROR "${page}: the title line does not name adpack "
                        "${VERSION}: ${title}")
  endif()
endforeach()
list(LENGTH pages count)
message(STATUS "${count} man pages name adpack ${VERSION}")
