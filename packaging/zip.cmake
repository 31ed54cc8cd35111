# Run by CPack after it made the archive: makes it again from the staged files
# with packaging/reproducible_zip.py, so that its bytes depend on the files
# and the build's fixed time alone (not on the file system's order, the time
# zone, the builder's user or the files' times).
set(epoch "")
if(EXISTS "${CPACK_KOVEX_SOURCE_DATE_STAMP}")
  file(READ "${CPACK_KOVEX_SOURCE_DATE_STAMP}" epoch)
endif()
if(epoch STREQUAL "")
  string(TIMESTAMP epoch "%s" UTC)
  message(STATUS "No fixed build time: the archive's entries take the time "
    "now, and the archive cannot be reproduced")
endif()

if(NOT CPACK_KOVEX_PYTHON)
  message(STATUS "No Python: the archive is CPack's own, and cannot be "
    "reproduced")
  return()
endif()

foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND "${CPACK_KOVEX_PYTHON}" "${CPACK_KOVEX_ZIP_SCRIPT}"
      --epoch ${epoch} --out "${archive}" "${CPACK_TEMPORARY_DIRECTORY}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Making ${archive} again failed")
  endif()
endforeach()
