# Run by CPack after the Windows archive is made: builds kovex-deepclean-fleet
# for Linux x86-64 (the Ansible controller) with the host's compiler, in a
# tree of its own beside this one (fleet-linux/), statically linked and
# without paths of this machine in it, and packs it with LICENSE.txt as
# kovex-deepclean-fleet-<version>-linux-x86_64.tar.gz beside the zip, with a
# .sha256 file (packaging/reproducible_tar.py: the build's fixed time on
# every entry, no owner). Two builds of the same commit give the same bytes.
set(epoch "")
if(EXISTS "${CPACK_KOVEX_SOURCE_DATE_STAMP}")
  file(READ "${CPACK_KOVEX_SOURCE_DATE_STAMP}" epoch)
endif()
if(epoch STREQUAL "")
  string(TIMESTAMP epoch "%s" UTC)
endif()
if(NOT CPACK_KOVEX_PYTHON)
  message(FATAL_ERROR "The Linux archive of kovex-deepclean-fleet needs Python")
endif()

set(tree "${CPACK_KOVEX_BINARY_DIR}/fleet-linux")
set(log "${tree}.log")
# The cross build's compilers and flags must not reach the host's build.
set(clean_env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS
  --unset=LDFLAGS --unset=CMAKE_TOOLCHAIN_FILE)
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env ${clean_env}
    "${CMAKE_COMMAND}" -S "${CPACK_KOVEX_SOURCE_DIR}" -B "${tree}" -G Ninja
    -DCMAKE_BUILD_TYPE=Release -DKOVEX_BUILD_TESTS=OFF -DKOVEX_BUILD_SIMULATOR=OFF
    -DKOVEX_BENCHMARKS=OFF -DKOVEX_LINUX_RELEASE=ON
  RESULT_VARIABLE status OUTPUT_FILE "${log}" ERROR_FILE "${log}")
if(status EQUAL 0)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env ${clean_env}
      "${CMAKE_COMMAND}" --build "${tree}" --target kovex-deepclean-fleet
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
endif()
if(NOT status EQUAL 0)
  file(READ "${log}" configured)
  message(FATAL_ERROR "Building kovex-deepclean-fleet for Linux failed:\n"
    "${configured}${output}")
endif()

set(name "kovex-deepclean-fleet-${CPACK_PACKAGE_VERSION}-linux-x86_64")
configure_file("${CPACK_KOVEX_SOURCE_DIR}/LICENSE" "${tree}/LICENSE.txt" COPYONLY)
execute_process(
  COMMAND "${CPACK_KOVEX_PYTHON}" "${CPACK_KOVEX_TAR_SCRIPT}" --epoch ${epoch}
    --out "${CPACK_KOVEX_BINARY_DIR}/${name}.tar.gz" --top "${name}"
    "kovex-deepclean-fleet=${tree}/kovex-deepclean-fleet"
    "LICENSE.txt=${tree}/LICENSE.txt"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Making ${name}.tar.gz failed")
endif()
message(STATUS "${name}.tar.gz and its .sha256 made")
