# The release: `cmake --build --preset win64 --target package` makes
# kovex-deepclean-<version>-win64.zip in the build tree, holding the programs
# below, README.txt, LICENSE.txt, the fleet kit (fleet/) and SHA256SUMS in a
# folder of that name; and beside it the fleet page's program for the Linux
# controller, kovex-deepclean-fleet-<version>-linux-x86_64.tar.gz, with its
# .sha256 (packaging/linux.cmake).
#
# CPack stages the files (the install rules below); packaging/stage.cmake
# then signs the programs when the builder gives a certificate
# (KOVEX_SIGN_CERT, a PKCS#12 file, and KOVEX_SIGN_PASSWORD, in the
# environment) and writes SHA256SUMS; packaging/zip.cmake replaces CPack's
# archive with one whose bytes depend on the files alone: entries in name
# order, every time the build's fixed time, fixed permissions, no owner.

# Every program of the release; those this build defines are packaged.
set(KOVEX_RELEASE_PROGRAMS kovex-deepclean kovex-deepclean-check kovex-deepclean-fleet)

set(KOVEX_PACKAGED_PROGRAMS "")
foreach(program IN LISTS KOVEX_RELEASE_PROGRAMS)
  if(TARGET ${program})
    list(APPEND KOVEX_PACKAGED_PROGRAMS ${program})
  endif()
endforeach()

# A release build's objects depend on the fixed time's stamp, so that a new
# commit (or another SOURCE_DATE_EPOCH) rebuilds them with its date: the
# programs' own sources and those of the project's libraries they link.
function(kovex_depend_on_source_date target)
  get_property(done GLOBAL PROPERTY KOVEX_SOURCE_DATE_TARGETS)
  if(target IN_LIST done)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY KOVEX_SOURCE_DATE_TARGETS ${target})
  get_target_property(type ${target} TYPE)
  get_target_property(imported ${target} IMPORTED)
  if(imported OR type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  if(sources)
    set_property(SOURCE ${sources} DIRECTORY ${source_dir} APPEND PROPERTY
      OBJECT_DEPENDS ${KOVEX_SOURCE_DATE_STAMP})
  endif()
  add_dependencies(${target} source_date_epoch)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  foreach(library IN LISTS libraries)
    if(TARGET ${library})
      kovex_depend_on_source_date(${library})
    endif()
  endforeach()
endfunction()

if(TARGET source_date_epoch)
  foreach(program IN LISTS KOVEX_PACKAGED_PROGRAMS)
    kovex_depend_on_source_date(${program})
  endforeach()
endif()

# The documents as Windows users open them: CR LF line ends.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt
  ${CMAKE_BINARY_DIR}/release/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE
  ${CMAKE_BINARY_DIR}/release/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)

# The fleet kit: the files Windows runs (.cmd, .ps1) with CR LF line ends,
# the Ansible files, read on the controller, as they are. One substitution:
# @KOVEX_VERSION@ becomes the project's version, so that Install.cmd's marker
# and the detection scripts that look for it name the same version, taken
# from one place. The end-to-end tests run these staged files.
set(KOVEX_FLEET_STAGE ${CMAKE_BINARY_DIR}/release/fleet)
file(REMOVE_RECURSE ${KOVEX_FLEET_STAGE})
file(GLOB_RECURSE KOVEX_FLEET_FILES CONFIGURE_DEPENDS LIST_DIRECTORIES false
  RELATIVE ${PROJECT_SOURCE_DIR}/fleet ${PROJECT_SOURCE_DIR}/fleet/*)
foreach(file IN LISTS KOVEX_FLEET_FILES)
  set(source ${PROJECT_SOURCE_DIR}/fleet/${file})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} content)
  string(REPLACE "@KOVEX_VERSION@" "${PROJECT_VERSION}" content "${content}")
  if(file MATCHES "[.](cmd|ps1)$")
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
  endif()
  file(WRITE ${KOVEX_FLEET_STAGE}/${file} "${content}")
endforeach()

install(TARGETS ${KOVEX_PACKAGED_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/release/README.txt
  ${CMAKE_BINARY_DIR}/release/LICENSE.txt DESTINATION .)
install(DIRECTORY ${KOVEX_FLEET_STAGE} DESTINATION .)

find_program(KOVEX_OSSLSIGNCODE osslsigncode)
find_package(Python3 COMPONENTS Interpreter)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kovex-deepclean)
set(CPACK_PACKAGE_VENDOR "Kovex Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kovex-deepclean-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/stage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/zip.cmake)
# The Linux program is built where a Linux compiler is: the cross build.
if(CMAKE_HOST_UNIX)
  list(APPEND CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/linux.cmake)
endif()
# Read by those scripts.
set(CPACK_KOVEX_SOURCE_DATE_STAMP ${KOVEX_SOURCE_DATE_STAMP})
set(CPACK_KOVEX_OSSLSIGNCODE ${KOVEX_OSSLSIGNCODE})
set(CPACK_KOVEX_PYTHON ${Python3_EXECUTABLE})
set(CPACK_KOVEX_ZIP_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/reproducible_zip.py)
set(CPACK_KOVEX_TAR_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/reproducible_tar.py)
set(CPACK_KOVEX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_KOVEX_BINARY_DIR ${CMAKE_BINARY_DIR})
include(CPack)
