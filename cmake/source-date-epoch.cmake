# cmake -DSOURCE_DIR=<tree> -DSTAMP=<file> -P source-date-epoch.cmake
#
# Writes the build's fixed time, in seconds since 1970 (UTC), to STAMP: the
# environment's SOURCE_DATE_EPOCH when it is set, else the time of the last
# commit of SOURCE_DIR, else nothing (not a checkout: the build then takes
# the clock's time and is not reproducible). The compiler's __DATE__ and
# __TIME__ and the release archive's entry times come from it. The file is
# rewritten only when the time changes, so that only then do the objects that
# depend on it rebuild.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR
      "SOURCE_DATE_EPOCH is '${epoch}', not a number of seconds since 1970")
  endif()
else()
  set(epoch "")
  find_program(KOVEX_GIT git)
  if(KOVEX_GIT)
    execute_process(COMMAND ${KOVEX_GIT} -C ${SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE commit_time RESULT_VARIABLE status
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(epoch "${commit_time}")
    endif()
  endif()
  if(epoch STREQUAL "")
    message(STATUS "No SOURCE_DATE_EPOCH and no git history in ${SOURCE_DIR}: "
      "the build takes the clock's time and cannot be reproduced")
  endif()
endif()

set(old "")
if(EXISTS "${STAMP}")
  file(READ "${STAMP}" old)
endif()
if(NOT old STREQUAL epoch)
  file(WRITE "${STAMP}" "${epoch}")
endif()
